// The intro: black wait, jingle, logo fade-in, loading, hold, fade-out.
#pragma once

struct LogoPlacement {
    int k;            // whole magnification, 0 when the screen is too small
    bool pixelExact;  // k > 0 and the screen's shape matches the aspect
    float x0, y0, x1, y1;  // unit-square rectangle of the logo
};

LogoPlacement ComputeLogoPlacement(int width, int height, float aspect);
void RunLoadingSequence();
