// Display lists and models (placeholder).
#include "geometry/models.h"

unsigned int DisplayListTable[64];

void BuildDisplayLists() {}
void DrawCube() {}
void DrawSpinningCube(float) {}
void DrawSkyCone(float, float, float, float, float, float, float, float, float) {}
void DrawSphereCluster(float) {}
void DrawTerrainTiles() {}
void DrawSpriteCloud(float, float, float, float, float) {}
