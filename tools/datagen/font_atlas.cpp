// The font atlas and its descriptor: white antialiased glyphs on black,
// rendered with FreeType and packed row by row with padding.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "datagen.h"

namespace {

const int AtlasSize = 1024;
const int NominalSize = 64;
const int Padding = 3;  // blank border inside each glyph's rectangle
const int Spacing = 2;  // extra gap between rectangles, so mipmaps don't bleed

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

// Copies the rendered bitmap into the atlas at the rectangle's inner corner.
void Blit(Picture& atlas, const FT_Bitmap& bm, int x, int y) {
    for (unsigned r = 0; r < bm.rows; ++r)
        for (unsigned c = 0; c < bm.width; ++c) {
            uint8_t v = bm.buffer[r * bm.pitch + c];
            uint8_t* px = &atlas.rgb[(size_t(y + r) * atlas.width + x + c) * 3];
            px[0] = px[1] = px[2] = v;
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
        Blit(atlas.picture, g->bitmap, penX + Padding, penY + Padding);
        int advance = int((g->advance.x + 32) >> 6);
        atlas.glyphs.push_back({code, penX, penY, w, h, g->bitmap_left - Padding,
                                atlas.base - g->bitmap_top - Padding, advance});
        penX += w + Spacing;
        shelf = h > shelf ? h : shelf;
    }
    return true;
}

bool BuildAtlas(Atlas& atlas) {
    return WithFontFace(AtlasFontFile, NominalSize, [&](FT_Face face) {
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
