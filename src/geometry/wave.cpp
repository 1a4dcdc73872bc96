// Wave surface: a grid of flat-shaded quads over one of four sine height fields.
#include "geometry/wave.h"

#include <GL/gl.h>

#include <cmath>

#include "setup/settings.h"
#include "geometry/vec3.h"
#include "setup/viewport.h"

float WavePhase = 0.0f;
int32_t WaveFormula = 0;
int32_t WavePalette = 0;

namespace {

// base + w x (0.7 - base), with w = 1 + sin(q) from the quad's first corner.
void QuadColor(int palette, float h, int xa, int za, float t, float color[3]) {
    static const float bases[3][3] = {{0.3f, 0.1f, 0.1f}, {0.1f, 0.3f, 0.1f}, {0.1f, 0.1f, 0.3f}};
    double q;
    if (palette == 0)
        q = -h - xa - 4.0 * t;
    else if (palette == 1)
        q = -h - za - 4.0 * t;
    else
        q = 0.2 * za - h + 0.1 * xa - 4.0 * t;
    const double w = 1.0 + std::sin(q);
    const float* base = bases[palette];
    for (int i = 0; i < 3; ++i) color[i] = static_cast<float>(base[i] + w * (0.7 - base[i]));
}

void SetCorner(float v[3], int x, float h, int z) {
    v[0] = static_cast<float>(x);
    v[1] = h;
    v[2] = static_cast<float>(z);
}

}  // namespace

float WaveHeight(int formula, int x, int z, float t) {
    const double T = t;
    switch (formula) {
        case 0:
            return static_cast<float>(std::sin(T + 0.5 * z) * std::sin(0.5 * x + T));
        case 1:
            return static_cast<float>(std::sin(0.2 * z - T) * std::sin(0.3 * z + T) *
                                      std::sin(0.5 * x - T));
        case 2: {
            const double s = std::sin(0.5 * x - T);
            return static_cast<float>(s * s * std::sin(T - 0.3 * z) * std::sin(0.6 * x - T));
        }
        default:
            return static_cast<float>(2.0 *
                                          std::fabs(std::sin(0.2 * z - T) * std::sin(0.3 * z + T) *
                                                    std::sin(0.5 * x - T)) -
                                      1.0);
    }
}

void EvaluateWaveGrid(float centreX, float centreZ, bool demoPlus, float phase, int formula,
                      WaveGrid* grid) {
    const int d = demoPlus ? 1 : 0;
    grid->rows = 48 * (1 + d);
    grid->columns = 40 * (1 + d);
    grid->x0 = static_cast<int>(centreX) - grid->columns / 2;
    grid->z0 = static_cast<int>(centreZ) - grid->rows / 2;
    for (int r = 0; r < grid->rows; ++r) {
        float* row = &grid->heights[r * grid->columns];
        for (int c = 0; c < grid->columns; ++c)
            row[c] = WaveHeight(formula, c + grid->x0, r + grid->z0, phase);
    }
}

void ComputeWaveQuad(const WaveGrid& grid, int row, int column, float phase, int palette,
                     WaveQuad* quad) {
    const int r2 = (row + 1) % grid.rows, c2 = (column + 1) % grid.columns;
    const float* h = grid.heights;
    const int n = grid.columns;
    const int xa = column + grid.x0, xb = column + 1 + grid.x0;
    const int za = row + grid.z0, zb = row + 1 + grid.z0;
    SetCorner(quad->position[0], xa, h[row * n + column], za);
    SetCorner(quad->position[1], xb, h[row * n + c2], za);
    SetCorner(quad->position[2], xb, h[r2 * n + c2], zb);
    SetCorner(quad->position[3], xa, h[r2 * n + column], zb);
    // Flat cells face straight up, (0, 1, 0).
    FaceNormal(quad->position[0], quad->position[1], quad->position[2], quad->normal);
    QuadColor(palette, h[row * n + column], xa, za, phase, quad->color);
}

void EmitWaveGrid(const WaveGrid& grid, float phase, int palette, bool outlines) {
    glBegin(outlines ? GL_LINES : GL_QUADS);
    for (int r = 0; r < grid.rows; ++r) {
        for (int c = 0; c < grid.columns; ++c) {
            WaveQuad quad;
            ComputeWaveQuad(grid, r, c, phase, palette, &quad);
            glColor3fv(quad.color);
            glNormal3fv(quad.normal);
            if (outlines) {
                for (int k : QuadOutlineCorners) glVertex3fv(quad.position[k]);
            } else {
                for (const float* v : quad.position) glVertex3fv(v);
            }
        }
    }
    glEnd();
}

namespace {

void DrawWaveGrid(float centreX, float centreZ, bool outlines) {
    static WaveGrid grid;  // 40 KB: kept off the stack
    EvaluateWaveGrid(centreX, centreZ, DemoSettings.demoPlus, WavePhase, WaveFormula, &grid);
    EmitWaveGrid(grid, WavePhase, WavePalette, outlines);
}

}  // namespace

void DrawWaveSurface(float centreX, float centreZ) {
    DrawWaveGrid(centreX, centreZ, false);
}

void DrawWaveOutlines(float centreX, float centreZ) {
    DrawWaveGrid(centreX, centreZ, true);
}
