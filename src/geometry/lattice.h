// The shell of camera-facing sprites on an 11x11x11 lattice.
#pragma once

void DrawLatticeShell(float phase, float alpha);
