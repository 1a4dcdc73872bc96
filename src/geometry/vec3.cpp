// Small helpers on 3-vectors: interpolation and face normals.
#include "geometry/vec3.h"

#include <cmath>

// Every intermediate is a float (the build uses strict ISO C++, so no
// fused multiply-add), and t outside 0..1 extrapolates.
float* LerpVec3(const float* a, const float* b, float* out, float t) {
    for (int c = 0; c < 3; ++c) {
        float d = b[c] - a[c];
        float p = d * t;
        out[c] = a[c] + p;
    }
    return out;
}

void FaceNormal(const float v1[3], const float v2[3], const float v3[3], float n[3]) {
    float p[3], q[3];
    for (int i = 0; i < 3; ++i) {
        p[i] = v1[i] - v2[i];
        q[i] = v1[i] - v3[i];
    }
    n[0] = q[1] * p[2] - q[2] * p[1];
    n[1] = q[2] * p[0] - q[0] * p[2];
    n[2] = q[0] * p[1] - q[1] * p[0];
    float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    for (int i = 0; i < 3; ++i) n[i] /= length;
}
