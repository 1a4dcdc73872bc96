// The font atlas and its descriptor: white antialiased glyphs with a soft
// grey halo on black, rendered with FreeType and packed row by row with
// padding.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "datagen.h"

namespace {

const int AtlasSize = 1024;
const int NominalSize = 64;
// Glyphs are drawn smaller than the nominal size: a greeting's tallest
// letter and its halo then stay well inside the 2-unit row step (one nominal
// size is 2 units), so neighbouring rows keep a gap.
const int GlyphPixels = 50;
// The greetings darken what lies behind them; a dark halo around each
// letter too, so the fan's lines stop short of the strokes and the glow,
// made from a tiny copy of the frame, has less light to spill into them.
// The halo is as strong as the letter for its first HaloSolid pixels: the
// closing scene doubles the frame after the names are drawn, so a texel
// below about half darkens a bright fan not at all, and at the size the
// names are drawn a thin full-strength rim averages down to half.
const int HaloRadius = 4;
const float HaloSolid = 2.0f;
const float HaloLevel = 1.0f;
const int Padding = HaloRadius + 1;  // blank border inside each glyph's rectangle
const int Spacing = 2;               // extra gap between rectangles, so mipmaps don't bleed

struct AtlasGlyph {
    int id, x, y, width, height, xoffset, yoffset, xadvance;
};

struct Atlas {
    Picture picture;
    std::vector<AtlasGlyph> glyphs;
    std::string face;
    int lineHeight = 0;
    int base = 0;
};

std::vector<int> CharacterCodes() {
    std::vector<int> codes;
    for (int c = 32; c <= 126; ++c) codes.push_back(c);
    for (int c = 160; c <= 255; ++c) codes.push_back(c);
    return codes;
}

// CoverEdge of the rendered bitmap at (c, r), 0 outside it.
int CoverEdge(const FT_Bitmap& bm, int c, int r) {
    if (c < 0 || r < 0 || c >= int(bm.width) || r >= int(bm.rows))
        return 0;
    return bm.buffer[r * bm.pitch + c];
}

// The glyph and its halo at (c, r) of the bitmap: the coverage, or the halo
// falling off with the distance to the nearest covered pixel.
uint8_t ReadGlyphTexel(const FT_Bitmap& bm, int c, int r) {
    float v = CoverEdge(bm, c, r);
    for (int dy = -HaloRadius; dy <= HaloRadius; ++dy)
        for (int dx = -HaloRadius; dx <= HaloRadius; ++dx) {
            float d = std::hypot(float(dx), float(dy));
            float fall = std::min(1.0f, (HaloRadius + 1 - d) / (HaloRadius + 1 - HaloSolid));
            if (fall > 0.0f)
                v = std::max(v, HaloLevel * fall * CoverEdge(bm, c + dx, r + dy));
        }
    return uint8_t(v + 0.5f);
}

// Draws the glyph with its halo into the atlas; (x, y) is the rectangle's
// corner, the bitmap lies Padding inside it.
void Blit(Picture& atlas, const FT_Bitmap& bm, int x, int y) {
    for (int r = -HaloRadius; r < int(bm.rows) + HaloRadius; ++r)
        for (int c = -HaloRadius; c < int(bm.width) + HaloRadius; ++c) {
            uint8_t* px = &atlas.rgb[(size_t(y + Padding + r) * atlas.width + x + Padding + c) * 3];
            px[0] = px[1] = px[2] = ReadGlyphTexel(bm, c, r);
        }
}

// Shelf packing in character order: deterministic and tight enough.
bool Pack(FT_Face face, Atlas& atlas) {
    int penX = Spacing, penY = Spacing, shelf = 0;
    for (int code : CharacterCodes()) {
        if (FT_Load_Char(face, FT_ULong(code), FT_LOAD_RENDER))
            return false;
        FT_GlyphSlot g = face->glyph;
        int w = int(g->bitmap.width) + 2 * Padding, h = int(g->bitmap.rows) + 2 * Padding;
        if (penX + w + Spacing > AtlasSize) {
            penX = Spacing;
            penY += shelf + Spacing;
            shelf = 0;
        }
        if (penY + h + Spacing > AtlasSize)
            return false;
        Blit(atlas.picture, g->bitmap, penX, penY);
        int advance = int((g->advance.x + 32) >> 6);
        atlas.glyphs.push_back({code, penX, penY, w, h, g->bitmap_left - Padding,
                                atlas.base - g->bitmap_top - Padding, advance});
        penX += w + Spacing;
        shelf = h > shelf ? h : shelf;
    }
    return true;
}

bool BuildAtlas(Atlas& atlas) {
    return WithFontFace(AtlasFontFile, GlyphPixels, [&](FT_Face face) {
        atlas.face = std::string(face->family_name) + " " + face->style_name;
        atlas.lineHeight = int((face->size->metrics.height + 32) >> 6);
        atlas.base = int((face->size->metrics.ascender + 32) >> 6);
        atlas.picture = MakePicture(AtlasSize, AtlasSize);
        return Pack(face, atlas);
    });
}

bool WriteDescriptor(const std::string& path, const Atlas& atlas) {
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f)
        return false;
    std::fprintf(f,
                 "info face=\"%s\" size=%d bold=1 italic=0 charset=\"ISO-8859-1\" "
                 "unicode=0 stretchH=100 smooth=1 aa=1 padding=%d,%d,%d,%d spacing=%d,%d\n",
                 atlas.face.c_str(), NominalSize, Padding, Padding, Padding, Padding, Spacing,
                 Spacing);
    std::fprintf(f, "common lineHeight=%d base=%d scaleW=%d scaleH=%d pages=1 packed=0\n",
                 atlas.lineHeight, atlas.base, AtlasSize, AtlasSize);
    std::fprintf(f, "page id=0 file=\"font.jpg\"\n");
    std::fprintf(f, "chars count=%d\n", int(atlas.glyphs.size()));
    for (const AtlasGlyph& g : atlas.glyphs)
        std::fprintf(f,
                     "char id=%d x=%d y=%d width=%d height=%d xoffset=%d yoffset=%d xadvance=%d "
                     "page=0 chnl=15\n",
                     g.id, g.x, g.y, g.width, g.height, g.xoffset, g.yoffset, g.xadvance);
    return std::fclose(f) == 0;
}

}  // namespace

namespace {

// One FreeType library for the run: started by the first face, released at
// exit. Only the thread that makes the font and the logo uses it.
FT_Library FontLibrary = nullptr;

bool StartFreeType() {
    static const bool started = [] {
        if (FT_Init_FreeType(&FontLibrary))
            return false;
        std::atexit([] { FT_Done_FreeType(FontLibrary); });
        return true;
    }();
    return started;
}

}  // namespace

bool WithFontFace(const char* file, int pixelSize, const std::function<bool(FT_Face)>& use) {
    FT_Face face;
    if (!StartFreeType() || FT_New_Face(FontLibrary, file, 0, &face) != 0)
        return false;
    bool ok = FT_Set_Pixel_Sizes(face, 0, FT_UInt(pixelSize)) == 0 && use(face);
    FT_Done_Face(face);
    return ok;
}

bool WriteFont(const std::string& jpegPath, const std::string& fntPath) {
    Atlas atlas;
    if (!BuildAtlas(atlas))
        return false;
    return WriteJpeg(jpegPath, atlas.picture, 92) && WriteDescriptor(fntPath, atlas);
}
