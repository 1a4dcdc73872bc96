// Music position clock (placeholder).
#include "resources/music_clock.h"

float GetMusicSeconds() { return 0.0f; }
float* LerpVec3(const float* a, const float* b, float* out, float t) {
    for (int i = 0; i < 3; ++i) out[i] = a[i] + (b[i] - a[i]) * t;
    return out;
}
