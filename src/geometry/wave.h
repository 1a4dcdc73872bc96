// The animated wave surface and its steering values (written by scene 1).
#pragma once

#include <cstdint>

extern float WavePhase;
extern int32_t WaveFormula;  // 0..3
extern int32_t WavePalette;  // 0..2

void DrawWaveSurface(float centreX, float centreZ);
// The same quads as outlines (GL_LINES), for the wire pass: no diagonals.
void DrawWaveOutlines(float centreX, float centreZ);

// The heights of one call: rows along world z, columns along world x, around
// the truncated centre. 48 x 40, or 96 x 80 with Demo++.
constexpr int WaveGridCapacity = 10000;
struct WaveGrid {
    int32_t rows = 0;
    int32_t columns = 0;
    int32_t x0 = 0;                   // world x of column 0
    int32_t z0 = 0;                   // world z of row 0
    float heights[WaveGridCapacity];  // row-major, columns entries per row
};

// Height of formula 0..3 at world (x, z) and phase t, in [-1, 1].
float WaveHeight(int formula, int x, int z, float t);
void EvaluateWaveGrid(float centreX, float centreZ, bool demoPlus, float phase, int formula,
                      WaveGrid* grid);

// One quad of the surface: colour, face normal and V1..V4 in emission order.
// Its far row and column wrap to row 0 and column 0 of the grid.
struct WaveQuad {
    float color[3];
    float normal[3];
    float position[4][3];
};
void ComputeWaveQuad(const WaveGrid& grid, int row, int column, float phase, int palette,
                     WaveQuad* quad);
// Emits every quad of the grid, rows outermost, in one GL_QUADS block, or
// with outlines their edges in one GL_LINES block.
void EmitWaveGrid(const WaveGrid& grid, float phase, int palette, bool outlines);
