// The one pseudo-random generator, shared by every fixed-seed layout.
#include "geometry/random.h"

static uint32_t RandomState = 0;

void SeedRandom(uint32_t seed) {
    RandomState = seed;
}

int NextRandom() {
    RandomState = RandomState * 214013u + 2531011u;
    return static_cast<int>((RandomState >> 16) & 0x7fff);
}
