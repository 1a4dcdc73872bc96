// Deterministic hashing and periodic lattice noise, so every picture built
// from it tiles without a seam.
#include <array>
#include <cmath>

#include "datagen.h"

uint32_t Hash3(uint32_t a, uint32_t b, uint32_t c) {
    uint32_t h =
        a * 0x9E3779B1u ^ (b + 0x7F4A7C15u) * 0x85EBCA77u ^ (c + 0x165667B1u) * 0xC2B2AE3Du;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

float HashUnit(uint32_t a, uint32_t b, uint32_t c) {
    return float(Hash3(a, b, c) >> 8) * (1.0f / 16777216.0f);
}

float Clamp01(float v) {
    return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
}

float SmoothStep(float e0, float e1, float x) {
    float t = Clamp01((x - e0) / (e1 - e0));
    return t * t * (3.0f - 2.0f * t);
}

float Mix(float a, float b, float t) {
    return a + (b - a) * t;
}

Colour MixColour(Colour a, Colour b, float t) {
    return {Mix(a.r, b.r, t), Mix(a.g, b.g, t), Mix(a.b, b.b, t)};
}

static int Wrap(int i, int period) {
    return ((i % period) + period) % period;
}

struct Gradient {
    float x, y;
};

// 256 unit directions, evenly spread; looked up instead of computing a sine
// and cosine per lattice corner.
static std::array<Gradient, 256> MakeGradients() {
    std::array<Gradient, 256> g;
    for (int i = 0; i < 256; ++i) {
        double a = (i + 0.5) * 6.283185307179586 / 256.0;
        g[i] = {float(std::cos(a)), float(std::sin(a))};
    }
    return g;
}

static const std::array<Gradient, 256> Gradients = MakeGradients();

// Dot product of the lattice point's pseudo-random gradient with the offset.
static float Corner(int ix, int iy, int period, uint32_t seed, float dx, float dy) {
    uint32_t h = Hash3(uint32_t(Wrap(ix, period)), uint32_t(Wrap(iy, period)), seed);
    const Gradient& g = Gradients[h >> 24];
    return g.x * dx + g.y * dy;
}

static float Fade(float t) {
    return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f);
}

float PeriodicNoise(float x, float y, int period, uint32_t seed) {
    int ix = int(std::floor(x)), iy = int(std::floor(y));
    float fx = x - ix, fy = y - iy;
    float a = Corner(ix, iy, period, seed, fx, fy);
    float b = Corner(ix + 1, iy, period, seed, fx - 1, fy);
    float c = Corner(ix, iy + 1, period, seed, fx, fy - 1);
    float d = Corner(ix + 1, iy + 1, period, seed, fx - 1, fy - 1);
    float u = Fade(fx), v = Fade(fy);
    return 1.4142f * Mix(Mix(a, b, u), Mix(c, d, u), v);
}

// x and y in units of the first octave's cells; each octave doubles the
// frequency and the period together, so the sum keeps the first period.
float PeriodicFbm(float x, float y, int period, int octaves, float gain, uint32_t seed) {
    float sum = 0.0f, amp = 1.0f, norm = 0.0f;
    for (int o = 0; o < octaves; ++o) {
        sum += amp * PeriodicNoise(x, y, period, seed + uint32_t(o) * 7919u);
        norm += amp;
        amp *= gain;
        x *= 2.0f;
        y *= 2.0f;
        period *= 2;
    }
    return sum / norm;
}

// Sharp crests where the noise crosses zero; weighted so that ridges carry
// finer ridges, as eroded mountains do.
float PeriodicRidged(float x, float y, int period, int octaves, uint32_t seed) {
    float sum = 0.0f, amp = 0.5f, weight = 1.0f, norm = 0.0f;
    for (int o = 0; o < octaves; ++o) {
        float n = 1.0f - std::fabs(PeriodicNoise(x, y, period, seed + uint32_t(o) * 104729u));
        n = n * n * weight;
        weight = Clamp01(n * 2.0f);
        sum += n * amp;
        norm += amp;
        amp *= 0.5f;
        x *= 2.0f;
        y *= 2.0f;
        period *= 2;
    }
    return sum / norm;
}
