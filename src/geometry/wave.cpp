// Wave surface (placeholder).
#include "geometry/wave.h"

float WavePhase = 0.0f;
int32_t WaveFormula = 0;
int32_t WavePalette = 0;

void DrawWaveSurface(float, float) {}
