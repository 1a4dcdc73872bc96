// The display-list table and the primitive models drawn by the scenes.
#pragma once

// Slots 2, 3, 4: terrain meshes of steps 16, 4, 1.
extern unsigned int DisplayListTable[64];

void BuildDisplayLists();
void DrawCube();
void DrawSpinningCube(float phase);
void DrawSkyCone(float tr, float tg, float tb, float rr, float rg, float rb, float br, float bg,
                 float bb);
void DrawSphereCluster(float spread);
void DrawTerrainTiles();
void DrawSpriteCloud(float sx, float sy, float sz, float smallest, float largest);
