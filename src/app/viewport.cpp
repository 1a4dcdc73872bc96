// Projection and rectangle helpers (placeholder).
#include "app/viewport.h"

void ResizeViewport(int, int) {}
void BeginOverlay2D() {}
void EndOverlay2D() {}
void DrawTexturedQuad(float, float, float, float, float, float, float, float) {}
void DrawUnitTexturedQuad(float, float, float, float) {}
