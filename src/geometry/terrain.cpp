// Height-map terrain meshes: cells computed on the CPU, compiled into lists.
#define GL_GLEXT_PROTOTYPES  // buffer objects and glMultiDrawElements (Mesa has them)
#include "geometry/terrain.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "geometry/models.h"
#include "setup/settings.h"
#include "geometry/vec3.h"
#include "resources/data_path.h"
#include "resources/images.h"
#include "setup/viewport.h"

const char* const HeightMapName = "heightmap.jpg";

namespace {

constexpr int MapSide = 256;  // pixels; rows are always read as 256 x 3 bytes

// Red byte of pixel (c, r), both wrapping modulo 256.
int HeightSample(const ImageRecord& map, int c, int r) {
    int index = ((r & (MapSide - 1)) * MapSide + (c & (MapSide - 1))) * 3;
    return map.pixels[index];
}

void MeshPoint(const ImageRecord& map, int c, int r, float out[3]) {
    out[0] = static_cast<float>(c - 128) / 128.0f;
    out[1] = static_cast<float>(r - 128) / 128.0f;
    out[2] = 0.3125f - static_cast<float>(HeightSample(map, c, r)) / 128.0f;
}

void ComputeCell(const ImageRecord& map, int c1, int r1, int step, TerrainQuad* quad) {
    const int cs[4] = {c1 - step, c1, c1, c1 - step};
    const int rs[4] = {r1 - step, r1 - step, r1, r1};
    for (int v = 0; v < 4; ++v) {
        MeshPoint(map, cs[v], rs[v], quad->position[v]);
        quad->texCoord[v][0] = static_cast<float>(cs[v]) / 256.0f;
        quad->texCoord[v][1] = static_cast<float>(rs[v]) / 256.0f;
    }
    // The first triangle's normal (P00, P10, P11) for the whole quad.
    FaceNormal(quad->position[0], quad->position[1], quad->position[2], quad->normal);
}

// The mesh of a slot once more in buffers, four corners and six indices a
// cell in the list's order, with the box around every block of BlockSide x
// BlockSide cells, so a draw can leave out the blocks the view cannot see.
// Lives for the whole run.
constexpr int BlockSide = 16;  // cells
constexpr int PieceSlots = 5;  // display-list slots 0..4; the meshes use 2..4
// Clip-space slack around the view: wide lines (up to height / 100 pixels)
// reach past the edges of the triangles they outline.
constexpr float ViewMargin = 0.05f;

struct CornerVertex {
    float position[3];
    float normal[3];
    float texCoord[2];
};

struct TerrainPieces {
    unsigned int list = 0;      // the DisplayListTable name the buffers match
    unsigned int vertices = 0;  // four corners a cell
    unsigned int indices = 0;   // six a cell: two triangles
    int columns = 0, rows = 0;  // cells; columns outermost, as in the list
    int blockColumns = 0, blockRows = 0;
    std::vector<float> boxes;  // per block, block columns outermost: min x, y, z, max x, y, z
    float lastNormal[3] = {0, 0, 1};
    float lastTexCoord[2] = {0, 0};
    size_t Cells() const { return static_cast<size_t>(columns) * rows; }
    size_t VertexBytes() const { return Cells() * 4 * sizeof(CornerVertex); }
};
TerrainPieces Pieces[PieceSlots];

// Each mesh's outline list (its cells' edges as lines, for the wire passes)
// and the DisplayListTable name it was compiled beside.
struct TerrainOutline {
    unsigned int list = 0;
    unsigned int outline = 0;
};
TerrainOutline Outlines[PieceSlots];

// A cell (P00, P10, P11, P01) is drawn as (0, 1, 3) and (1, 2, 3): Mesa
// compiles a list's GL_QUADS into these very triangles (on llvmpipe, softpipe
// and zink alike), while llvmpipe splits GL_QUADS drawn from arrays along the
// other diagonal. The diagonal decides how lighting is interpolated.
const GLuint CellSplit[6] = {0, 1, 3, 1, 2, 3};

void GrowBox(float* box, const float p[3]) {
    for (int i = 0; i < 3; ++i) {
        box[i] = std::fmin(box[i], p[i]);
        box[3 + i] = std::fmax(box[3 + i], p[i]);
    }
}

void FillBlockBoxes(const std::vector<TerrainQuad>& quads, TerrainPieces* p) {
    p->blockColumns = (p->columns + BlockSide - 1) / BlockSide;
    p->blockRows = (p->rows + BlockSide - 1) / BlockSide;
    p->boxes.assign(static_cast<size_t>(p->blockColumns) * p->blockRows * 6, 0.0f);
    for (size_t b = 0; b < p->boxes.size(); b += 6) {
        for (int i = 0; i < 3; ++i) {
            p->boxes[b + i] = 1e30f;
            p->boxes[b + 3 + i] = -1e30f;
        }
    }
    for (int i = 0; i < p->columns; ++i) {
        for (int j = 0; j < p->rows; ++j) {
            const TerrainQuad& quad = quads[static_cast<size_t>(i) * p->rows + j];
            float* box = &p->boxes[((i / BlockSide) * p->blockRows + j / BlockSide) * 6];
            for (const float* v : quad.position) GrowBox(box, v);
        }
    }
}

void FillVertices(const std::vector<TerrainQuad>& quads, std::vector<CornerVertex>* corners) {
    corners->reserve(quads.size() * 4);
    for (const TerrainQuad& quad : quads) {
        for (int v = 0; v < 4; ++v) {
            const float* n = quad.normal;
            const float* t = quad.texCoord[v];
            const float* x = quad.position[v];
            corners->push_back({{x[0], x[1], x[2]}, {n[0], n[1], n[2]}, {t[0], t[1]}});
        }
    }
}

void UploadPieces(TerrainPieces* p, const std::vector<CornerVertex>& corners) {
    std::vector<GLuint> indices;
    indices.reserve(p->Cells() * 6);
    for (GLuint first = 0; first < corners.size(); first += 4) {
        for (GLuint k : CellSplit) indices.push_back(first + k);
    }
    // Always new names: a test may have made this context anew.
    glGenBuffers(1, &p->vertices);
    glBindBuffer(GL_ARRAY_BUFFER, p->vertices);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(p->VertexBytes()), corners.data(),
                 GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glGenBuffers(1, &p->indices);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, p->indices);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indices.size() * sizeof(GLuint)),
                 indices.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

void BuildPieces(const std::vector<TerrainQuad>& quads, int columns, int rows, int slot) {
    if (slot < 0 || slot >= PieceSlots || quads.empty() ||
        quads.size() != static_cast<size_t>(columns) * rows)
        return;
    TerrainPieces& p = Pieces[slot];
    p.list = DisplayListTable[slot];
    p.columns = columns;
    p.rows = rows;
    FillBlockBoxes(quads, &p);
    std::vector<CornerVertex> corners;
    FillVertices(quads, &corners);
    UploadPieces(&p, corners);
    for (int i = 0; i < 3; ++i) p.lastNormal[i] = corners.back().normal[i];
    for (int i = 0; i < 2; ++i) p.lastTexCoord[i] = corners.back().texCoord[i];
}

// Binds the slot's buffers when they still belong to the list the slot
// names in this context; feedback and selection get the list itself.
bool BindPieces(const TerrainPieces& p, unsigned int list) {
    if (p.vertices == 0 || p.list != list || !glIsBuffer(p.vertices))
        return false;
    GLint mode = GL_RENDER;
    glGetIntegerv(GL_RENDER_MODE, &mode);
    if (mode != GL_RENDER)
        return false;
    glBindBuffer(GL_ARRAY_BUFFER, p.vertices);
    GLint size = 0;
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    if (static_cast<size_t>(size) == p.VertexBytes()) {
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, p.indices);
        return true;
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    return false;
}

// True when all eight corners lie beyond one of the six (widened) planes of
// the view volume: then no part of the box can reach the picture.
bool BoxOutsideView(const float m[16], const float* box) {
    int outside[6] = {0, 0, 0, 0, 0, 0};
    const float k = 1.0f + ViewMargin;
    for (int corner = 0; corner < 8; ++corner) {
        const float x = box[(corner & 1) ? 3 : 0];
        const float y = box[(corner & 2) ? 4 : 1];
        const float z = box[(corner & 4) ? 5 : 2];
        float c[4];
        for (int r = 0; r < 4; ++r) c[r] = m[r] * x + m[4 + r] * y + m[8 + r] * z + m[12 + r];
        const float w = k * c[3];
        outside[0] += c[0] > w;
        outside[1] += c[0] < -w;
        outside[2] += c[1] > w;
        outside[3] += c[1] < -w;
        outside[4] += c[2] > w;
        outside[5] += c[2] < -w;
    }
    for (int count : outside) {
        if (count == 8)
            return true;
    }
    return false;
}

// Runs of cells to draw, in the list's order: down each column, the rows of
// the blocks in view. Equal depths (common with a 16-bit depth buffer) keep
// whichever fragment comes last under GL_LEQUAL, so any other order would
// change the picture. Neighbouring runs merge; first and count are in cells.
void CollectRuns(const TerrainPieces& p, const float m[16], std::vector<GLint>* first,
                 std::vector<GLsizei>* count) {
    std::vector<char> inView(p.boxes.size() / 6);
    for (size_t b = 0; b < inView.size(); ++b) inView[b] = !BoxOutsideView(m, &p.boxes[b * 6]);
    for (int i = 0; i < p.columns; ++i) {
        for (int bj = 0; bj < p.blockRows; ++bj) {
            if (!inView[static_cast<size_t>(i / BlockSide) * p.blockRows + bj])
                continue;
            const GLint start = i * p.rows + bj * BlockSide;
            const GLsizei n = std::min(BlockSide, p.rows - bj * BlockSide);
            if (!first->empty() && first->back() + count->back() == start) {
                count->back() += n;
            } else {
                first->push_back(start);
                count->push_back(n);
            }
        }
    }
}

void DrawRuns(const TerrainPieces& p, const std::vector<GLint>& first,
              const std::vector<GLsizei>& count) {
    const GLsizei stride = sizeof(CornerVertex);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(3, GL_FLOAT, stride, reinterpret_cast<const void*>(0));
    glNormalPointer(GL_FLOAT, stride,
                    reinterpret_cast<const void*>(offsetof(CornerVertex, normal)));
    glTexCoordPointer(2, GL_FLOAT, stride,
                      reinterpret_cast<const void*>(offsetof(CornerVertex, texCoord)));
    std::vector<const void*> offsets(first.size());
    std::vector<GLsizei> counts(first.size());
    for (size_t r = 0; r < first.size(); ++r) {
        offsets[r] = reinterpret_cast<const void*>(first[r] * size_t{6} * sizeof(GLuint));
        counts[r] = count[r] * 6;
    }
    if (!first.empty())
        glMultiDrawElements(GL_TRIANGLES, counts.data(), GL_UNSIGNED_INT, offsets.data(),
                            static_cast<GLsizei>(first.size()));
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    // What the list leaves behind as current values.
    glNormal3fv(p.lastNormal);
    glTexCoord2fv(p.lastTexCoord);
}

void EmitTerrainList(const std::vector<TerrainQuad>& quads, unsigned int list) {
    glNewList(list, GL_COMPILE);
    glBegin(GL_QUADS);
    for (const TerrainQuad& quad : quads) {
        glNormal3fv(quad.normal);
        for (int v = 0; v < 4; ++v) {
            glTexCoord2fv(quad.texCoord[v]);
            glVertex3fv(quad.position[v]);
        }
    }
    glEnd();
    glEndList();
}

// The same cells as lines: every cell's four edges, so no driver draws a
// diagonal. The last vertex is P01, as in the quads' list, so both leave the
// same current normal and texture coordinate behind.
void EmitOutlineList(const std::vector<TerrainQuad>& quads, int slot) {
    if (slot < 0 || slot >= PieceSlots)
        return;
    Outlines[slot] = {DisplayListTable[slot], glGenLists(1)};  // new: the context may be new
    glNewList(Outlines[slot].outline, GL_COMPILE);
    glBegin(GL_LINES);
    for (const TerrainQuad& quad : quads) {
        glNormal3fv(quad.normal);
        for (int k : QuadOutlineCorners) {
            glTexCoord2fv(quad.texCoord[k]);
            glVertex3fv(quad.position[k]);
        }
    }
    glEnd();
    glEndList();
}

}  // namespace

// The header alone says what is wrong with a file of the wrong size or depth.
const char* HeightMapFileProblem(const char* path) {
    JpegHeader header;
    if (!ReadJpegHeader(path, &header))
        return header.opened ? "not a decodable JPEG" : "missing";
    if (header.width != MapSide || header.height != MapSide)
        return "not 256 x 256 pixels";
    if (header.components != 3)
        return "not 24 bits per pixel";
    return nullptr;
}

const char* HeightMapProblem(const ImageRecord& map) {
    if (!map.pixels)
        return "no pixels";
    if (map.width != MapSide || map.height != MapSide)
        return "not 256 x 256 pixels";
    if (map.bitsPerPixel != 24)
        return "not 24 bits per pixel";
    return nullptr;
}

void ComputeTerrainQuads(const ImageRecord& map, int step, std::vector<TerrainQuad>* quads) {
    const int columns = (map.width + step) / step;
    const int rows = (map.height + step) / step;
    quads->clear();
    quads->reserve(static_cast<size_t>(columns) * rows);
    for (int i = 1; i <= columns; ++i) {
        for (int j = 1; j <= rows; ++j) {
            TerrainQuad quad;
            ComputeCell(map, i * step, j * step, step, &quad);
            quads->push_back(quad);
        }
    }
}

bool CompileTerrainList(const ImageRecord& map, const char* path, int step, int slot) {
    if (const char* problem = HeightMapProblem(map)) {
        std::fprintf(stderr, "%s: %s (%d x %d, %d bits); terrain mesh of step %d left empty\n",
                     path, problem, map.width, map.height, map.bitsPerPixel, step);
        return false;
    }
    std::vector<TerrainQuad> quads;
    ComputeTerrainQuads(map, step, &quads);
    EmitTerrainList(quads, DisplayListTable[slot]);
    EmitOutlineList(quads, slot);
    BuildPieces(quads, (map.width + step) / step, (map.height + step) / step, slot);
    return true;
}

void DrawTerrainOutline(int slot) {
    const unsigned int list = DisplayListTable[slot];
    if (slot >= 0 && slot < PieceSlots && Outlines[slot].list == list &&
        glIsList(Outlines[slot].outline))
        glCallList(Outlines[slot].outline);
    else
        glCallList(list);
}

void DrawTerrainMesh(int slot) {
    GLint polygonMode[2] = {GL_FILL, GL_FILL};
    glGetIntegerv(GL_POLYGON_MODE, polygonMode);
    if (polygonMode[0] == GL_LINE) {  // the pieces are triangles: their diagonals would show
        DrawTerrainOutline(slot);
        return;
    }
    const unsigned int list = DisplayListTable[slot];
    if (PlainDraw || slot < 0 || slot >= PieceSlots || !BindPieces(Pieces[slot], list)) {
        glCallList(list);
        return;
    }
    const TerrainPieces& p = Pieces[slot];
    float m[16];
    CurrentClipMatrix(m);
    std::vector<GLint> first;
    std::vector<GLsizei> count;
    CollectRuns(p, m, &first, &count);
    DrawRuns(p, first, count);
}

bool BuildTerrainListFromFile(const char* path, int step, int slot) {
    const char* problem = HeightMapFileProblem(path);
    ImageRecord map;
    if (!problem && !LoadJpegImage(path, &map))
        problem = "not a decodable JPEG";
    if (problem) {
        ReportUnusableFile(path, problem);  // once for the three meshes
        return false;
    }
    bool built = CompileTerrainList(map, path, step, slot);
    std::free(map.pixels);
    return built;
}

// The full-resolution mesh is built whatever Demo++ says at load time: the
// day-to-night scene switches Demo++ on later and then draws from it.
void BuildTerrainList(int step, int slot) {
    BuildTerrainListFromFile(DataPath(HeightMapName).c_str(), step, slot);
}

void BuildDisplayLists() {
    unsigned int base = glGenLists(DisplayListTableSize);
    for (unsigned int i = 0; i < DisplayListTableSize; ++i) DisplayListTable[i] = base + i;
    BuildTerrainList(16, ListCoarseTerrain);
    BuildTerrainList(4, ListMediumTerrain);
    BuildTerrainList(1, ListFineTerrain);
}

void PlanTerrainTiles(bool demoPlus, TerrainTileStep steps[9]) {
    static const float moves[9][2] = {{0, 0}, {2, 0},  {-4, 0}, {2, 2}, {0, -4},
                                      {2, 0}, {-4, 0}, {0, 4},  {4, 0}};
    const int finer = demoPlus ? 1 : 0;  // Demo++ takes the next finer mesh
    for (int i = 0; i < 9; ++i) {
        const int slot = (i == 0 ? ListMediumTerrain : ListCoarseTerrain) + finer;
        steps[i] = TerrainTileStep{{moves[i][0], moves[i][1], 0.0f}, slot};
    }
}

void DrawTerrainTiles() {
    TerrainTileStep steps[9];
    PlanTerrainTiles(DemoSettings.demoPlus, steps);
    glPushMatrix();
    glRotatef(90.0f, 1.0f, 0.0f, 0.0f);
    glScalef(16.0f, 16.0f, 4.0f);
    for (int i = 0; i < 9; ++i) {
        if (i > 0)
            glTranslatef(steps[i].translate[0], steps[i].translate[1], steps[i].translate[2]);
        DrawTerrainMesh(steps[i].slot);
    }
    glPopMatrix();
}
