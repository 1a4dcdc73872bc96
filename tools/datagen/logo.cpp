// The intro logo: a striped setting sun behind a snow-rimmed mountain range,
// a horizon line, and "NORVALE" in wide chrome capitals beneath, on a dark
// background. The loading screen fades it in with colour (b, b^2, b^3): the
// sun, the rim and the letters carry full red, so the whole emblem already
// reads as a dark-red silhouette at the start; orange follows, and the white
// highlights and the cool glow arrive last.
#include <algorithm>
#include <cmath>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "datagen.h"

namespace {

const int Canvas = 1024;
const int LogoW = 704;
const int LogoH = 512;
const Colour Background{10 / 255.0f, 11 / 255.0f, 22 / 255.0f};
const char* const Title = "NORVALE";
const int TextSize = 96;
const int Tracking = 14;  // extra pixels between letters
const int Baseline = 432;
const float SunX = 352, SunY = 212, SunRadius = 128;
const int HorizonY = 318;
const int EdgeMargin = 24;  // glows fade to nothing this far inside the logo's edges

int TitleWidth(FT_Face face) {
    int width = 0;
    for (const char* c = Title; *c; ++c) {
        FT_Load_Char(face, FT_ULong(*c), FT_LOAD_DEFAULT);
        width += int(face->glyph->advance.x >> 6) + (c[1] ? Tracking : 0);
    }
    return width;
}

// Draws the title centred across the logo area, coverage 0..1.
bool DrawTitle(FT_Face face, Field& mask) {
    int pen = (LogoW - TitleWidth(face)) / 2;
    for (const char* c = Title; *c; ++c) {
        if (FT_Load_Char(face, FT_ULong(*c), FT_LOAD_RENDER))
            return false;
        const FT_Bitmap& bm = face->glyph->bitmap;
        int x0 = pen + face->glyph->bitmap_left, y0 = Baseline - face->glyph->bitmap_top;
        for (unsigned r = 0; r < bm.rows; ++r)
            for (unsigned k = 0; k < bm.width; ++k) {
                float& m = mask.v[size_t(y0 + r) * LogoW + x0 + k];
                m = std::fmax(m, bm.buffer[r * bm.pitch + k] / 255.0f);
            }
        pen += int(face->glyph->advance.x >> 6) + Tracking;
    }
    return true;
}

// Antialiased coverage of "inside" for a signed distance in pixels (negative inside).
float CoverEdge(float distance) {
    return Clamp01(0.5f - distance);
}

// The sun's lower half is cut by horizontal gaps that widen towards the horizon.
float SunCoverage(int x, int y) {
    float px = x + 0.5f, py = y + 0.5f;
    float disc = CoverEdge(std::hypot(px - SunX, py - SunY) - SunRadius) * CoverEdge(py - HorizonY);
    const float stripesFrom = SunY - 40.0f;
    float below = (py - stripesFrom) / (HorizonY - stripesFrom);
    if (below <= 0.0f)
        return disc;
    const float period = 16.0f;
    float phase = std::fmod(py - stripesFrom, period);
    float gap = 1.0f + 8.0f * below;
    return disc * (1.0f - CoverEdge(phase - gap));
}

// The ridge of the range: big peaks from a few fixed points, roughened by
// midpoint displacement, falling to the horizon at both ends.
float RidgeY(float x) {
    const float points[][2] = {{120, 318}, {180, 298}, {222, 270}, {262, 246},
                               {296, 268}, {332, 254}, {374, 222}, {418, 262},
                               {452, 250}, {506, 282}, {552, 300}, {590, 318}};
    const int count = sizeof points / sizeof points[0];
    if (x <= points[0][0] || x >= points[count - 1][0])
        return float(HorizonY);
    int i = 0;
    while (x > points[i + 1][0]) ++i;
    float t = (x - points[i][0]) / (points[i + 1][0] - points[i][0]);
    float y = Mix(points[i][1], points[i + 1][1], t);
    // Jagged detail: a sum of small tent waves, fixed by hashing.
    float jag = 0.0f, scale = 9.0f;
    for (int octave = 0; octave < 4; ++octave, scale *= 0.5f) {
        float cell = 24.0f / float(1 << octave);
        int k = int(std::floor(x / cell));
        float f = x / cell - k;
        float a = HashUnit(uint32_t(k), uint32_t(octave), 211) - 0.5f;
        float b = HashUnit(uint32_t(k + 1), uint32_t(octave), 211) - 0.5f;
        jag += scale * Mix(a, b, f);
    }
    float ends = SmoothStep(0.0f, 0.12f,
                            Clamp01(std::fmin(x - points[0][0], points[count - 1][0] - x) /
                                    (points[count - 1][0] - points[0][0])));
    return std::fmin(float(HorizonY), y + jag * ends);
}

struct LogoLayers {
    Field letters, sun, range, rim, horizon, outline, glowNear, glowFar, bevel;
    int capTop, capBottom;
};

// The range below its ridge, the bright rim along the ridge, and the horizon
// line, which tapers towards both ends.
void DrawLandscape(LogoLayers& l) {
    for (int y = 0; y < LogoH; ++y)
        for (int x = 0; x < LogoW; ++x) {
            size_t i = size_t(y) * LogoW + x;
            float px = x + 0.5f, py = y + 0.5f;
            float ridge = RidgeY(px);
            bool inRange = ridge < HorizonY;
            l.range.v[i] = inRange ? CoverEdge(ridge - py) * CoverEdge(py - HorizonY) : 0.0f;
            float rimAlong =
                1.0f -
                SmoothStep(40.0f, 110.0f, std::fabs(px - SunX) * 0.6f + (ridge - 170.0f) * 0.5f);
            l.rim.v[i] = inRange ? CoverEdge(std::fabs(py - ridge - 1.0f) - 1.3f) *
                                       (0.35f + 0.65f * rimAlong)
                                 : 0.0f;
            float along = std::fabs(px - SunX) / 300.0f;
            float taper = 1.0f - SmoothStep(0.3f, 1.0f, along);
            l.horizon.v[i] = CoverEdge(std::fabs(py - HorizonY) - (0.6f + 1.2f * taper)) * taper;
        }
}

Field Blurred(const Field& f, int radius, int passes) {
    Field b = f;
    for (int i = 0; i < passes; ++i) b = BoxBlur(b, radius);
    return b;
}

// Chrome: white sky above the middle, a hard warm horizon in it, the
// reflected ground glowing orange below.
Colour LetterColour(float t) {
    Colour top{1.0f, 1.0f, 0.97f}, upper{1.0f, 0.86f, 0.62f}, edge{0.62f, 0.14f, 0.06f},
        low{1.0f, 0.48f, 0.12f}, bottom{1.0f, 0.80f, 0.40f};
    if (t < 0.52f)
        return MixColour(top, upper, t / 0.52f);
    if (t < 0.56f)
        return edge;
    if (t < 0.8f)
        return MixColour(edge, low, (t - 0.56f) / 0.24f);
    return MixColour(low, bottom, (t - 0.8f) / 0.2f);
}

// Sun: near white at the top through yellow and orange to red at the horizon.
Colour SunColour(float y) {
    float t = Clamp01((y - (SunY - SunRadius)) / (2.0f * SunRadius));
    Colour top{1.0f, 0.96f, 0.78f}, mid{1.0f, 0.66f, 0.16f}, low{1.0f, 0.16f, 0.22f};
    return t < 0.5f ? MixColour(top, mid, t / 0.5f) : MixColour(mid, low, (t - 0.5f) / 0.5f);
}

Colour Over(Colour under, Colour over, float alpha) {
    return MixColour(under, over, Clamp01(alpha));
}

Colour Add(Colour a, Colour b, float k) {
    return {a.r + b.r * k, a.g + b.g * k, a.b + b.b * k};
}

// 1 inside, falling to 0 at the logo's edges, so the logo's rectangle
// never shows against the screen's background.
float EdgeFade(int x, int y) {
    int d = std::min(std::min(x, LogoW - 1 - x), std::min(y, LogoH - 1 - y));
    return SmoothStep(2.0f, float(EdgeMargin), float(d));
}

Colour ShadeLogo(const LogoLayers& l, int x, int y) {
    size_t i = size_t(y) * LogoW + x;
    float edge = EdgeFade(x, y);
    Colour c = Add(Background, {0.25f, 0.40f, 1.0f}, 0.45f * l.glowFar.v[i] * edge);
    c = Add(c, {1.0f, 0.42f, 0.14f}, 0.75f * l.glowNear.v[i] * edge);
    c = Over(c, SunColour(y + 0.5f), l.sun.v[i]);
    // The range is a night silhouette with a faint warm haze towards its foot.
    float haze = SmoothStep(200.0f, float(HorizonY), y + 0.5f);
    c = Over(c, {0.05f + 0.10f * haze, 0.03f + 0.03f * haze, 0.07f}, l.range.v[i]);
    c = Over(c, {1.0f, 0.86f, 0.72f}, l.rim.v[i]);
    c = Over(c, {1.0f, 0.78f, 0.5f}, l.horizon.v[i]);
    c = Over(c, {0.05f, 0.02f, 0.03f}, l.outline.v[i] * 0.95f);
    float t = Clamp01((y - l.capTop) / float(l.capBottom - l.capTop));
    Colour fill = LetterColour(t);
    float lightness = 1.0f + 0.3f * l.bevel.v[i];
    return Over(c, {fill.r * lightness, fill.g * lightness, fill.b * lightness}, l.letters.v[i]);
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
    if (!WithFontFace(LogoFontFile, TextSize,
                      [&](FT_Face face) { return DrawTitle(face, l.letters); }))
        return false;
    l.sun = MakeField(LogoW, LogoH);
    for (int y = 0; y < LogoH; ++y)
        for (int x = 0; x < LogoW; ++x) l.sun.v[size_t(y) * LogoW + x] = SunCoverage(x, y);
    l.range = l.rim = l.horizon = MakeField(LogoW, LogoH);
    DrawLandscape(l);
    // Letters, sun and horizon cast the outline and the glows; the range is dark.
    Field shapes = l.letters;
    for (size_t i = 0; i < shapes.v.size(); ++i)
        shapes.v[i] = std::fmax(std::fmax(shapes.v[i], l.horizon.v[i]),
                                std::fmax(0.6f * l.sun.v[i], l.rim.v[i]));
    l.outline = Blurred(l.letters, 2, 2);
    for (float& v : l.outline.v) v = Clamp01(v * 4.0f);
    l.glowNear = Blurred(shapes, 6, 3);
    l.glowFar = Blurred(shapes, 18, 3);
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
