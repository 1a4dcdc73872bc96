// Small helpers on 3-vectors (float[3]) that the geometry and the scenes share.
#pragma once

// out = a + (b - a) t per component, every step rounded to float; t outside
// 0..1 extrapolates. Returns out.
float* LerpVec3(const float* a, const float* b, float* out, float t);

// Unit normal of the triangle (v1, v2, v3): (v1 - v3) x (v1 - v2), so a
// counter-clockwise triangle seen from above (y up) faces up.
void FaceNormal(const float v1[3], const float v2[3], const float v3[3], float n[3]);
