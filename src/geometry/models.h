// The display-list table and the primitive models drawn by the scenes.
#pragma once

#include <cstdint>

// What each DisplayListTable slot holds: the terrain meshes of sampling
// steps 16, 4 and 1; the other slots stay empty.
enum DisplayListSlot : int {
    ListCoarseTerrain = 2,
    ListMediumTerrain = 3,
    ListFineTerrain = 4,
};
constexpr int DisplayListTableSize = 64;

extern unsigned int DisplayListTable[DisplayListTableSize];

// Off (the default): the terrain tiles leave out the blocks outside the view.
// On: every mesh through its display list, the reference that speed path
// (and any later one) must match pixel for pixel on any driver. Set before
// drawing; lives for the whole run.
extern bool PlainDraw;

void DrawCube();
void DrawSpinningCube(float phase);
void DrawSkyCone(float tr, float tg, float tb, float rr, float rg, float rb, float br, float bg,
                 float bb);
void DrawSphereCluster(float spread);
void DrawSpriteCloud(float sx, float sy, float sz, float smallest, float largest);
// The same squares as outlines (GL_LINES), for wire passes: no diagonals.
void DrawSpriteOutlines(float sx, float sy, float sz, float smallest, float largest);

// A vertex with its own colour and texture coordinate.
struct ColoredVertex {
    float color[3];
    float texCoord[2];
    float position[3];
};

// The sky cone's triangles: 64 wedges, each an upper and a lower triangle of
// (rim j1, rim j2, apex). Rim points wrap every 16 wedges, 5.625 rad apart.
constexpr int SkyConeVertexCount = 64 * 2 * 3;
void ComputeSkyCone(const float top[3], const float rim[3], const float bottom[3],
                    ColoredVertex vertices[SkyConeVertexCount]);

// Offsets of the twenty spheres; reseeds the generator with 10.
constexpr int SphereClusterCount = 20;
void ComputeSphereCluster(float spread, float offsets[SphereClusterCount][3]);

// The sprites' fixed layout, filled once from seed 44.
constexpr int SpriteCount = 120;
struct SpriteEntry {
    float position[3];  // each in [-1, 1)
    float baseSize;     // [0.25, 1)
};
struct SpriteCloudRecord {
    SpriteEntry entries[SpriteCount];
    bool filled = false;
};
extern SpriteCloudRecord SpriteCloud;

// Where one sprite goes in this call and its half size.
struct SpritePlacement {
    float offset[3];
    float half;
};
// Projection x model-view as they stand, column-major.
void CurrentClipMatrix(float m[16]);

// Fills SpriteCloud if needed, reseeds with 44 and, unless sx x smallest is
// 0, places all sprites for time now. Returns how many are to be drawn.
int ComputeSpriteCloud(float sx, float sy, float sz, float smallest, float largest, float now,
                       SpritePlacement placements[SpriteCount]);
