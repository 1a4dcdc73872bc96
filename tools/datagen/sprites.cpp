// Sprites, the star sky, the sphere-map environment and the frame mask.
// Sprites are added to the picture, so black means "nothing" and every
// sprite fades to exact black before its border.
#include <algorithm>
#include <cmath>

#include "datagen.h"

namespace {

// Fades a radial sprite to zero at 0.95 of the half-width, so the quad's
// edges never show.
float EdgeFade(float r) {
    return 1.0f - SmoothStep(0.7f, 0.95f, r);
}

// Calls shade(r, angle) for every pixel, r = 0 at the centre, 1 at the edge midpoints.
template <typename Shade>
Picture RadialSprite(int size, Shade shade) {
    Picture p = MakePicture(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float dx = (x + 0.5f) / size * 2.0f - 1.0f, dy = (y + 0.5f) / size * 2.0f - 1.0f;
            float r = std::sqrt(dx * dx + dy * dy);
            Colour c = shade(r, std::atan2(dy, dx));
            float fade = EdgeFade(r);
            PutPixel(p, x, y, {c.r * fade, c.g * fade, c.b * fade});
        }
    return p;
}

// Sets every 8x8 block (the JPEG's unit) whose brightest texel is at most
// one 8-bit step to exact black: a block of zeros decodes to exactly 0, so
// outside its glow the sprite adds nothing at all and a scissor around the
// glow loses nothing.
void BlackenFaintBlocks(Picture& p) {
    for (int by = 0; by < p.height; by += 8)
        for (int bx = 0; bx < p.width; bx += 8) {
            int peak = 0;
            for (int y = by; y < by + 8; ++y)
                for (int x = bx * 3; x < (bx + 8) * 3; ++x)
                    peak = std::max(peak, int(p.rgb[size_t(y) * p.width * 3 + x]));
            if (peak > 1)
                continue;
            for (int y = by; y < by + 8; ++y)
                std::fill_n(&p.rgb[(size_t(y) * p.width + bx) * 3], 24, uint8_t(0));
        }
}

// Adds a soft round star, wrapped so stars near an edge continue across it.
void AddStar(Picture& p, float cx, float cy, float radius, Colour c) {
    int reach = int(std::ceil(radius * 4.0f)) + 1;
    for (int dy = -reach; dy <= reach; ++dy)
        for (int dx = -reach; dx <= reach; ++dx) {
            int x = int(std::floor(cx)) + dx, y = int(std::floor(cy)) + dy;
            float ex = x + 0.5f - cx, ey = y + 0.5f - cy;
            float d2 = (ex * ex + ey * ey) / (radius * radius);
            float k = std::exp(-d2) + 0.04f * std::exp(-d2 * 0.06f);
            int wx = ((x % p.width) + p.width) % p.width,
                wy = ((y % p.height) + p.height) % p.height;
            Colour old = GetPixel(p, wx, wy);
            PutPixel(p, wx, wy, {old.r + c.r * k, old.g + c.g * k, old.b + c.b * k});
        }
}

Colour StarTint(float t) {
    if (t < 0.25f)
        return {0.75f, 0.85f, 1.0f};  // blue-white
    if (t < 0.85f)
        return {1.0f, 1.0f, 1.0f};
    if (t < 0.95f)
        return {1.0f, 0.9f, 0.7f};  // yellow
    return {1.0f, 0.7f, 0.55f};     // red giant
}

// Environment seen in a mirror ball, by reflected direction (y up, z to the viewer).
Colour Environment(float x, float y, float z) {
    Colour sky = MixColour({0.10f, 0.16f, 0.30f}, {0.02f, 0.04f, 0.12f}, Clamp01(y));
    Colour ground{0.05f, 0.04f, 0.05f};
    Colour c = y > 0.0f ? sky : MixColour(ground, {0.0f, 0.0f, 0.0f}, Clamp01(-y));
    float horizon = std::exp(-std::fabs(y) * 9.0f);
    c = MixColour(c, {0.95f, 0.55f, 0.25f}, horizon * 0.75f);
    float sunDot = (-0.45f * x + 0.65f * y + 0.61f * z);
    float sun =
        std::pow(std::max(0.0f, sunDot), 60.0f) + 0.35f * std::pow(std::max(0.0f, sunDot), 6.0f);
    return {c.r + sun, c.g + sun * 0.97f, c.b + sun * 0.9f};
}

}  // namespace

// A flat, hard core filling half the quad, in a halo with rays: scene 3's
// lattice shell draws it on squares a few pixels wide, where only its
// average shows, so the core must be wide to stand out from the nebula.
// The core sits at FlareLevel, not full white: scene 2 adds dozens of these
// large over its day sky, which the grade and glow would burn to white.
const float FlareLevel = 0.85f;

bool WriteFlare(const std::string& path) {
    Picture p = RadialSprite(256, [](float r, float a) {
        float core = 1.0f - SmoothStep(0.3f, 0.55f, r);
        float halo = 0.6f * std::exp(-r * 5.0f);
        float rays = std::pow(std::fabs(std::cos(a * 3.0f)), 40.0f) +
                     0.6f * std::pow(std::fabs(std::cos(a * 2.0f + 0.4f)), 80.0f);
        float ray = rays * 0.45f * std::exp(-r * 4.0f);
        float ring = 0.12f * std::exp(-std::pow((r - 0.55f) * 22.0f, 2.0f));
        float w = FlareLevel * (core + halo + ray);
        return Colour{w + ring * 0.6f, w * 0.95f + ring * 0.8f, w * 0.9f + ring};
    });
    BlackenFaintBlocks(p);
    return WriteJpeg(path, p, 90);
}

bool WriteDot(const std::string& path) {
    Picture p = RadialSprite(64, [](float r, float) {
        float v = std::exp(-r * r * 7.0f) * 0.85f + std::exp(-r * r * 40.0f) * 0.15f;
        return Colour{v * 0.35f, v * 0.7f, v};  // blue dust in the opening's cool sky
    });
    return WriteJpeg(path, p, 90);
}

bool WriteLightFx(const std::string& path) {
    Picture p = RadialSprite(128, [](float r, float) {
        float core = std::exp(-r * r * 60.0f);
        float glow = 0.7f * std::exp(-r * r * 6.0f);
        float v = 1.0f - std::exp(-2.2f * (core + glow));  // rolls off instead of clipping
        return Colour{v, v, v};
    });
    return WriteJpeg(path, p, 90);
}

// A sphere map: texel (s, t) shows what a mirror ball reflects at that point.
// Row 0 is t = 0, the lower edge of the ball in generated coordinates.
bool WriteGlowMap(const std::string& path) {
    const int size = 256;
    Picture p = MakePicture(size, size);
    for (int row = 0; row < size; ++row)
        for (int col = 0; col < size; ++col) {
            float nx = (col + 0.5f) / size * 2.0f - 1.0f, ny = (row + 0.5f) / size * 2.0f - 1.0f;
            float r2 = nx * nx + ny * ny;
            if (r2 > 1.0f) {  // outside the ball: continue the rim for clean filtering
                float r = std::sqrt(r2);
                nx /= r * 1.0001f;
                ny /= r * 1.0001f;
                r2 = nx * nx + ny * ny;
            }
            float nz = std::sqrt(std::max(0.0f, 1.0f - r2));
            Colour c = Environment(2.0f * nz * nx, 2.0f * nz * ny, 2.0f * nz * nz - 1.0f);
            PutPixel(p, col, row, c);
        }
    return WriteJpeg(path, p, 90);
}

// The mask's level down the picture, like a photographer's graduated filter:
// below 1 in the upper part, where the day skies of scenes 1 and 2 are white
// at the horizon and their grade and squared glow push anything above about
// 0.7 of it to full white; nearly 1 at the bottom, so the ground keeps its
// colours.
const float MaskTop = 0.66f, MaskBottom = 0.95f;

// A graduated tint at the same brightness, like a photographer's blue filter: cool
// over the upper two thirds, where the skies and the opening's wire-frame are,
// fading out over the lower third, whose ground keeps its colours (the wave
// scene's palette among them: any warmth there turns its quads).
Colour MaskTint(float v) {
    float cool = SmoothStep(0.68f, 0.2f, v);
    return {1.0f - 0.28f * cool, 1.0f + 0.02f * cool, 1.0f + 0.34f * cool};
}

bool WriteBoxed(const std::string& path) {
    const int size = 512;
    Picture p = MakePicture(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float u = (x + 0.5f) / size, v = (y + 0.5f) / size;
            float band = SmoothStep(0.085f, 0.115f, v) * (1.0f - SmoothStep(0.885f, 0.915f, v));
            float dx = (u - 0.5f) * 2.0f, dy = (v - 0.5f) * 2.0f;
            float vignette = 1.0f - 0.22f * std::pow(Clamp01((dx * dx + dy * dy) * 0.5f), 1.5f);
            float w = band * vignette * Mix(MaskTop, MaskBottom, SmoothStep(0.45f, 0.85f, v));
            Colour tint = MaskTint(v);
            PutPixel(p, x, y, {w * tint.r, w * tint.g, w * tint.b});
        }
    return WriteJpeg(path, p, 90);
}

// A nebula of two tints on black, bright enough that the mountains stand
// dark against it as night falls.
Colour Nebula(float u, float v) {
    float cloud = PeriodicFbm(u * 3.0f, v * 3.0f, 3, 7, 0.55f, 61);
    float band = SmoothStep(-0.1f, 0.45f, cloud);
    float tint = PeriodicFbm(u * 2.0f + 3.1f, v * 2.0f, 2, 4, 0.5f, 67);
    Colour a{0.30f, 0.10f, 0.38f}, b{0.06f, 0.22f, 0.34f};
    Colour c = MixColour(a, b, Clamp01(0.5f + tint * 1.5f));
    float k = band * band * 0.5f;
    return {c.r * k, c.g * k, c.b * k};
}

// Many faint stars, few bright ones; the brightest are also larger.
bool WriteSkyStars(const std::string& path) {
    const int size = 1024;
    Picture p = MakePicture(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) PutPixel(p, x, y, Nebula(x / float(size), y / float(size)));
    for (uint32_t i = 0; i < 2600; ++i) {
        float x = HashUnit(i, 1, 71) * size, y = HashUnit(i, 2, 71) * size;
        float m = HashUnit(i, 3, 71);
        float bright = 0.15f + 0.85f * std::pow(m, 6.0f);
        float radius = 0.55f + 1.4f * std::pow(m, 10.0f);
        Colour tint = StarTint(HashUnit(i, 4, 71));
        AddStar(p, x, y, radius, {tint.r * bright, tint.g * bright, tint.b * bright});
    }
    return WriteJpeg(path, p, 90);
}
