// Projection and rectangle helpers used by every part that draws.
#pragma once

// Viewport, the 50-degree perspective with DemoSettings.aspect, and the
// client size stored into DemoSettings.
void ResizeViewport(int w, int h);
// Unit-square orthographic projection, (0,0) top left, y down.
void BeginOverlay2D();
void EndOverlay2D();
void DrawTexturedQuad(float x0, float y0, float x1, float y1, float s0, float t0, float s1,
                      float t1);
void DrawUnitTexturedQuad(float x0, float y0, float x1, float y1);
