// Terrain meshes (placeholder).
#include "geometry/terrain.h"

void BuildTerrainList(int, int) {}
