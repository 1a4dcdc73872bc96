// What the geometry really sends to GL, read back through feedback mode, and
// the matrix stacks each model leaves behind.
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "../support/test_jpeg.h"
#include "setup/render_state.h"
#include "gl_test_support.h"
#include "setup/settings.h"
#include "setup/viewport.h"
#include "frame/frame.h"
#include "geometry/lattice.h"
#include "geometry/models.h"
#include "geometry/terrain.h"
#include "geometry/wave.h"
#include "resources/images.h"

namespace {

struct FeedbackVertex {
    float position[3];  // object space of the capture box
    float color[4];
    float texCoord[4];
};
struct Feedback {
    std::vector<std::vector<FeedbackVertex>> polygons;
    std::vector<std::vector<FeedbackVertex>> lines;  // from, to
    std::vector<float> passThrough;
};

// The capture box maps object space (modelview identity) onto the viewport
// with an orthographic projection, so window coordinates convert back.
struct Box {
    float lo[3], hi[3];
};

FeedbackVertex ReadVertex(const float* f, const Box& box, const GLint viewport[4]) {
    FeedbackVertex v;
    v.position[0] = box.lo[0] + (f[0] - viewport[0]) / viewport[2] * (box.hi[0] - box.lo[0]);
    v.position[1] = box.lo[1] + (f[1] - viewport[1]) / viewport[3] * (box.hi[1] - box.lo[1]);
    v.position[2] = box.hi[2] - f[2] * (box.hi[2] - box.lo[2]);
    for (int i = 0; i < 4; ++i) {
        v.color[i] = f[3 + i];
        v.texCoord[i] = f[7 + i];
    }
    return v;
}

constexpr int VertexFloats = 11;  // GL_3D_COLOR_TEXTURE in RGBA mode

Feedback Capture(const Box& box, const std::function<void()>& draw, size_t capacity = 1 << 20) {
    std::vector<float> buffer(capacity);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(box.lo[0], box.hi[0], box.lo[1], box.hi[1], -box.hi[2], -box.lo[2]);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glFeedbackBuffer(GLsizei(capacity), GL_3D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint used = glRenderMode(GL_RENDER);
    Feedback out;
    EXPECT_GE(used, 0) << "feedback buffer overflow";
    for (GLint i = 0; i < used;) {
        const int token = int(buffer[i++]);
        if (token == GL_PASS_THROUGH_TOKEN) {
            out.passThrough.push_back(buffer[i++]);
        } else if (token == GL_POLYGON_TOKEN) {
            const int n = int(buffer[i++]);
            std::vector<FeedbackVertex> polygon;
            for (int k = 0; k < n; ++k, i += VertexFloats)
                polygon.push_back(ReadVertex(&buffer[i], box, viewport));
            out.polygons.push_back(polygon);
        } else if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
            out.lines.push_back({ReadVertex(&buffer[i], box, viewport),
                                 ReadVertex(&buffer[i + VertexFloats], box, viewport)});
            i += 2 * VertexFloats;
        } else {
            ADD_FAILURE() << "unexpected feedback token " << token;
            break;
        }
    }
    return out;
}

void PlainState() {
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    // The demo's render state turns on light 1 and colour material; a test
    // that ran before in the same process may have left them on.
    glDisable(GL_LIGHT1);
    glDisable(GL_COLOR_MATERIAL);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_GEN_S);  // the sky and lattice passes generate coordinates
    glDisable(GL_TEXTURE_GEN_T);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glShadeModel(GL_SMOOTH);
    glColor4f(1, 1, 1, 1);
}

// Fresh list names for every test: a list left by another test cannot
// stand in for one that should have been compiled.
void ReserveLists() {
    const unsigned int base = glGenLists(64);
    for (unsigned int i = 0; i < 64; ++i) DisplayListTable[i] = base + i;
}

struct TestMap {
    std::vector<unsigned char> pixels;
    ImageRecord record;
};

void MakeRandomMap(TestMap* map) {
    map->pixels.assign(256 * 256 * 3, 0);
    unsigned int state = 12345;
    for (size_t i = 0; i < map->pixels.size(); i += 3) {
        state = state * 1103515245u + 12345u;
        map->pixels[i] = (state >> 16) & 255;
    }
    map->record.pixels = map->pixels.data();
    map->record.bitsPerPixel = 24;
    map->record.width = map->record.height = 256;
}

bool Near(const float* a, const float* b, int n, float tolerance) {
    for (int i = 0; i < n; ++i)
        if (std::fabs(a[i] - b[i]) > tolerance)
            return false;
    return true;
}

// Whether some vertex of the polygons lies at p.
bool HasVertexAt(const std::vector<std::vector<FeedbackVertex>>& polygons, size_t first,
                 size_t last, const float p[3], float tolerance) {
    for (size_t i = first; i < last; ++i)
        for (const FeedbackVertex& v : polygons[i])
            if (Near(v.position, p, 3, tolerance))
                return true;
    return false;
}

size_t VertexCount(const Feedback& f) {
    size_t n = 0;
    for (const auto& polygon : f.polygons) n += polygon.size();
    return n;
}

}  // namespace

TEST(GeometryFeedback, CubeFacesAfterTheQuarterTurn) {
    PlainState();
    // Light along +(1, 2, 3), then along -(1, 2, 3): the two diffuse terms
    // tell every axis-aligned normal apart.
    const float directions[2] = {1, -1};
    const float light[3] = {1 / std::sqrt(14.0f), 2 / std::sqrt(14.0f), 3 / std::sqrt(14.0f)};
    const Box box = {{-2, -2, -2}, {2, 2, 2}};
    const float zero[4] = {0, 0, 0, 1}, one[4] = {1, 1, 1, 1};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, zero);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, zero);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, one);
    glLightfv(GL_LIGHT0, GL_AMBIENT, zero);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, one);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_FALSE);
    for (float sign : directions) {
        const float position[4] = {sign * light[0], sign * light[1], sign * light[2], 0};
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        Feedback f = Capture(box, [&] {
            glLightfv(GL_LIGHT0, GL_POSITION, position);
            DrawCube();
        });
        glDisable(GL_LIGHTING);
        ASSERT_EQ(VertexCount(f), f.polygons.size() == 6 ? 24u : 36u);
        for (const auto& polygon : f.polygons) {
            // The face's outward normal is the axis on which all corners agree.
            float normal[3] = {0, 0, 0};
            for (int axis = 0; axis < 3; ++axis) {
                bool same = true;
                for (const FeedbackVertex& v : polygon)
                    same = same && std::fabs(v.position[axis] - polygon[0].position[axis]) < 1e-4;
                if (same)
                    normal[axis] = polygon[0].position[axis] > 0 ? 1.0f : -1.0f;
            }
            const float lit = std::fmax(
                0.0f, sign * (normal[0] * light[0] + normal[1] * light[1] + normal[2] * light[2]));
            for (const FeedbackVertex& v : polygon) EXPECT_NEAR(v.color[0], lit, 2e-3);
        }
    }
    // Positions turn by 90 degrees about z: face 1's first corner (-1, -1, 1)
    // with texture (0, 1) is seen at (1, -1, 1).
    Feedback f = Capture(box, [] { DrawCube(); });
    const float corner[3] = {1, -1, 1};
    bool found = false;
    for (const auto& polygon : f.polygons)
        for (const FeedbackVertex& v : polygon)
            if (Near(v.position, corner, 3, 1e-4) && v.texCoord[0] == 0 && v.texCoord[1] == 1) {
                // On face 1 the corner shares z with its polygon.
                found = found || std::fabs(polygon[1].position[2] - 1) < 1e-4;
            }
    EXPECT_TRUE(found);
}

TEST(GeometryFeedback, CubeUnderTheTextureMatrixTurnsTheTexture) {
    PlainState();
    const Box box = {{-2, -2, -2}, {2, 2, 2}};
    // Texture coordinates only pass the texture matrix while texturing is on.
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, MakeSolidTexture(4, 4, 255, 255, 255));
    Feedback f = Capture(box, [] {
        glMatrixMode(GL_TEXTURE);
        glLoadIdentity();
        DrawCube();
        glMatrixMode(GL_MODELVIEW);
    });
    // Face 1 unturned: (-1, -1, 1) with texture (0, 1) turned to (-1, 0).
    bool found = false;
    for (const auto& polygon : f.polygons)
        for (const FeedbackVertex& v : polygon) {
            const float corner[3] = {-1, -1, 1};
            if (Near(v.position, corner, 3, 1e-4) && std::fabs(v.texCoord[0] + 1) < 1e-5 &&
                std::fabs(v.texCoord[1]) < 1e-5)
                found = true;
        }
    EXPECT_TRUE(found);
    glDisable(GL_TEXTURE_2D);
    GLint depth = 0;
    glGetIntegerv(GL_TEXTURE_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1);
}

TEST(GeometryFeedback, SkyConeTrianglesAndColours) {
    PlainState();
    const Box box = {{-65, -65, -65}, {65, 65, 65}};
    Feedback f = Capture(box, [] { DrawSkyCone(1, 0, 0, 0, 1, 0, 0, 0, 1); });
    ASSERT_EQ(f.polygons.size(), 128u);
    for (size_t t = 0; t < f.polygons.size(); ++t) {
        const auto& tri = f.polygons[t];
        ASSERT_EQ(tri.size(), 3u);
        int apexes = 0;
        for (const FeedbackVertex& v : tri) {
            if (std::fabs(std::fabs(v.position[1]) - 64) < 1e-3) {
                ++apexes;
                const bool upper = v.position[1] > 0;
                EXPECT_EQ(upper, t % 2 == 0);
                EXPECT_NEAR(v.color[0], upper ? 1 : 0, 1e-5);
                EXPECT_NEAR(v.color[2], upper ? 0 : 1, 1e-5);
            } else {
                EXPECT_NEAR(v.position[1], 0, 1e-3);
                EXPECT_NEAR(v.color[1], 1, 1e-5);
                EXPECT_NEAR(v.texCoord[0] * 64, v.position[0], 1e-2);
                EXPECT_NEAR(v.texCoord[1] * 64, v.position[2], 1e-2);
            }
        }
        EXPECT_EQ(apexes, 1);
    }
    GLfloat current[4];
    glGetFloatv(GL_CURRENT_COLOR, current);
    EXPECT_EQ(current[2], 1.0f);  // the bottom colour stays current
}

TEST(GeometryFeedback, TerrainListHoldsTheComputedCells) {
    PlainState();
    ReserveLists();
    TestMap map;
    MakeRandomMap(&map);
    ASSERT_TRUE(CompileTerrainList(map.record, "test map", 16, 2));
    std::vector<TerrainQuad> quads;
    ComputeTerrainQuads(map.record, 16, &quads);
    const Box box = {{-1.5f, -1.5f, -2}, {1.5f, 1.5f, 1}};
    Feedback f = Capture(box, [] { glCallList(DisplayListTable[ListCoarseTerrain]); });
    ASSERT_TRUE(f.polygons.size() == quads.size() || f.polygons.size() == 2 * quads.size());
    const size_t perQuad = f.polygons.size() / quads.size();
    for (size_t q = 0; q < quads.size(); ++q) {
        for (size_t p = q * perQuad; p < (q + 1) * perQuad; ++p) {
            for (const FeedbackVertex& v : f.polygons[p]) {
                bool match = false;
                for (int k = 0; k < 4; ++k)
                    match = match || (Near(v.position, quads[q].position[k], 3, 1e-4) &&
                                      Near(v.texCoord, quads[q].texCoord[k], 2, 1e-6));
                ASSERT_TRUE(match) << "quad " << q;
            }
        }
    }
    // In line mode the mesh is its cells' four edges as lines, in Mesa's
    // order and direction: never a diagonal that a driver could add.
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    f = Capture(box, [] { DrawTerrainMesh(ListCoarseTerrain); });
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    ASSERT_TRUE(f.polygons.empty());
    ASSERT_EQ(f.lines.size(), 4 * quads.size());
    for (size_t l = 0; l < f.lines.size(); ++l) {
        const TerrainQuad& quad = quads[l / 4];
        for (int end = 0; end < 2; ++end)
            ASSERT_TRUE(Near(f.lines[l][end].position,
                             quad.position[QuadOutlineCorners[2 * (l % 4) + end]], 3, 1e-4))
                << "line " << l;
        const float* from = f.lines[l][0].position;
        const float* to = f.lines[l][1].position;
        ASSERT_TRUE(from[0] == to[0] || from[1] == to[1]) << "diagonal " << l;
    }
}

TEST(GeometryFeedback, UnusableMapLeavesTheListEmpty) {
    PlainState();
    ReserveLists();
    TestMap map;
    MakeRandomMap(&map);
    map.record.width = 128;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(CompileTerrainList(map.record, "maps/small.jpg", 4, 3));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("maps/small.jpg"), std::string::npos);
    const Box box = {{-2, -2, -2}, {2, 2, 2}};
    Feedback f = Capture(box, [] { glCallList(DisplayListTable[ListMediumTerrain]); });
    EXPECT_TRUE(f.polygons.empty());
}

TEST(GeometryFeedback, TerrainTilesUseTheSlotsOfDemoPlus) {
    ReserveLists();
    for (int slot = ListCoarseTerrain; slot <= ListFineTerrain; ++slot) {
        glNewList(DisplayListTable[slot], GL_COMPILE);
        glPassThrough(float(slot));
        glEndList();
    }
    const Box box = {{-1, -1, -1}, {1, 1, 1}};
    for (bool demoPlus : {false, true}) {
        DemoSettings.demoPlus = demoPlus;
        Feedback f = Capture(box, [] { DrawTerrainTiles(); });
        const float d = demoPlus ? 1.0f : 0.0f;
        const std::vector<float> expected = {3 + d, 2 + d, 2 + d, 2 + d, 2 + d,
                                             2 + d, 2 + d, 2 + d, 2 + d};
        EXPECT_EQ(f.passThrough, expected);
    }
    DemoSettings.demoPlus = false;
}

TEST(GeometryFeedback, TerrainTilesJoinWithoutCracksInWorldSpace) {
    PlainState();
    ReserveLists();
    DemoSettings.demoPlus = false;
    TestMap map;
    MakeRandomMap(&map);
    ASSERT_TRUE(CompileTerrainList(map.record, "test map", 16, 2));
    ASSERT_TRUE(CompileTerrainList(map.record, "test map", 4, 3));
    const Box box = {{-52, -2, -52}, {52, 8, 52}};
    const size_t ring =
        Capture(box, [] { glCallList(DisplayListTable[ListCoarseTerrain]); }).polygons.size();
    const size_t centre =
        Capture(box, [] { glCallList(DisplayListTable[ListMediumTerrain]); }).polygons.size();
    Feedback f = Capture(
        box, [] { DrawTerrainTiles(); }, 1 << 21);
    ASSERT_EQ(f.polygons.size(), centre + 8 * ring);
    // The centre tile: mesh (X, Y, Z) lands at (16 X, -4 Z, 16 Y).
    std::vector<TerrainQuad> quads;
    ComputeTerrainQuads(map.record, 4, &quads);
    for (size_t q = 0; q < quads.size(); q += 97) {
        const float* m = quads[q].position[0];
        const float world[3] = {16 * m[0], -4 * m[2], 16 * m[1]};
        EXPECT_TRUE(HasVertexAt(f.polygons, 0, centre, world, 2e-3)) << q;
    }
    // Ring tiles 1 to 8 in call order sit at mesh (2,0) (-2,0) (0,2) (0,-2)
    // (2,-2) (-2,-2) (-2,2) (2,2). Each pair below overlaps by one cell of 2
    // world units beyond the edge of the lower tile's neighbour.
    auto first = [&](int tile) { return centre + (tile - 1) * ring; };
    struct Pair {
        int low, high, axis;
        float edge;
    } pairs[] = {{6, 4, 0, -16}, {5, 1, 2, -16}, {2, 7, 2, 16}, {3, 8, 0, 16}};
    for (const Pair& pair : pairs) {
        int shared = 0;
        for (size_t p = first(pair.low); p < first(pair.low) + ring; ++p) {
            for (const FeedbackVertex& v : f.polygons[p]) {
                if (v.position[pair.axis] < pair.edge - 1e-3)
                    continue;
                ++shared;
                ASSERT_TRUE(HasVertexAt(f.polygons, first(pair.high), first(pair.high) + ring,
                                        v.position, 2e-3))
                    << "tiles " << pair.low << " and " << pair.high;
            }
        }
        EXPECT_GT(shared, 17 * 2);
    }
}

// Every lattice square faces the viewer with its texture upright and not
// mirrored, whatever the shell's turn: s grows to the right, t upwards.
TEST(GeometryFeedback, LatticeSquaresShowTheirTextureUpright) {
    PlainState();
    CameraPose.angles[0] = CameraPose.angles[1] = 0;
    const Box box = {{-4, -4, -4}, {4, 4, 4}};  // the corners reach 3.5 as the shell turns
    Feedback f = Capture(box, [] { DrawLatticeShell(7.5f, 1); });
    ASSERT_GE(f.polygons.size(), 602u);
    for (const auto& polygon : f.polygons)  // a triangle of a square spans it
        for (const FeedbackVertex& v : polygon)
            for (int a = 0; a < 2; ++a) {
                int above = 0;
                for (const FeedbackVertex& w : polygon)
                    above += v.position[a] > w.position[a] + 0.1f;
                ASSERT_EQ(v.texCoord[a], above ? 1 : 0) << "axis " << a;
            }
}

TEST(GeometryDraw, EveryModelLeavesTheMatrixStacksAsFound) {
    if (!SharedQuadric) {
        SharedQuadric = gluNewQuadric();
        gluQuadricNormals(SharedQuadric, GLU_SMOOTH);
        gluQuadricTexture(SharedQuadric, GL_TRUE);
    }
    ReserveLists();
    FrameClock.now = 3.25f;
    CameraPose.angles[0] = 12;
    CameraPose.angles[1] = -40;
    const std::function<void()> draws[] = {
        [] { DrawCube(); },
        [] { DrawSpinningCube(2.5f); },
        [] { DrawSkyCone(0, 0, 0, 1, 1, 1, 0, 0, 0); },
        [] { DrawSphereCluster(0.5f); },
        [] { DrawTerrainTiles(); },
        [] { DrawSpriteCloud(32, 8, 32, 8, 4); },
        [] { DrawLatticeShell(7.5f, 0.5f); },
        [] { DrawWaveSurface(0, -30); },
    };
    for (GLenum mode : {GL_MODELVIEW, GL_TEXTURE}) {
        glMatrixMode(mode);
        glLoadIdentity();
        glTranslatef(1, 2, 3);
        for (size_t i = 0; i < sizeof(draws) / sizeof(draws[0]); ++i) {
            GLint modelDepth = 0, textureDepth = 0;
            GLfloat model[16], texture[16], after[16];
            glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &modelDepth);
            glGetIntegerv(GL_TEXTURE_STACK_DEPTH, &textureDepth);
            glGetFloatv(GL_MODELVIEW_MATRIX, model);
            glGetFloatv(GL_TEXTURE_MATRIX, texture);
            draws[i]();
            GLint depth = 0;
            glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
            EXPECT_EQ(depth, modelDepth) << "draw " << i;
            glGetIntegerv(GL_TEXTURE_STACK_DEPTH, &depth);
            EXPECT_EQ(depth, textureDepth) << "draw " << i;
            glGetFloatv(GL_MODELVIEW_MATRIX, after);
            EXPECT_TRUE(Near(after, model, 16, 0)) << "draw " << i;
            glGetFloatv(GL_TEXTURE_MATRIX, after);
            EXPECT_TRUE(Near(after, texture, 16, 0)) << "draw " << i;
            EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << "draw " << i;
        }
        glLoadIdentity();
        if (mode == GL_TEXTURE)
            break;
    }
    glMatrixMode(GL_MODELVIEW);
    EXPECT_FALSE(glIsEnabled(GL_NORMALIZE));
}

TEST(GeometryFeedback, BuildDisplayListsCompilesAllThreeStepsWithDemoPlusOff) {
    char pattern[] = "/tmp/norvale-lists-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::filesystem::path dir = pattern, home = std::filesystem::current_path();
    std::filesystem::create_directory(dir / "data");
    ASSERT_TRUE(WriteTestJpeg((dir / "data/heightmap.jpg").c_str(), 256, 256, 3,
                              [](int x, int y, int) { return (x ^ y) & 255; }));
    std::filesystem::current_path(dir);
    DemoSettings.demoPlus = false;
    BuildDisplayLists();
    std::filesystem::current_path(home);
    std::filesystem::remove_all(dir);
    PlainState();
    const Box box = {{-1.5f, -1.5f, -2}, {1.5f, 1.5f, 1}};
    const size_t quads[3] = {17 * 17, 65 * 65, 257 * 257};
    for (int slot = ListCoarseTerrain; slot <= ListFineTerrain; ++slot) {
        const size_t n = Capture(
                             box, [slot] { glCallList(DisplayListTable[slot]); }, 1 << 23)
                             .polygons.size();
        EXPECT_TRUE(n == quads[slot - ListCoarseTerrain] ||
                    n == 2 * quads[slot - ListCoarseTerrain])
            << "slot " << slot;
    }
}

// The terrain drawn from its buffers without the blocks out of view, and the
// sprite cloud, leave the very pixels of the plain draws.
TEST(GeometryDraw, CulledTerrainAndSpriteCloudKeepEveryPixel) {
    PlainState();
    ReserveLists();
    TestMap map;
    MakeRandomMap(&map);
    ASSERT_TRUE(CompileTerrainList(map.record, "test map", 4, 3));
    const int w = GlTestContextWidth(), h = GlTestContextHeight();
    const auto picture = [w, h](const std::function<void()>& draw) {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(50, double(w) / h, 0.05, 20);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glRotatef(-60, 1, 0, 0);  // looking down at one corner of the mesh
        glTranslatef(0.6f, 0.5f, -0.9f);
        draw();
        return ReadRgb(0, 0, w, h);
    };
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    const auto lit = picture([] { glCallList(DisplayListTable[3]); });
    EXPECT_TRUE(picture([] { DrawTerrainMesh(3); }) == lit) << "culled terrain";
    glDisable(GL_LIGHTING);
    glDisable(GL_LIGHT0);
    glDisable(GL_DEPTH_TEST);
    EXPECT_GT(std::count(lit.begin(), lit.end(), 0), 0);  // the view leaves part of the mesh out

    // A texture bright in the middle, faint around it: shown under colour 0.5
    // (9 x 0.5 = 4.5 steps); under colour 0.02 less than half a step a
    // sprite (21 x 0.02 = 0.42), which rounds to nothing at 8 bits but adds up
    // where sprites overlap on a driver that blends in floats (softpipe), so
    // no sprite may be cut short there.
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    CameraPose.angles[0] = 10;
    CameraPose.angles[1] = -20;
    FrameClock.now = 1.5f;
    const struct {
        float color[3];
        unsigned char faint;
        int brightest;  // the picture's brightest byte is above this
    } cases[] = {{{0.02f, 0.5f, 0.02f}, 9, 100}, {{0.02f, 0.02f, 0.02f}, 21, 0}};
    for (const auto& c : cases) {
        std::vector<unsigned char> texels(64 * 64 * 3, 0);
        for (int y = 8; y < 56; ++y)
            for (int x = 8; x < 56; ++x)
                for (int k = 0; k < 3; ++k)
                    texels[(y * 64 + x) * 3 + k] =
                        (x >= 24 && x < 40 && y >= 28 && y < 36) ? 255 : c.faint;
        GLuint texture = 0;
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        gluBuild2DMipmaps(GL_TEXTURE_2D, 3, 64, 64, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
        const auto sprites = [&c] {
            glColor3fv(c.color);
            DrawSpriteCloud(0.8f, 0.8f, 0.8f, 0.4f, 0.2f);
        };
        const auto plain = [&c] {
            glColor3fv(c.color);
            SpritePlacement placements[SpriteCount];
            const int n = ComputeSpriteCloud(0.8f, 0.8f, 0.8f, 0.4f, 0.2f, 1.5f, placements);
            for (int k = 0; k < n; ++k) {
                glPushMatrix();
                glTranslatef(placements[k].offset[0], placements[k].offset[1],
                             placements[k].offset[2]);
                glRotatef(CameraPose.angles[1], 0, 1, 0);
                glRotatef(CameraPose.angles[0], 1, 0, 0);
                const float s = placements[k].half;
                DrawUnitTexturedQuad(-s, -s, s, s);
                glPopMatrix();
            }
        };
        const auto expected = picture(plain);
        EXPECT_TRUE(picture(sprites) == expected) << "sprites, faint " << int(c.faint);
        EXPECT_GT(*std::max_element(expected.begin(), expected.end()), c.brightest);
        glDeleteTextures(1, &texture);
    }
    PlainState();
    glDisable(GL_BLEND);
}
