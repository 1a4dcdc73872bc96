// The intro: black wait, jingle, logo fade-in, loading, hold, fade-out.
#pragma once

struct LogoPlacement {
    int k;                 // whole magnification, 0 when the screen is too small
    bool pixelExact;       // k > 0 and the screen's shape matches the aspect
    float x0, y0, x1, y1;  // unit-square rectangle of the logo
};

// Placement of the 704 x 512 logo on a width x height screen whose chosen
// aspect ratio is aspect (DemoSettings.aspect).
LogoPlacement ComputeLogoPlacement(int width, int height, float aspect);

// Runs once, at the end of InitRenderState, with the GL context current and
// DemoSettings holding the client size; returns on a black screen. Loads the
// soundtrack, the font, the glow texture, the texture table and the display
// lists while the logo is up.
void RunLoadingSequence();

// What RunLoadingSequence leaves behind, without its timed phases, the logo
// and the jingle: audio started, the soundtrack, font, textures and display
// lists loaded, the first scene's GL state, a cleared screen and a reset clock.
void LoadWithoutIntro();

// The logo's texture name while the sequence runs; deleted before it returns.
extern unsigned int LogoTexture;
