// The shell of camera-facing sprites on an 11x11x11 lattice.
#pragma once

#include <cstdint>

void DrawLatticeShell(float phase, float alpha);

// The surface points of the lattice -5..5 on each axis, k varying fastest;
// filled on the first draw (602 points), never changed afterwards.
constexpr int LatticeCapacity = 6001;
struct LatticePointsRecord {
    float points[LatticeCapacity][3];
    int32_t count = 0;
    bool filled = false;
};
extern LatticePointsRecord LatticePoints;

void FillLatticePoints();
// The square's colour at lattice point p (unscaled coordinates); channels may
// reach 2, GL clamps them.
void LatticeSquareColor(const float p[3], float phase, float alpha, float rgba[4]);
