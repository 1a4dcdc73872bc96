// The soundtrack's position in seconds, and vector interpolation.
#pragma once

float GetMusicSeconds();
float* LerpVec3(const float* a, const float* b, float* out, float t);
