// The animated wave surface and its steering values (written by scene 1).
#pragma once

#include <cstdint>

extern float WavePhase;
extern int32_t WaveFormula;  // 0..3
extern int32_t WavePalette;  // 0..2

void DrawWaveSurface(float centreX, float centreZ);
