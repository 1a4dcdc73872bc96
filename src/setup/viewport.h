// Projection and rectangle helpers used by every part that draws.
#pragma once

// Viewport, the 50-degree perspective with DemoSettings.aspect, and the
// client size stored into DemoSettings.
void ResizeViewport(int w, int h);
// Unit-square orthographic projection, (0,0) top left, y down.
// The viewport and the recorded size follow a drawable resized under a
// running overlay; its matrices stay as they are (the projection's aspect
// never depends on the size).
void FollowDrawableSize(int w, int h);
void BeginOverlay2D();
void EndOverlay2D();
void DrawTexturedQuad(float x0, float y0, float x1, float y1, float s0, float t0, float s1,
                      float t1);
void DrawUnitTexturedQuad(float x0, float y0, float x1, float y1);

// A quad's outline as GL_LINES corner pairs: its four edges in the quad's own
// direction, the closing edge first. These are the very lines Mesa's software
// drivers make of a quad in polygon mode GL_LINE, in their order, but drawn as
// lines no driver can split the quad and show its diagonal (zink does).
constexpr int QuadOutlineCorners[8] = {3, 0, 0, 1, 1, 2, 2, 3};
// DrawUnitTexturedQuad's outline: its four edges as lines.
void DrawUnitQuadOutline(float x0, float y0, float x1, float y1);
