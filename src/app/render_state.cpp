// Initial render state and brightness ramp (placeholder).
#include "app/render_state.h"

GLUquadric* SharedQuadric = nullptr;

void InitFixedRenderState() {}
bool InitRenderState() { return true; }
void BuildBrightnessRamp(float, uint16_t ramp[256]) {
    for (int i = 0; i < 256; ++i) ramp[i] = 0;
}
