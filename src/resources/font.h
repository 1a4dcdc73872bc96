// The bitmap font: descriptor parsing, text layout and drawing.
#pragma once

#include <cstdint>

struct GlyphRecord {
    int32_t id, x, y, width, height, xoffset, yoffset, xadvance;  // atlas pixels
    float s0, t0, s1, t1;                                         // texture rectangle
};

struct BitmapFontRecord {
    char* face = nullptr;
    int32_t size = 0;  // nominal size in atlas pixels
    int32_t lineHeight = 0;
    int32_t base = 0;
    int32_t count = 0;
    int32_t scaleW = 0;
    int32_t scaleH = 0;
    float scale = 1.0f;  // drawing units per nominal size; set by the caller
    GlyphRecord* glyphs = nullptr;  // 256 entries by character code
};
extern BitmapFontRecord BitmapFont;

struct GlyphQuad {
    float x0, y0, x1, y1;  // drawing units
    float s0, t0, s1, t1;
};

bool LoadFontDescriptor();
// Parses a descriptor at any path into BitmapFont (LoadFontDescriptor uses "data/font.fnt").
bool LoadFontDescriptorFrom(const char* path);
bool LayoutText(BitmapFontRecord* font, const char* text);
void DrawFontText(const char* text);
// The quads of the latest LayoutText.
extern GlyphQuad* TextLayoutQuads;
extern int32_t TextLayoutCount;
