// The generated data files: each decodes with the program's own loaders,
// tiling pictures tile, the sprites and mask mean what the blend modes
// need, the camera paths clear the terrain, and generation is repeatable.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "resources/font.h"
#include "resources/images.h"
#include "resources/tga.h"
#include "scenes/scenes.h"

namespace {

const std::string DataFolder = std::string(NORVALE_SOURCE_DIR) + "/data/";

const char* const AllDataFiles[] = {"font.jpg",     "font.fnt",          "heightmaptex.jpg",
                                    "flare.jpg",    "dot.jpg",           "heightmaptexnight.jpg",
                                    "skystars.jpg", "lightfx.jpg",       "boxed.jpg",
                                    "glowmap.jpg",  "detail.jpg",        "heightmap.jpg",
                                    "logo.tga",     "introeffectmx.mp3", "preview_kovi.mp3"};

struct Decoded {
    ImageRecord image;
    Decoded() = default;
    Decoded(const Decoded&) = delete;
    ~Decoded() { free(image.pixels); }
    int At(int x, int y, int c) const {
        return image.pixels[(size_t(y) * image.width + x) * 3 + c];
    }
};

// True when the file decodes to a 24-bit picture; callers stop otherwise.
bool LoadJpeg(const std::string& name, Decoded& d) {
    bool ok = LoadJpegImage((DataFolder + name).c_str(), &d.image) && d.image.bitsPerPixel == 24;
    EXPECT_TRUE(ok) << name << " does not decode to 24 bits per pixel";
    return ok;
}

bool PowerOfTwo(int v) {
    return v > 0 && (v & (v - 1)) == 0;
}

TEST(DataFiles, EveryJpegDecodesAt24BitsWithPowerOfTwoSides) {
    struct Expected {
        const char* name;
        int size;  // 0: any power of two
    } files[] = {{"font.jpg", 0},
                 {"heightmaptex.jpg", 1024},
                 {"flare.jpg", 0},
                 {"dot.jpg", 0},
                 {"heightmaptexnight.jpg", 1024},
                 {"skystars.jpg", 0},
                 {"lightfx.jpg", 0},
                 {"boxed.jpg", 0},
                 {"glowmap.jpg", 0},
                 {"detail.jpg", 256},
                 {"heightmap.jpg", 256}};
    for (const Expected& e : files) {
        Decoded d;
        ASSERT_TRUE(LoadJpeg(e.name, d));
        EXPECT_TRUE(PowerOfTwo(d.image.width) && PowerOfTwo(d.image.height)) << e.name;
        if (e.size) {
            EXPECT_EQ(d.image.width, e.size) << e.name;
            EXPECT_EQ(d.image.height, e.size) << e.name;
        }
    }
}

// Mean absolute difference of all channels between column a and column b.
double ColumnDifference(const Decoded& d, int a, int b) {
    double sum = 0.0;
    for (int y = 0; y < d.image.height; ++y)
        for (int c = 0; c < 3; ++c) sum += std::abs(d.At(a, y, c) - d.At(b, y, c));
    return sum / (3.0 * d.image.height);
}

double RowDifference(const Decoded& d, int a, int b) {
    double sum = 0.0;
    for (int x = 0; x < d.image.width; ++x)
        for (int c = 0; c < 3; ++c) sum += std::abs(d.At(x, a, c) - d.At(x, b, c));
    return sum / (3.0 * d.image.width);
}

TEST(DataFiles, TilingPicturesJoinWithoutASeam) {
    for (const char* name : {"heightmap.jpg", "heightmaptex.jpg", "heightmaptexnight.jpg",
                             "detail.jpg", "skystars.jpg"}) {
        Decoded d;
        ASSERT_TRUE(LoadJpeg(name, d));
        int w = d.image.width, h = d.image.height;
        // The wrap lies on a 16-pixel block boundary of the JPEG, so compare
        // it with the other block boundaries.
        double inside = 0.0, insideRows = 0.0;
        for (int x = 15; x + 1 < w; x += 16) inside += ColumnDifference(d, x, x + 1);
        for (int y = 15; y + 1 < h; y += 16) insideRows += RowDifference(d, y, y + 1);
        inside /= (w / 16 - 1);
        insideRows /= (h / 16 - 1);
        EXPECT_LE(ColumnDifference(d, w - 1, 0), 1.5 * inside + 0.5) << name;
        EXPECT_LE(RowDifference(d, h - 1, 0), 1.5 * insideRows + 0.5) << name;
    }
}

double Mean(const Decoded& d) {
    double sum = 0.0;
    for (int i = 0; i < d.image.width * d.image.height * 3; ++i) sum += d.image.pixels[i];
    return sum / (3.0 * d.image.width * d.image.height);
}

TEST(DataFiles, DetailIsGreyAroundMidGreySoItLeavesTheTerrainUnchanged) {
    Decoded d;
    ASSERT_TRUE(LoadJpeg("detail.jpg", d));
    EXPECT_NEAR(Mean(d), 128.0, 2.0);
    int spread = 0;
    for (int i = 0; i < d.image.width * d.image.height; ++i) {
        const unsigned char* p = d.image.pixels + i * 3;
        EXPECT_LE(std::abs(p[0] - p[2]), 6) << "not grey at pixel " << i;
        spread = std::max(spread, std::abs(p[0] - 128));
        if (std::abs(p[0] - p[2]) > 6)
            break;
    }
    EXPECT_GT(spread, 20) << "no visible detail";
}

double RowMean(const Decoded& d, int y) {
    double sum = 0.0;
    for (int x = 0; x < d.image.width; ++x) sum += d.At(x, y, 0) + d.At(x, y, 1) + d.At(x, y, 2);
    return sum / (3.0 * d.image.width);
}

TEST(DataFiles, MaskShowsThePictureInTheMiddleAndLetterboxesTopAndBottom) {
    Decoded d;
    ASSERT_TRUE(LoadJpeg("boxed.jpg", d));
    int w = d.image.width, h = d.image.height;
    // Below white, so the day skies' horizon does not clip after the grade
    // and glow, and not so far that the night scenes sink.
    int middle = (d.At(w / 2, h / 2, 0) + d.At(w / 2, h / 2, 1) + d.At(w / 2, h / 2, 2)) / 3;
    EXPECT_GE(middle, 160);
    EXPECT_LE(middle, 200);
    // Cool above, neutral at the bottom: the ground's colours stay as drawn.
    EXPECT_GT(d.At(w / 2, h / 4, 2), d.At(w / 2, h / 4, 0) + 20);
    EXPECT_NEAR(d.At(w / 2, h * 4 / 5, 2), d.At(w / 2, h * 4 / 5, 0), 3);
    EXPECT_LT(RowMean(d, 0), 8.0);
    EXPECT_LT(RowMean(d, h - 1), 8.0);
    EXPECT_LT(RowMean(d, h * 6 / 100), 8.0);     // the band is several percent tall
    EXPECT_GT(RowMean(d, h / 4), 0.8 * middle);  // a gentle vignette, not a dark frame
    EXPECT_GT(RowMean(d, h * 3 / 4), 0.8 * middle);
}

double BorderMax(const Decoded& d) {
    int w = d.image.width, h = d.image.height, m = 0;
    for (int i = 0; i < w; ++i)
        for (int c = 0; c < 3; ++c)
            m = std::max(
                {m, d.At(i, 0, c), d.At(i, h - 1, c), d.At(0, i % h, c), d.At(w - 1, i % h, c)});
    return m;
}

TEST(DataFiles, AddedSpritesAreBrightInTheMiddleAndBlackAtTheirEdges) {
    for (const char* name : {"flare.jpg", "dot.jpg", "lightfx.jpg"}) {
        Decoded d;
        ASSERT_TRUE(LoadJpeg(name, d));
        EXPECT_LE(BorderMax(d), 4) << name << ": the quad's edge would show";
        int x = d.image.width / 2, y = d.image.height / 2;
        EXPECT_GE(std::max({d.At(x, y, 0), d.At(x, y, 1), d.At(x, y, 2)}), 200) << name;
    }
    // The lattice shell's sprite: a wide core.
    Decoded flare;
    ASSERT_TRUE(LoadJpeg("flare.jpg", flare));
    EXPECT_GE(Mean(flare), 36.0) << "the shell's squares are only a few pixels wide";
    Decoded stars;
    ASSERT_TRUE(LoadJpeg("skystars.jpg", stars));
    EXPECT_LT(Mean(stars), 24.0) << "the star box is added: its background must stay dark";
}

std::vector<unsigned char> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

TEST(DataFiles, LogoIsRunLengthTopFirstWithItsBackgroundAroundTheLogo) {
    std::vector<unsigned char> raw = ReadBytes(DataFolder + "logo.tga");
    ASSERT_GE(raw.size(), 18u);
    EXPECT_EQ(raw[2], 10);
    EXPECT_EQ(raw[16], 24);
    EXPECT_EQ(raw[17] & 0x20, 0x20);
    Decoded d;
    LoadTgaImage((DataFolder + "logo.tga").c_str(), &d.image);
    ASSERT_NE(d.image.pixels, nullptr);
    ASSERT_EQ(d.image.width, 1024);
    ASSERT_EQ(d.image.height, 1024);
    ASSERT_EQ(d.image.bitsPerPixel, 24);
    // The loading screen stretches texels 10..20 over the whole screen; the
    // logo's own edges must have that colour or its rectangle shows.
    int bg[3] = {d.At(10, 10, 0), d.At(10, 10, 1), d.At(10, 10, 2)};
    EXPECT_LT(bg[0] + bg[1] + bg[2], 90) << "a dark background for the fade from black";
    auto isBackground = [&](int x, int y) {
        return d.At(x, y, 0) == bg[0] && d.At(x, y, 1) == bg[1] && d.At(x, y, 2) == bg[2];
    };
    for (int i = 10; i <= 20; ++i)
        for (int j = 10; j <= 20; ++j) EXPECT_TRUE(isBackground(i, j));
    for (int x = 0; x < 704; ++x) EXPECT_TRUE(isBackground(x, 0) && isBackground(x, 511)) << x;
    for (int y = 0; y < 512; ++y) EXPECT_TRUE(isBackground(0, y) && isBackground(703, y)) << y;
    int bright = 0;
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 704; ++x) bright += d.At(x, y, 0) > 220 && d.At(x, y, 1) > 150;
    EXPECT_GT(bright, 5000) << "the letters are missing";
}

TEST(DataFiles, FontDescriptorHasEveryCharacterInsideTheAtlas) {
    ASSERT_TRUE(LoadFontDescriptorFrom((DataFolder + "font.fnt").c_str()));
    Decoded atlas;
    ASSERT_TRUE(LoadJpeg("font.jpg", atlas));
    EXPECT_EQ(BitmapFont.scaleW, atlas.image.width);
    EXPECT_EQ(BitmapFont.scaleH, atlas.image.height);
    EXPECT_GE(BitmapFont.size, 48);
    EXPECT_LE(BitmapFont.size, 64);
    EXPECT_GT(BitmapFont.base, 0);
    ASSERT_NE(BitmapFont.glyphs, nullptr);
    for (int code = 0; code < 256; ++code) {
        bool wanted = (code >= 32 && code <= 126) || code >= 160;
        const GlyphRecord& g = BitmapFont.glyphs[code];
        EXPECT_EQ(g.id != 0, wanted) << code;
        if (!wanted)
            continue;
        EXPECT_TRUE(g.x >= 0 && g.y >= 0 && g.x + g.width <= atlas.image.width &&
                    g.y + g.height <= atlas.image.height)
            << code;
        EXPECT_GT(g.xadvance, 0) << code;
    }
    std::vector<const char*> texts(GreetingNames, GreetingNames + GreetingCount);
    for (const CreditLine& line : CreditLines) texts.push_back(line.text);
    for (const char* text : texts)
        for (const char* c = text; c && *c; ++c)
            EXPECT_NE(BitmapFont.glyphs[static_cast<unsigned char>(*c)].id, 0) << text;
}

// Sum of the atlas inside a glyph's rectangle, and its brightest texel on the rectangle's edge.
void GlyphInk(const Decoded& atlas, const GlyphRecord& g, double& ink, int& edge) {
    ink = 0.0;
    edge = 0;
    for (int y = g.y; y < g.y + g.height; ++y)
        for (int x = g.x; x < g.x + g.width; ++x) {
            int v = atlas.At(x, y, 0);
            ink += v;
            if (x == g.x || y == g.y || x == g.x + g.width - 1 || y == g.y + g.height - 1)
                edge = std::max(edge, v);
        }
}

TEST(DataFiles, FontRectanglesHoldTheirGlyphsWithABlankBorder) {
    ASSERT_TRUE(LoadFontDescriptorFrom((DataFolder + "font.fnt").c_str()));
    Decoded atlas;
    ASSERT_TRUE(LoadJpeg("font.jpg", atlas));
    for (int code : {int('A'), int('g'), int('W'), int('0'), int('@'), 0xC4, 0xE9, 0xDF, 0xFF}) {
        const GlyphRecord& g = BitmapFont.glyphs[code];
        double ink;
        int edge;
        GlyphInk(atlas, g, ink, edge);
        EXPECT_GT(ink / (g.width * g.height), 30.0) << code;
        EXPECT_LE(edge, 24) << code << ": glyph touches its rectangle, mipmaps would bleed";
    }
    // Rectangles must not overlap, or one glyph shows a piece of another.
    for (int a = 32; a < 256; ++a)
        for (int b = a + 1; b < 256; ++b) {
            const GlyphRecord &p = BitmapFont.glyphs[a], &q = BitmapFont.glyphs[b];
            if (!p.id || !q.id)
                continue;
            bool apart = p.x + p.width <= q.x || q.x + q.width <= p.x || p.y + p.height <= q.y ||
                         q.y + q.height <= p.y;
            EXPECT_TRUE(apart) << a << " and " << b;
        }
}

TEST(DataFiles, FontDescriptorLinesComeInTheExpectedOrder) {
    std::ifstream in(DataFolder + "font.fnt");
    std::vector<std::string> kinds;
    std::string line;
    while (std::getline(in, line)) {
        std::string kind = line.substr(0, line.find(' '));
        if (kinds.empty() || kinds.back() != kind)
            kinds.push_back(kind);
    }
    EXPECT_EQ(kinds, (std::vector<std::string>{"info", "common", "page", "chars", "char"}));
}

// Terrain surface height in world units at a world position, as the tiles
// lay the height map out: 8 pixels per unit, pixel 128 at the origin.
float SurfaceHeight(const Decoded& map, float x, float z) {
    float c = 128.0f + 8.0f * x, r = 128.0f + 8.0f * z;
    int c0 = int(std::floor(c)), r0 = int(std::floor(r));
    float fc = c - c0, fr = r - r0, h = 0.0f;
    for (int k = 0; k < 4; ++k) {
        int dc = k & 1, dr = k >> 1;
        float w = (dc ? fc : 1 - fc) * (dr ? fr : 1 - fr);
        h += w * map.At((c0 + dc) & 255, (r0 + dr) & 255, 0);
    }
    return h / 32.0f - 1.25f;
}

TEST(DataFiles, HeightMapUsesItsRangeAndLeavesRoomForTheCameraPaths) {
    Decoded map;
    ASSERT_TRUE(LoadJpeg("heightmap.jpg", map));
    int lo = 255, hi = 0;
    for (int i = 0; i < 256 * 256; ++i) {
        lo = std::min(lo, int(map.image.pixels[i * 3]));
        hi = std::max(hi, int(map.image.pixels[i * 3]));
    }
    EXPECT_GE(hi - lo, 200);
    // The scenes' own camera glides over the terrain: start and end (x, y, z).
    std::vector<std::pair<const float*, const float*>> paths;
    for (const auto& glide : OpeningGlides) paths.emplace_back(glide[0], glide[1]);
    for (const CameraMove& m : NightfallMoves) paths.emplace_back(m.fromPosition, m.toPosition);
    for (const CameraMove& m : NightMoves) paths.emplace_back(m.fromPosition, m.toPosition);
    for (const auto& p : paths)
        for (int i = 0; i <= 64; ++i) {
            float t = i / 64.0f;
            float x = p.first[0] + (p.second[0] - p.first[0]) * t;
            float y = p.first[1] + (p.second[1] - p.first[1]) * t;
            float z = p.first[2] + (p.second[2] - p.first[2]) * t;
            EXPECT_LT(SurfaceHeight(map, x, z), y - 0.4f)
                << "camera at " << x << "," << y << "," << z;
        }
    // Beside scene 2's first sweep no slope over the floor (64) folds into a knife edge.
    auto h = [&](int c, int r) { return std::max(64, int(map.At(c & 255, r & 255, 0))); };
    for (int r = 40; r <= 216; ++r)
        for (int c = 32; c <= 136; ++c)
            EXPECT_LE(4 * h(c, r) - h(c + 3, r) - h(c - 3, r) - h(c, r + 3) - h(c, r - 3), 32);
}

// A fresh directory under /tmp, removed with its content however the test ends.
struct TempDir {
    std::string path;
    TempDir() {
        char pattern[] = "/tmp/norvale-data-XXXXXX";
        const char* dir = mkdtemp(pattern);
        path = dir ? dir : "";
    }
    ~TempDir() {
        std::error_code ignored;  // a directory already gone is no failure here
        if (!path.empty())
            std::filesystem::remove_all(path, ignored);
    }
};

TEST(DataFiles, TwoRunsWriteTheSameBytes) {
    std::string gen = std::string(NORVALE_BINARY_DIR) + "/norvale-datagen";
    TempDir a, b;
    ASSERT_FALSE(a.path.empty() || b.path.empty());
    ASSERT_EQ(std::system((gen + " " + a.path).c_str()), 0);
    ASSERT_EQ(std::system((gen + " " + b.path).c_str()), 0);
    for (const char* name : AllDataFiles) {
        std::vector<unsigned char> first = ReadBytes(a.path + "/" + name);
        EXPECT_FALSE(first.empty()) << name;
        EXPECT_TRUE(first == ReadBytes(b.path + "/" + name)) << name;
    }
}

}  // namespace
