// The intro logo: "Norvale" in warm gradient letters with an outline, a
// glow and a line beneath, on a dark background. The loading screen fades
// it in with colour (b, b^2, b^3), so the warm parts rise first through red
// and orange and the cool glow arrives last.
#include <cmath>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "datagen.h"

namespace {

const int Canvas = 1024;
const int LogoW = 704;
const int LogoH = 512;
const Colour Background{10 / 255.0f, 11 / 255.0f, 22 / 255.0f};
const char* const Title = "Norvale";
const int TextSize = 116;
const int Tracking = 10;  // extra pixels between letters
const int Baseline = 280;
const int LineY = 324;

int TitleWidth(FT_Face face) {
    int width = 0;
    for (const char* c = Title; *c; ++c) {
        FT_Load_Char(face, FT_ULong(*c), FT_LOAD_DEFAULT);
        width += int(face->glyph->advance.x >> 6) + (c[1] ? Tracking : 0);
    }
    return width;
}

// Draws the title centred across the logo area, coverage 0..1.
void DrawTitle(FT_Face face, Field& mask) {
    int pen = (LogoW - TitleWidth(face)) / 2;
    for (const char* c = Title; *c; ++c) {
        FT_Load_Char(face, FT_ULong(*c), FT_LOAD_RENDER);
        const FT_Bitmap& bm = face->glyph->bitmap;
        int x0 = pen + face->glyph->bitmap_left, y0 = Baseline - face->glyph->bitmap_top;
        for (unsigned r = 0; r < bm.rows; ++r)
            for (unsigned k = 0; k < bm.width; ++k) {
                float& m = mask.v[size_t(y0 + r) * LogoW + x0 + k];
                m = std::fmax(m, bm.buffer[r * bm.pitch + k] / 255.0f);
            }
        pen += int(face->glyph->advance.x >> 6) + Tracking;
    }
}

bool RenderTitle(Field& mask) {
    return WithFontFace(LogoFontFile, TextSize, [&](FT_Face face) {
        DrawTitle(face, mask);
        return true;
    });
}

// The horizontal extent of the letters, for the line beneath.
void InkSpan(const Field& mask, int& left, int& right) {
    left = LogoW;
    right = 0;
    for (int y = 0; y < LogoH; ++y)
        for (int x = 0; x < LogoW; ++x)
            if (mask.v[size_t(y) * LogoW + x] > 0.5f) {
                left = x < left ? x : left;
                right = x > right ? x : right;
            }
}

// A thin line under the title, tapering at both ends, with a small diamond in the middle.
Field RenderLine(int left, int right) {
    Field line = MakeField(LogoW, LogoH);
    float centre = 0.5f * (left + right), half = 0.5f * (right - left) * 0.92f;
    for (int y = LineY - 12; y <= LineY + 12; ++y)
        for (int x = 0; x < LogoW; ++x) {
            float along = std::fabs(x + 0.5f - centre) / half;
            float taper = 1.0f - SmoothStep(0.35f, 1.0f, along);
            float thick = 1.2f + 1.3f * taper;
            float d = std::fabs(y + 0.5f - LineY);
            float v = Clamp01(thick - d) * taper;
            float diamond =
                Clamp01(7.0f - (std::fabs(x + 0.5f - centre) + std::fabs(y + 0.5f - LineY)));
            line.v[size_t(y) * LogoW + x] = std::fmax(v, diamond);
        }
    return line;
}

Field Blurred(const Field& f, int radius, int passes) {
    Field b = f;
    for (int i = 0; i < passes; ++i) b = BoxBlur(b, radius);
    return b;
}

// Vertical gradient of the letters: cream at the top, gold, copper below.
Colour LetterColour(float t) {
    Colour top{1.0f, 0.97f, 0.86f}, mid{1.0f, 0.74f, 0.28f}, low{0.78f, 0.30f, 0.10f};
    return t < 0.45f ? MixColour(top, mid, t / 0.45f) : MixColour(mid, low, (t - 0.45f) / 0.55f);
}

Colour Over(Colour under, Colour over, float alpha) {
    return MixColour(under, over, Clamp01(alpha));
}

Colour Add(Colour a, Colour b, float k) {
    return {a.r + b.r * k, a.g + b.g * k, a.b + b.b * k};
}

// A faint backlight behind the title, exactly the background at the logo's edges.
float Backlight(int x, int y) {
    float dx = (x + 0.5f - LogoW * 0.5f) / (LogoW * 0.45f);
    float dy = (y + 0.5f - Baseline + 30.0f) / (LogoH * 0.32f);
    return 1.0f - SmoothStep(0.0f, 1.0f, std::sqrt(dx * dx + dy * dy));
}

struct LogoLayers {
    Field letters, line, outline, glowNear, glowFar, bevel;
    int capTop, capBottom;
};

Colour ShadeLogo(const LogoLayers& l, int x, int y) {
    size_t i = size_t(y) * LogoW + x;
    Colour c = Add(Background, {0.16f, 0.10f, 0.22f}, 0.35f * Backlight(x, y));
    c = Add(c, {0.25f, 0.45f, 1.0f}, 0.55f * l.glowFar.v[i]);
    c = Add(c, {1.0f, 0.55f, 0.18f}, 0.9f * l.glowNear.v[i]);
    c = Over(c, {0.06f, 0.03f, 0.02f}, l.outline.v[i] * 0.95f);
    float t = Clamp01((y - l.capTop) / float(l.capBottom - l.capTop));
    Colour fill = LetterColour(t);
    float lightness = 1.0f + 0.35f * l.bevel.v[i];
    fill = {fill.r * lightness, fill.g * lightness, fill.b * lightness};
    c = Over(c, fill, l.letters.v[i]);
    return Over(c, {1.0f, 0.88f, 0.6f}, l.line.v[i]);
}

// Light from the upper left on the blurred letter shapes: a soft bevel.
Field Bevel(const Field& letters) {
    Field soft = Blurred(letters, 2, 2), b = MakeField(LogoW, LogoH);
    for (int y = 1; y < LogoH - 1; ++y)
        for (int x = 1; x < LogoW - 1; ++x) {
            float gx = FieldAt(soft, x + 1, y) - FieldAt(soft, x - 1, y);
            float gy = FieldAt(soft, x, y + 1) - FieldAt(soft, x, y - 1);
            b.v[size_t(y) * LogoW + x] = -(gx + gy) * 1.5f;
        }
    return b;
}

bool BuildLayers(LogoLayers& l) {
    l.letters = MakeField(LogoW, LogoH);
    if (!RenderTitle(l.letters))
        return false;
    int left, right;
    InkSpan(l.letters, left, right);
    l.line = RenderLine(left, right);
    Field shapes = l.letters;
    for (size_t i = 0; i < shapes.v.size(); ++i) shapes.v[i] = std::fmax(shapes.v[i], l.line.v[i]);
    l.outline = Blurred(shapes, 2, 2);
    for (float& v : l.outline.v) v = Clamp01(v * 4.0f);
    l.glowNear = Blurred(shapes, 7, 3);
    l.glowFar = Blurred(shapes, 22, 3);
    for (float& v : l.glowFar.v) v = Clamp01(v * 1.6f);
    l.bevel = Bevel(l.letters);
    l.capTop = Baseline - int(TextSize * 0.73f);
    l.capBottom = Baseline;
    return true;
}

}  // namespace

bool WriteLogo(const std::string& path) {
    LogoLayers layers;
    if (!BuildLayers(layers))
        return false;
    Picture p = MakePicture(Canvas, Canvas);
    for (int y = 0; y < Canvas; ++y)
        for (int x = 0; x < Canvas; ++x) {
            bool inLogo = x < LogoW && y < LogoH;
            PutPixel(p, x, y, inLogo ? ShadeLogo(layers, x, y) : Background);
        }
    return WriteTgaRle(path, p);
}
