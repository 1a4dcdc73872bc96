// The bitmap font: descriptor parsing by fixed character positions, text
// layout in font units and drawing as one batch of textured quads.
#include "resources/font.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <GL/gl.h>

#include "resources/data_path.h"

BitmapFontRecord BitmapFont;
GlyphQuad* TextLayoutQuads = nullptr;
int32_t TextLayoutCount = 0;
static int32_t TextLayoutCursor = 0;  // next quad DrawFontText emits

// A line's kind is told by three characters at fixed positions; a shorter
// line never matches.
static bool LineKindIs(const char* line, size_t length, int a, char ca, int b, char cb, int c,
                       char cc) {
    return length > size_t(c) && line[a] == ca && line[b] == cb && line[c] == cc;
}

static void ParseInfoLine(const char* line) {
    char face[256] = "";
    int32_t size = BitmapFont.size;
    sscanf(line, "info face=\"%255[^\"]\" size=%d", face, &size);
    free(BitmapFont.face);
    BitmapFont.face = strdup(face);
    BitmapFont.size = size;
}

static void ParseCommonLine(const char* line) {
    sscanf(line, "common lineHeight=%d base=%d scaleW=%d scaleH=%d", &BitmapFont.lineHeight,
           &BitmapFont.base, &BitmapFont.scaleW, &BitmapFont.scaleH);
}

static void ParseCharsLine(const char* line) {
    sscanf(line, "chars count=%d", &BitmapFont.count);
    free(BitmapFont.glyphs);
    BitmapFont.glyphs = static_cast<GlyphRecord*>(calloc(256, sizeof(GlyphRecord)));
}

// Sums in double: the file's integers may be anything, the result is a float.
static float TexCoord(int32_t a, int32_t b, int32_t extent) {
    return float(double(a) + double(b)) / float(extent);
}

static void ParseCharLine(const char* line) {
    GlyphRecord g = {};
    sscanf(line, "char id=%d x=%d y=%d width=%d height=%d xoffset=%d yoffset=%d xadvance=%d", &g.id,
           &g.x, &g.y, &g.width, &g.height, &g.xoffset, &g.yoffset, &g.xadvance);
    if (BitmapFont.glyphs == nullptr || g.id < 0 || g.id > 255) {
        return;  // no chars line yet, or a code the table cannot hold
    }
    g.s0 = TexCoord(g.x, 0, BitmapFont.scaleW);
    g.t0 = TexCoord(g.y, 0, BitmapFont.scaleH);
    g.s1 = TexCoord(g.x, g.width, BitmapFont.scaleW);
    g.t1 = TexCoord(g.y, g.height, BitmapFont.scaleH);
    BitmapFont.glyphs[g.id] = g;
}

static void ParseFontLine(const char* line) {
    size_t length = strlen(line);
    if (LineKindIs(line, length, 0, 'i', 3, 'o', 5, 'f')) {
        ParseInfoLine(line);
    } else if (LineKindIs(line, length, 0, 'c', 3, 'm', 5, 'n')) {
        ParseCommonLine(line);
    } else if (LineKindIs(line, length, 0, 'c', 4, 's', 6, 'c')) {
        ParseCharsLine(line);
    } else if (LineKindIs(line, length, 0, 'c', 4, ' ', 5, 'i')) {
        ParseCharLine(line);
    }
}

// Forgets an earlier descriptor; the caller's scale stays.
static void ResetBitmapFont() {
    free(BitmapFont.face);
    free(BitmapFont.glyphs);
    float scale = BitmapFont.scale;
    BitmapFont = BitmapFontRecord();
    BitmapFont.scale = scale;
}

bool ParseFontDescriptor(FILE* file) {
    ResetBitmapFont();
    if (file != nullptr) {
        char line[511];  // a longer line arrives in pieces, each parsed as a line
        while (fgets(line, sizeof line, file) != nullptr) {
            ParseFontLine(line);
        }
        fclose(file);
    }
    // Without a chars line every text simply draws nothing.
    if (BitmapFont.glyphs == nullptr) {
        BitmapFont.glyphs = static_cast<GlyphRecord*>(calloc(256, sizeof(GlyphRecord)));
    }
    return true;
}

// What makes a parsed descriptor useless for the credits, or null.
static const char* FontProblem() {
    if (BitmapFont.count <= 0) {
        return "no chars line with a count; texts draw nothing";
    }
    if (BitmapFont.size <= 0 || BitmapFont.scaleW <= 0 || BitmapFont.scaleH <= 0) {
        return "no positive size and atlas size in its info and common lines; texts draw wrong";
    }
    for (int code = 1; code < 256; ++code) {
        if (BitmapFont.glyphs[code].id != 0) {
            return nullptr;
        }
    }
    return "no char line with an id from 1 to 255; texts draw nothing";
}

bool LoadFontDescriptorFrom(const char* path) {
    FILE* file = OpenDataFile(path, "r");
    bool parsed = ParseFontDescriptor(file);
    const char* problem = file != nullptr ? FontProblem() : nullptr;
    if (problem != nullptr) {
        ReportUnusableFile(path, problem);
    }
    return parsed;
}

bool LoadFontDescriptor() {
    return LoadFontDescriptorFrom(DataPath("font.fnt").c_str());
}

static const GlyphRecord* FindGlyph(const BitmapFontRecord* font, unsigned char code) {
    if (font->glyphs == nullptr || font->glyphs[code].id == 0) {
        return nullptr;
    }
    return &font->glyphs[code];
}

static int32_t CountGlyphs(const BitmapFontRecord* font, const unsigned char* text) {
    int32_t count = 0;
    for (; *text != 0; ++text) {
        count += FindGlyph(font, *text) != nullptr;
    }
    return count;
}

// Sums in 64 bits so that no descriptor value can overflow them.
static GlyphQuad PlaceGlyph(const BitmapFontRecord* font, const GlyphRecord* g, int64_t pen,
                            float ratio) {
    int64_t x0 = int64_t(g->xoffset) + pen;
    int64_t y0 = int64_t(g->yoffset) - font->base;
    int64_t x1 = x0 + g->width;
    int64_t y1 = y0 + g->height;
    return {float(x0) * ratio,
            float(y0) * ratio,
            float(x1) * ratio,
            float(y1) * ratio,
            g->s0,
            g->t0,
            g->s1,
            g->t1};
}

// Replaces the quad list by room for count quads (an empty text still gets a list).
static bool ResetTextLayout(int32_t count) {
    free(TextLayoutQuads);
    TextLayoutCount = 0;
    TextLayoutCursor = 0;
    TextLayoutQuads = static_cast<GlyphQuad*>(malloc(sizeof(GlyphQuad) * (count > 0 ? count : 1)));
    return TextLayoutQuads != nullptr;
}

bool LayoutText(BitmapFontRecord* font, const char* text) {
    if (text == nullptr) {
        return false;
    }
    const unsigned char* codes = reinterpret_cast<const unsigned char*>(text);
    if (!ResetTextLayout(CountGlyphs(font, codes))) {
        return false;
    }
    float ratio = font->scale / float(font->size);
    int64_t pen = 0;
    for (; *codes != 0; ++codes) {
        const GlyphRecord* glyph = FindGlyph(font, *codes);
        if (glyph != nullptr) {
            TextLayoutQuads[TextLayoutCount++] = PlaceGlyph(font, glyph, pen, ratio);
            pen += glyph->xadvance;
        }
    }
    return true;
}

void DrawFontText(const char* text) {
    if (!LayoutText(&BitmapFont, text)) {
        return;
    }
    glBegin(GL_QUADS);
    glNormal3f(0.0f, 0.0f, 1.0f);
    for (; TextLayoutCursor < TextLayoutCount; ++TextLayoutCursor) {
        const GlyphQuad& q = TextLayoutQuads[TextLayoutCursor];
        glTexCoord2f(q.s0, q.t0);
        glVertex3f(q.x0, q.y0, 0.0f);
        glTexCoord2f(q.s1, q.t0);
        glVertex3f(q.x1, q.y0, 0.0f);
        glTexCoord2f(q.s1, q.t1);
        glVertex3f(q.x1, q.y1, 0.0f);
        glTexCoord2f(q.s0, q.t1);
        glVertex3f(q.x0, q.y1, 0.0f);
    }
    glEnd();
}
