// Height-map terrain meshes compiled into display lists.
#pragma once

#include <vector>

struct ImageRecord;

// One terrain cell: a face normal and four corners in emission order
// (P00, P10, P11, P01), each with its texture coordinate. Mesh space: X and Y
// from the picture's columns and rows, height along Z with up = -Z.
struct TerrainQuad {
    float normal[3];
    float texCoord[4][2];
    float position[4][3];
};

// "heightmap.jpg" in DataDirectory, decoded afresh by every BuildTerrainList call.
extern const char* const HeightMapName;

// Decodes the height map and compiles the mesh of this step into the list
// named DisplayListTable[slot]. A height map that cannot be used leaves the
// list empty and says why on stderr (once a run).
void BuildTerrainList(int step, int slot);
// BuildTerrainList reading another file; false (and a reason on stderr) when
// the list was left empty.
bool BuildTerrainListFromFile(const char* path, int step, int slot);
// Compiles an already decoded map; false (with a reason naming path) when it
// is not a 256 x 256, 24-bit picture.
bool CompileTerrainList(const ImageRecord& map, const char* path, int step, int slot);

// Draws the terrain mesh of DisplayListTable[slot] leaving out the pieces
// that lie wholly outside the view; the pieces keep the list's order and its
// split of every cell into triangles, so the picture is the one glCallList
// draws. Calls the list itself under PlainDraw, when the list was not
// compiled here (or was replaced) and outside GL_RENDER mode. In polygon
// mode GL_LINE it draws the mesh's outline instead.
void DrawTerrainMesh(int slot);
// The edges of every cell of the mesh of DisplayListTable[slot] as lines,
// compiled beside the mesh: the wire-frame without diagonals on any driver.
// Calls the mesh's list itself when the list was not compiled here.
void DrawTerrainOutline(int slot);

// Null when the file is a 256 x 256, three-component JPEG (judged from its
// header, without decoding), otherwise what is wrong with it.
const char* HeightMapFileProblem(const char* path);
// Null when the map can be read with the fixed 256 x 3-byte row layout,
// otherwise what is wrong with it.
const char* HeightMapProblem(const ImageRecord& map);
// Every cell of the mesh with this step, columns outermost, rows innermost:
// ((width + step) / step) x ((height + step) / step) quads. The map must have
// passed HeightMapProblem.
void ComputeTerrainQuads(const ImageRecord& map, int step, std::vector<TerrainQuad>* quads);

// Fills DisplayListTable: its only lists are the terrain meshes of steps 16, 4
// and 1.
void BuildDisplayLists();

// One step of the 3 x 3 tile walk: translate (mesh units), then call the list.
struct TerrainTileStep {
    float translate[3];
    int slot;
};
void PlanTerrainTiles(bool demoPlus, TerrainTileStep steps[9]);
// The 3 x 3 tiles of scene 0, under the mesh scale.
void DrawTerrainTiles();
