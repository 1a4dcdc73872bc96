// The bitmap font: descriptor parsing, text layout and drawing.
#pragma once

#include <cstdint>
#include <cstdio>

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
    float scale = 1.0f;             // drawing units per nominal size; set by the caller
    GlyphRecord* glyphs = nullptr;  // 256 entries by character code
};
extern BitmapFontRecord BitmapFont;

struct GlyphQuad {
    float x0, y0, x1, y1;  // drawing units
    float s0, t0, s1, t1;
};

// Parses font.fnt in DataDirectory into BitmapFont. Always true: a missing file, or
// char lines before any chars line, leave an empty glyph table.
bool LoadFontDescriptor();
// Parses a descriptor at any path into BitmapFont (LoadFontDescriptor uses font.fnt).
bool LoadFontDescriptorFrom(const char* path);
// The same from an open stream (closed here; null counts as a missing file).
bool ParseFontDescriptor(FILE* file);
// Lays text out left-aligned from the origin, baseline at y = 0, y down, in
// units of font->scale per nominal size. False for a null text.
bool LayoutText(BitmapFontRecord* font, const char* text);
// Lays text out with BitmapFont and draws it as one GL_QUADS batch at z = 0.
// The caller binds the atlas and sets colour, blending and scale.
void DrawFontText(const char* text);
// The quads of the latest LayoutText.
extern GlyphQuad* TextLayoutQuads;
extern int32_t TextLayoutCount;
