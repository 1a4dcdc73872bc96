// Geometry computed without GL: terrain cells, model layouts, lattice, wave grid,
// vector interpolation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "../support/test_jpeg.h"
#include "geometry/lattice.h"
#include "geometry/models.h"
#include "geometry/random.h"
#include "geometry/terrain.h"
#include "geometry/vec3.h"
#include "geometry/wave.h"
#include "resources/images.h"

namespace {

// A 256 x 256, 24-bit height map whose red byte is height(c, r).
struct TestMap {
    std::vector<unsigned char> pixels;
    ImageRecord record;
};

template <typename F>
void MakeMap(TestMap* map, F height) {
    map->pixels.assign(256 * 256 * 3, 0);
    for (int r = 0; r < 256; ++r)
        for (int c = 0; c < 256; ++c) map->pixels[(r * 256 + c) * 3] = height(c, r);
    map->record.pixels = map->pixels.data();
    map->record.bitsPerPixel = 24;
    map->record.width = map->record.height = 256;
}

}  // namespace

TEST(TerrainMesh, CountsAndExtentsPerStep) {
    TestMap map;
    MakeMap(&map, [](int c, int r) { return (c * 7 + r * 13) & 255; });
    const struct {
        int step, side;
        float far;
    } cases[] = {{16, 17, 1.125f}, {4, 65, 1.03125f}, {1, 257, 1.0078125f}};
    for (const auto& k : cases) {
        std::vector<TerrainQuad> quads;
        ComputeTerrainQuads(map.record, k.step, &quads);
        ASSERT_EQ(quads.size(), size_t(k.side) * k.side) << "step " << k.step;
        float lo = 10, hi = -10, sHi = 0;
        for (const TerrainQuad& q : quads) {
            for (int v = 0; v < 4; ++v) {
                lo = std::fmin(lo, std::fmin(q.position[v][0], q.position[v][1]));
                hi = std::fmax(hi, std::fmax(q.position[v][0], q.position[v][1]));
                sHi = std::fmax(sHi, std::fmax(q.texCoord[v][0], q.texCoord[v][1]));
            }
        }
        EXPECT_EQ(lo, -1.0f);
        EXPECT_EQ(hi, k.far) << "step " << k.step;
        EXPECT_EQ(sHi, (256.0f + k.step) / 256.0f);
    }
}

TEST(TerrainMesh, CornerOrderAndRowsInnermost) {
    TestMap map;
    MakeMap(&map, [](int c, int r) { return (c + 3 * r) & 255; });
    std::vector<TerrainQuad> quads;
    ComputeTerrainQuads(map.record, 16, &quads);
    const TerrainQuad& first = quads[0];
    const float corners[4][2] = {{-1, -1}, {-0.875f, -1}, {-0.875f, -0.875f}, {-1, -0.875f}};
    const float tex[4][2] = {{0, 0}, {0.0625f, 0}, {0.0625f, 0.0625f}, {0, 0.0625f}};
    const int samples[4] = {0, 16, 16 + 48, 48};
    for (int v = 0; v < 4; ++v) {
        EXPECT_EQ(first.position[v][0], corners[v][0]) << v;
        EXPECT_EQ(first.position[v][1], corners[v][1]) << v;
        EXPECT_EQ(first.position[v][2], 0.3125f - samples[v] / 128.0f) << v;
        EXPECT_EQ(first.texCoord[v][0], tex[v][0]) << v;
        EXPECT_EQ(first.texCoord[v][1], tex[v][1]) << v;
    }
    // The next cell is one row further (Y), same column.
    EXPECT_EQ(quads[1].position[0][0], -1.0f);
    EXPECT_EQ(quads[1].position[0][1], -0.875f);
}

TEST(TerrainMesh, BlackAndWhiteMapsAreFlat) {
    for (int value : {0, 255}) {
        TestMap map;
        MakeMap(&map, [value](int, int) { return value; });
        std::vector<TerrainQuad> quads;
        ComputeTerrainQuads(map.record, 4, &quads);
        const float z = value == 0 ? 0.3125f : -1.6796875f;
        for (const TerrainQuad& q : quads) {
            for (int v = 0; v < 4; ++v) ASSERT_EQ(q.position[v][2], z);
            ASSERT_EQ(q.normal[0], 0.0f);
            ASSERT_EQ(q.normal[1], 0.0f);
            ASSERT_EQ(q.normal[2], -1.0f);
        }
    }
}

TEST(TerrainMesh, SlopeTiltsNormalAgainstTheRise) {
    TestMap map;  // brighter towards +X: the ground rises towards +X (up is -Z)
    MakeMap(&map, [](int c, int) { return c / 2; });
    std::vector<TerrainQuad> quads;
    ComputeTerrainQuads(map.record, 16, &quads);
    const TerrainQuad& q = quads[3];  // inside the ramp, away from the wrap
    // 8 levels (1/16 unit) down in Z over 16 pixels (1/8 unit) along X.
    EXPECT_NEAR(q.normal[0], -1 / std::sqrt(5.0f), 1e-6);
    EXPECT_NEAR(q.normal[1], 0.0f, 1e-6);
    EXPECT_NEAR(q.normal[2], -2 / std::sqrt(5.0f), 1e-6);
}

TEST(TerrainMesh, LastCellsWrapToTheFirst) {
    TestMap map;
    MakeMap(&map, [](int c, int r) { return (c * 31 + r * 17 + (c * r) % 11) & 255; });
    for (int step : {16, 4}) {
        std::vector<TerrainQuad> quads;
        ComputeTerrainQuads(map.record, step, &quads);
        const int n = (256 + step) / step;
        for (int j = 0; j < n; ++j) {
            const TerrainQuad& firstColumn = quads[j];
            const TerrainQuad& lastColumn = quads[(n - 1) * n + j];
            const TerrainQuad& firstRow = quads[j * n];
            const TerrainQuad& lastRow = quads[j * n + n - 1];
            for (int v = 0; v < 4; ++v) {
                ASSERT_EQ(lastColumn.position[v][2], firstColumn.position[v][2]) << step;
                ASSERT_EQ(lastRow.position[v][2], firstRow.position[v][2]) << step;
            }
            EXPECT_EQ(lastColumn.position[0][0], 1.0f);
        }
    }
}

TEST(SkyCone, RimAnglesInRadiansRepeatEvery16Wedges) {
    const float top[3] = {1, 0, 0}, rim[3] = {0, 1, 0}, bottom[3] = {0, 0, 1};
    std::vector<ColoredVertex> v(SkyConeVertexCount);
    ComputeSkyCone(top, rim, bottom, v.data());
    for (int t = 0; t < 128; ++t) {
        const ColoredVertex* tri = &v[t * 3];
        EXPECT_EQ(tri[2].position[1], t % 2 == 0 ? 64.0f : -64.0f);
        const int k = t / 2;  // wedge: rim points k mod 16 and (k + 1) mod 16
        const double a1 = (k % 16) * 5.625, a2 = ((k + 1) % 16) * 5.625;
        EXPECT_NEAR(tri[0].position[0], 64 * std::cos(a1), 1e-4);
        EXPECT_NEAR(tri[0].position[2], 64 * std::sin(a1), 1e-4);
        EXPECT_NEAR(tri[1].position[0], 64 * std::cos(a2), 1e-4);
        EXPECT_NEAR(tri[1].position[2], 64 * std::sin(a2), 1e-4);
    }
    // Rim point 1: cos 5.625 = 0.79110, sin 5.625 = -0.61168 (radians, not degrees).
    EXPECT_NEAR(v[1].position[0], 64 * 0.7911035f, 1e-3);
    EXPECT_NEAR(v[1].position[2], 64 * -0.6116822f, 1e-3);
}

TEST(SpriteCloud, LayoutFromSeed44) {
    SpritePlacement placements[SpriteCount];
    ComputeSpriteCloud(1, 1, 1, 1, 1, 0, placements);
    ASSERT_TRUE(SpriteCloud.filled);
    // Seed 44: states 11947583, 1435070470, 3512592049, 828829360 give the
    // outputs 182, 21897, 20829, 12646. x = (182 - 512) / 512, y = (393 - 512) / 512,
    // z = (349 - 512) / 512, base = (358 + 256) / 1024.
    const SpriteEntry& e = SpriteCloud.entries[0];
    EXPECT_EQ(e.position[0], -0.64453125f);
    EXPECT_EQ(e.position[1], -0.232421875f);
    EXPECT_EQ(e.position[2], -0.318359375f);
    EXPECT_EQ(e.baseSize, 0.599609375f);
    for (const SpriteEntry& entry : SpriteCloud.entries) {
        for (float p : entry.position) {
            EXPECT_GE(p, -1.0f);
            EXPECT_LT(p, 1.0f);
        }
        EXPECT_GE(entry.baseSize, 0.25f);
        EXPECT_LT(entry.baseSize, 1.0f);
    }
}

TEST(SpriteCloud, PlacementsPulseBetweenTheSizes) {
    SpritePlacement placements[SpriteCount];
    ASSERT_EQ(ComputeSpriteCloud(32, 8, 16, 3, 3, 12.5f, placements), SpriteCount);
    for (int k = 0; k < SpriteCount; ++k) {
        const SpriteEntry& e = SpriteCloud.entries[k];
        EXPECT_FLOAT_EQ(placements[k].half, e.baseSize * 3);
        EXPECT_EQ(placements[k].offset[0], 32 * e.position[0]);
        EXPECT_EQ(placements[k].offset[1], 8 * e.position[1]);
        EXPECT_EQ(placements[k].offset[2], 16 * e.position[2]);
    }
    // Sprite 0's phase is 182 mod 256: w = (sin(0.5 now + 182) + 1) / 2.
    ComputeSpriteCloud(1, 1, 1, 2, 6, 4.0f, placements);
    const double w = (std::sin(2.0 + 182) + 1) * 0.5;
    EXPECT_NEAR(placements[0].half, SpriteCloud.entries[0].baseSize * (w * 4 + 2), 1e-5);
}

TEST(SpriteCloud, ZeroSpreadOrSizeDrawsNothingButReseeds) {
    SpritePlacement placements[SpriteCount];
    SeedRandom(7);
    EXPECT_EQ(ComputeSpriteCloud(0, 5, 5, 4, 8, 1, placements), 0);
    EXPECT_EQ(NextRandom(), 182);
    SeedRandom(7);
    EXPECT_EQ(ComputeSpriteCloud(5, 5, 5, 0, 8, 1, placements), 0);
    EXPECT_EQ(NextRandom(), 182);
}

TEST(SphereCluster, OffsetsFromSeed10) {
    float offsets[SphereClusterCount][3];
    ComputeSphereCluster(0, offsets);
    for (const float* o : offsets)
        for (int i = 0; i < 3; ++i) EXPECT_EQ(o[i], 0.0f);
    // Seed 10 gives 71, 16899, 3272: x from the third ((32 - 30) / 10),
    // y from the second ((39 - 30) / 10), z from the first ((11 - 30) / 10).
    ComputeSphereCluster(2, offsets);
    EXPECT_FLOAT_EQ(offsets[0][0], 0.4f);
    EXPECT_FLOAT_EQ(offsets[0][1], 1.8f);
    EXPECT_FLOAT_EQ(offsets[0][2], -3.8f);
    for (const float* o : offsets)
        for (int i = 0; i < 3; ++i) {
            EXPECT_GE(o[i], -6.0f);
            EXPECT_LE(o[i], 5.8f + 1e-5f);
        }
}

TEST(LatticeShell, PointsOnTheSurfaceInOrder) {
    FillLatticePoints();
    ASSERT_EQ(LatticePoints.count, 602);
    const float* p = LatticePoints.points[0];
    EXPECT_EQ(std::make_tuple(p[0], p[1], p[2]), std::make_tuple(-5.0f, -5.0f, -5.0f));
    p = LatticePoints.points[1];  // k fastest
    EXPECT_EQ(std::make_tuple(p[0], p[1], p[2]), std::make_tuple(-5.0f, -5.0f, -4.0f));
    p = LatticePoints.points[11];
    EXPECT_EQ(std::make_tuple(p[0], p[1], p[2]), std::make_tuple(-5.0f, -4.0f, -5.0f));
    std::set<std::tuple<float, float, float>> unique;
    for (int n = 0; n < LatticePoints.count; ++n) {
        const float* q = LatticePoints.points[n];
        EXPECT_TRUE(std::fabs(q[0]) == 5 || std::fabs(q[1]) == 5 || std::fabs(q[2]) == 5);
        unique.insert({q[0], q[1], q[2]});
    }
    EXPECT_EQ(unique.size(), 602u);
    // Filling again does not append.
    FillLatticePoints();
    EXPECT_EQ(LatticePoints.count, 602);
}

TEST(LatticeShell, ColoursAtPhaseZero) {
    // (5, 0, -3): red 2|sin((sin -3 + 5) / 5)|, green 2|sin((sin 0 + 2) / 5)|,
    // blue 2|sin((sin 5 - 3) / 5)|.
    const float p[3] = {5, 0, -3};
    float rgba[4];
    LatticeSquareColor(p, 0, 0.25f, rgba);
    EXPECT_NEAR(rgba[0], 1.6517768f, 1e-5);
    EXPECT_NEAR(rgba[1], 0.7788367f, 1e-5);
    EXPECT_NEAR(rgba[2], 1.4232168f, 1e-5);
    EXPECT_EQ(rgba[3], 0.25f);
    const float corner[3] = {-5, -5, -5};
    LatticeSquareColor(corner, 0, 1, rgba);
    EXPECT_NEAR(rgba[0], 1.9438966f, 1e-5);
    // The phase adds inside the sine: pi brings the same magnitude back.
    float shifted[4];
    LatticeSquareColor(p, float(M_PI), 1, shifted);
    EXPECT_NEAR(shifted[0], 1.6517768f, 1e-5);
}

namespace {
WaveGrid Grid;  // too big for the stack of a test
WaveGrid Other;
}  // namespace

TEST(WaveSurface, GridFollowsTheTruncatedCentre) {
    EvaluateWaveGrid(0.9f, -0.9f, false, 1.3f, 1, &Grid);
    EvaluateWaveGrid(0.0f, 0.0f, false, 1.3f, 1, &Other);
    EXPECT_EQ(Grid.rows, 48);
    EXPECT_EQ(Grid.columns, 40);
    EXPECT_EQ(Grid.x0, -20);
    EXPECT_EQ(Grid.z0, -24);
    EXPECT_EQ(Other.x0, Grid.x0);
    EXPECT_EQ(Other.z0, Grid.z0);
    for (int i = 0; i < 48 * 40; ++i) ASSERT_EQ(Grid.heights[i], Other.heights[i]);
    EvaluateWaveGrid(3.7f, -100.2f, true, 0, 0, &Grid);
    EXPECT_EQ(Grid.rows, 96);
    EXPECT_EQ(Grid.columns, 80);
    EXPECT_EQ(Grid.x0, 3 - 40);
    EXPECT_EQ(Grid.z0, -100 - 48);
}

TEST(WaveSurface, FormulaZeros) {
    EvaluateWaveGrid(0, 0, false, 0, 0, &Grid);
    WaveQuad quad;
    ComputeWaveQuad(Grid, 24, 20, 0, 0, &quad);
    EXPECT_EQ(quad.position[0][0], 0.0f);
    EXPECT_EQ(quad.position[0][2], 0.0f);
    EXPECT_EQ(quad.position[0][1], 0.0f);
    // Formula 3 drops to -1 where sin(0.5 x - T) vanishes: column x = 0 at T = 0.
    EvaluateWaveGrid(0, 0, false, 0, 3, &Grid);
    for (int r = 0; r < 48; ++r) EXPECT_EQ(Grid.heights[r * 40 + 20], -1.0f);
    // ... and where sin(0.2 z - T) vanishes: at T = 1, on the row z = 5.
    EvaluateWaveGrid(0, 0, false, 1.0f, 3, &Grid);
    for (int c = 0; c < 40; ++c) EXPECT_NEAR(Grid.heights[(5 + 24) * 40 + c], -1.0f, 1e-6);
    // Formula 2 at T = 0 vanishes on x = 0 and z = 0 but not elsewhere.
    EvaluateWaveGrid(0, 0, false, 0, 2, &Grid);
    for (int r = 0; r < 48; ++r) EXPECT_EQ(Grid.heights[r * 40 + 20], 0.0f);
    for (int c = 0; c < 40; ++c) EXPECT_EQ(Grid.heights[24 * 40 + c], 0.0f);
    EXPECT_NE(Grid.heights[25 * 40 + 21], 0.0f);
    for (int f = 0; f < 4; ++f)
        for (int x = -30; x < 30; ++x)
            for (int z = -30; z < 30; ++z) {
                ASSERT_LE(std::fabs(WaveHeight(f, x, z, 0.7f)), 1.0f);
            }
}

TEST(WaveSurface, NormalsAndWrap) {
    Grid.rows = 4;
    Grid.columns = 3;
    Grid.x0 = 10;
    Grid.z0 = -2;
    for (int i = 0; i < 12; ++i) Grid.heights[i] = 0.5f;
    WaveQuad quad;
    ComputeWaveQuad(Grid, 1, 1, 0, 0, &quad);
    EXPECT_EQ(quad.normal[0], 0.0f);
    EXPECT_EQ(quad.normal[1], 1.0f);
    EXPECT_EQ(quad.normal[2], 0.0f);
    // Rising towards +x tilts the normal towards -x.
    for (int i = 0; i < 12; ++i) Grid.heights[i] = float(i % 3);
    ComputeWaveQuad(Grid, 0, 0, 0, 0, &quad);
    EXPECT_NEAR(quad.normal[0], -std::sqrt(0.5f), 1e-6);
    EXPECT_NEAR(quad.normal[1], std::sqrt(0.5f), 1e-6);
    EXPECT_EQ(quad.normal[2], 0.0f);
    // The last quad joins column 2 to column 0 and row 3 to row 0, at unwrapped positions.
    for (int i = 0; i < 12; ++i) Grid.heights[i] = float(i);
    ComputeWaveQuad(Grid, 3, 2, 0, 0, &quad);
    const float expected[4][3] = {{12, 11, 1}, {13, 9, 1}, {13, 0, 2}, {12, 2, 2}};
    for (int v = 0; v < 4; ++v)
        for (int i = 0; i < 3; ++i) EXPECT_EQ(quad.position[v][i], expected[v][i]) << v << i;
}

TEST(WaveSurface, PalettesFollowTheirCoordinate) {
    Grid.rows = 4;
    Grid.columns = 3;
    for (int i = 0; i < 12; ++i) Grid.heights[i] = 0.0f;
    Grid.x0 = 0;
    Grid.z0 = 0;
    WaveQuad quad;
    // h = 0, xa = 0, za = 0, T = 0: q = 0 and w = 1, the midpoint colour for all palettes.
    for (int palette = 0; palette < 3; ++palette) {
        ComputeWaveQuad(Grid, 0, 0, 0, palette, &quad);
        for (float c : quad.color) EXPECT_NEAR(c, 0.7f, 1e-6);
    }
    // Palette 0 runs along x, palette 1 along z: w = 1 + sin(-1).
    const float w = 1.0f - std::sin(1.0f);
    ComputeWaveQuad(Grid, 0, 1, 0, 0, &quad);
    EXPECT_NEAR(quad.color[0], 0.3f + 0.4f * w, 1e-6);
    EXPECT_NEAR(quad.color[1], 0.1f + 0.6f * w, 1e-6);
    EXPECT_NEAR(quad.color[2], 0.1f + 0.6f * w, 1e-6);
    ComputeWaveQuad(Grid, 1, 0, 0, 1, &quad);
    EXPECT_NEAR(quad.color[0], 0.1f + 0.6f * w, 1e-6);
    EXPECT_NEAR(quad.color[1], 0.3f + 0.4f * w, 1e-6);
    // Palette 2: q = 0.2 za + 0.1 xa - 4 T, blue carries the base 0.3.
    ComputeWaveQuad(Grid, 1, 2, 0.25f, 2, &quad);
    const float w2 = 1.0f + std::sin(0.2f + 0.2f - 1.0f);
    EXPECT_NEAR(quad.color[0], 0.1f + 0.6f * w2, 1e-6);
    EXPECT_NEAR(quad.color[2], 0.3f + 0.4f * w2, 1e-6);
}

TEST(TerrainMesh, UnusableHeightMapFilesAreNamedAndSkipped) {
    char pattern[] = "/tmp/norvale-heightmap-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    auto red = [](int x, int y, int c) { return c == 0 ? (x + y) & 255 : 0; };
    ASSERT_TRUE(WriteTestJpeg((dir + "/good.jpg").c_str(), 256, 256, 3, red));
    ASSERT_TRUE(WriteTestJpeg((dir + "/small.jpg").c_str(), 128, 128, 3, red));
    ASSERT_TRUE(WriteTestJpeg((dir + "/grey.jpg").c_str(), 256, 256, 1, red));
    FILE* text = std::fopen((dir + "/text.jpg").c_str(), "w");
    ASSERT_NE(text, nullptr);
    std::fputs("not a picture\n", text);
    std::fclose(text);
    // A good header over a damaged body (an unknown marker): only the full
    // decode finds it, and must come back too.
    std::vector<char> bytes(std::filesystem::file_size(dir + "/good.jpg"));
    std::ifstream((dir + "/good.jpg").c_str(), std::ios::binary).read(bytes.data(), bytes.size());
    bytes[bytes.size() / 2] = char(0xff);
    bytes[bytes.size() / 2 + 1] = char(0xa0);
    std::ofstream((dir + "/damaged.jpg").c_str(), std::ios::binary)
        .write(bytes.data(), bytes.size());
    EXPECT_EQ(HeightMapFileProblem((dir + "/good.jpg").c_str()), nullptr);
    EXPECT_EQ(HeightMapFileProblem((dir + "/damaged.jpg").c_str()), nullptr);
    for (const char* name : {"small.jpg", "grey.jpg", "text.jpg", "missing.jpg", "damaged.jpg"}) {
        const std::string path = dir + "/" + name;
        testing::internal::CaptureStderr();  // a file is named once a run, by whichever call comes
                                             // first
        if (path != dir + "/damaged.jpg") {
            EXPECT_NE(HeightMapFileProblem(path.c_str()), nullptr) << name;
        }
        EXPECT_FALSE(BuildTerrainListFromFile(path.c_str(), 16, 2)) << name;
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(path), std::string::npos) << said;
    }
    std::filesystem::remove_all(dir);
}

TEST(LerpVec3Test, InterpolatesAndExtrapolatesPerComponent) {
    const float a[3] = {0.0f, 0.0f, 0.0f};
    const float b[3] = {2.0f, 4.0f, -6.0f};
    float out[3];
    EXPECT_EQ(LerpVec3(a, b, out, 0.5f), out);
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_EQ(out[1], 2.0f);
    EXPECT_EQ(out[2], -3.0f);
    LerpVec3(a, b, out, 2.0f);
    EXPECT_EQ(out[0], 4.0f);
    EXPECT_EQ(out[1], 8.0f);
    EXPECT_EQ(out[2], -12.0f);
    const float c[3] = {0.1f, -7.3f, 1e7f};
    LerpVec3(c, b, out, 0.0f);
    EXPECT_EQ(out[0], c[0]);
    EXPECT_EQ(out[1], c[1]);
    EXPECT_EQ(out[2], c[2]);
}

TEST(LerpVec3Test, RoundsEveryStepToSinglePrecision) {
    // Kept in double (or fused), the same formula gives -73.7256699 here.
    const float a[3] = {-62.7479591f, 0.0f, 0.0f};
    const float b[3] = {-22.4178467f, 0.0f, 0.0f};
    float out[3];
    LerpVec3(a, b, out, -0.272196293f);
    EXPECT_EQ(out[0], -73.7256622f);
}
