// Lattice shell (placeholder).
#include "geometry/lattice.h"

void DrawLatticeShell(float, float) {}
