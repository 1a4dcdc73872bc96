// The one pseudo-random generator: state x 214013 + 2531011, bits 16..30.
#pragma once

#include <cstdint>

void SeedRandom(uint32_t seed);
int NextRandom();  // 0..32767
