// Scissor boxes around the part of a sprite that changes the picture: under
// an additive blend, a sprite adds nothing where every texel its filter
// reads is exactly black, so only the box around the rest needs drawing. The
// quad itself is drawn unchanged, so every pixel inside the box is the one
// the whole quad gives. Only exact black counts: a texel that merely rounds
// to nothing at 8 bits still adds up on a driver that keeps colour as floats
// between blends, dithers, or has a deeper colour buffer.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "geometry/models.h"

namespace {

constexpr float PixelSlack = 2.0f;  // pixels added around every box
// Mip levels past the one the sprite's size on screen asks for: the second
// level of trilinear filtering, and one more for the driver's rounding of
// the level of detail (or a bias forced on it).
constexpr int LevelSlack = 2;

// One texture's mip chain as the brightest channel of each texel.
struct TexelLevels {
    GLuint name = 0;
    std::vector<uint8_t> base;  // level 0 as RGBA, to know the texture again
    std::vector<std::vector<uint8_t>> levels;
    std::vector<int> widths, heights;
};
TexelLevels Texels;

bool ReadLevel(int level, std::vector<uint8_t>* rgba, int* w, int* h) {
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, h);
    if (*w <= 0 || *h <= 0)
        return false;
    rgba->resize(static_cast<size_t>(*w) * *h * 4);
    glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, rgba->data());
    return true;
}

// The bound texture's levels, read again only when level 0 has changed.
const TexelLevels* BoundTexels() {
    GLint name = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
    std::vector<uint8_t> rgba;
    int w = 0, h = 0;
    if (name == 0 || !ReadLevel(0, &rgba, &w, &h))
        return nullptr;
    if (Texels.name == static_cast<GLuint>(name) && Texels.base == rgba)
        return &Texels;
    Texels = TexelLevels{};
    Texels.name = static_cast<GLuint>(name);
    Texels.base = rgba;
    for (int level = 0; level < 20 && (level == 0 || ReadLevel(level, &rgba, &w, &h)); ++level) {
        std::vector<uint8_t> brightest(static_cast<size_t>(w) * h);
        for (size_t i = 0; i < brightest.size(); ++i)
            brightest[i] = std::max({rgba[i * 4], rgba[i * 4 + 1], rgba[i * 4 + 2]});
        Texels.levels.push_back(brightest);
        Texels.widths.push_back(w);
        Texels.heights.push_back(h);
    }
    return &Texels;
}

// Texture coordinates a filtered sample can draw a texel of [first, last]
// from, on a side of n texels, one texel wider each way; the whole side when
// that reaches an edge, where GL_REPEAT brings in the far side.
void ReachOfTexels(int first, int last, int n, float* from, float* to) {
    *from = (first - 1.5f) / n;
    *to = (last + 2.5f) / n;
    if (*from < 0.0f || *to > 1.0f) {
        *from = 0.0f;
        *to = 1.0f;
    }
}

// Union of the reach of every level up to each level: reach[l] = {s0, t0, s1, t1},
// empty (s0 > s1) when every texel is exactly black.
void FillReach(const TexelLevels& t, std::vector<float>* reach) {
    float box[4] = {1, 1, 0, 0};
    for (size_t l = 0; l < t.levels.size(); ++l) {
        const int w = t.widths[l], h = t.heights[l];
        int x0 = w, y0 = h, x1 = -1, y1 = -1;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                if (t.levels[l][static_cast<size_t>(y) * w + x] == 0)
                    continue;
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
        }
        if (x1 >= 0) {
            float s0, s1, t0, t1;
            ReachOfTexels(x0, x1, w, &s0, &s1);
            ReachOfTexels(y0, y1, h, &t0, &t1);
            box[0] = std::min(box[0], s0);
            box[1] = std::min(box[1], t0);
            box[2] = std::max(box[2], s1);
            box[3] = std::max(box[3], t1);
        }
        reach->insert(reach->end(), box, box + 4);
    }
}

bool IsOn(GLenum cap) {
    return glIsEnabled(cap) == GL_TRUE;
}

GLint Integer(GLenum what) {
    GLint v[4] = {0, 0, 0, 0};
    glGetIntegerv(what, v);
    return v[0];
}

// Where a fragment of colour 0 leaves the pixel (and depth) as it was and
// the fragment's colour is texel x current colour.
bool BlackAddsNothing() {
    if (!IsOn(GL_BLEND) || !IsOn(GL_TEXTURE_2D) || IsOn(GL_LIGHTING) || IsOn(GL_FOG) ||
        IsOn(GL_TEXTURE_GEN_S) || IsOn(GL_TEXTURE_GEN_T) || IsOn(GL_SCISSOR_TEST))
        return false;
    const GLint dst = Integer(GL_BLEND_DST_RGB);
    if ((dst != GL_ONE && dst != GL_ONE_MINUS_SRC_COLOR) ||
        Integer(GL_BLEND_EQUATION_RGB) != GL_FUNC_ADD)
        return false;
    if (IsOn(GL_DEPTH_TEST) && Integer(GL_DEPTH_WRITEMASK))
        return false;
    GLint modes[2] = {0, 0};
    glGetIntegerv(GL_POLYGON_MODE, modes);
    GLint env = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env);
    GLint renderMode = Integer(GL_RENDER_MODE);
    return modes[0] == GL_FILL && modes[1] == GL_FILL && env == GL_MODULATE &&
           renderMode == GL_RENDER;
}

// True when the current colour is exactly black: then texel x colour is 0
// for every texel and the sprite adds nothing anywhere.
bool ColorIsBlack() {
    float color[4];
    glGetFloatv(GL_CURRENT_COLOR, color);
    return color[0] <= 0.0f && color[1] <= 0.0f && color[2] <= 0.0f;
}

// Window coordinates of (x, y, 0) in the sprite's plane; false when it lies
// too near or behind the eye for a box to mean anything.
bool ToWindow(const float m[16], const int viewport[4], float x, float y, float out[2]) {
    const float cx = m[0] * x + m[4] * y + m[12];
    const float cy = m[1] * x + m[5] * y + m[13];
    const float cw = m[3] * x + m[7] * y + m[15];
    if (!(cw > 1e-3f))
        return false;
    out[0] = viewport[0] + (cx / cw + 1.0f) * 0.5f * viewport[2];
    out[1] = viewport[1] + (cy / cw + 1.0f) * 0.5f * viewport[3];
    return true;
}

}  // namespace

void CurrentClipMatrix(float m[16]) {
    float mv[16], pr[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, mv);
    glGetFloatv(GL_PROJECTION_MATRIX, pr);
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) sum += pr[k * 4 + r] * mv[c * 4 + k];
            m[c * 4 + r] = sum;
        }
    }
}

bool BeginSpriteScissor(SpriteScissor* scissor) {
    scissor->active = false;
    if (PlainDraw || !BlackAddsNothing())
        return false;
    const TexelLevels* texels = BoundTexels();
    if (!texels || texels->levels.empty())
        return false;
    scissor->reach.clear();
    FillReach(*texels, &scissor->reach);
    if (ColorIsBlack()) {
        for (size_t i = 0; i < scissor->reach.size(); i += 4) {
            const float empty[4] = {1, 1, 0, 0};
            std::copy(empty, empty + 4, scissor->reach.begin() + static_cast<long>(i));
        }
    }
    scissor->side = std::max(texels->widths[0], texels->heights[0]);
    glGetIntegerv(GL_VIEWPORT, scissor->viewport);
    glGetIntegerv(GL_SCISSOR_BOX, scissor->saved);
    glEnable(GL_SCISSOR_TEST);
    scissor->active = true;
    return true;
}

void PlaceSpriteScissor(const SpriteScissor& scissor, float half) {
    if (!scissor.active)
        return;
    const int* vp = scissor.viewport;
    float m[16];
    CurrentClipMatrix(m);
    const float square[4][2] = {{-half, -half}, {half, -half}, {half, half}, {-half, half}};
    float corner[4][2];
    bool placed = true;
    for (int i = 0; i < 4; ++i)
        placed = placed && ToWindow(m, vp, square[i][0], square[i][1], corner[i]);
    if (!placed) {
        glScissor(vp[0], vp[1], vp[2], vp[3]);
        return;
    }
    // Texels per pixel along the shortest side gives the finest level a
    // sample may skip; two levels further for the filter and the slant.
    float side = 1e30f;
    for (int i = 0; i < 4; ++i) {
        const float* a = corner[i];
        const float* b = corner[(i + 1) % 4];
        side = std::min(side, std::hypot(b[0] - a[0], b[1] - a[1]));
    }
    const int levels = static_cast<int>(scissor.reach.size() / 4);
    int level = levels - 1;
    if (side > 1e-3f)
        level = std::min(
            level,
            std::max(0, static_cast<int>(std::floor(std::log2(scissor.side / side))) + LevelSlack));
    const float* r = &scissor.reach[static_cast<size_t>(level) * 4];
    if (r[0] > r[2]) {
        glScissor(vp[0], vp[1], 0, 0);  // nothing bright enough: the quad adds nothing
        return;
    }
    float lo[2] = {1e30f, 1e30f}, hi[2] = {-1e30f, -1e30f};
    for (int i = 0; i < 4; ++i) {
        const float s = r[(i == 1 || i == 2) ? 2 : 0], t = r[i >= 2 ? 3 : 1];
        float w[2];
        ToWindow(m, vp, -half + 2 * half * s, -half + 2 * half * t, w);
        for (int k = 0; k < 2; ++k) {
            lo[k] = std::min(lo[k], w[k]);
            hi[k] = std::max(hi[k], w[k]);
        }
    }
    const int x0 = std::max(vp[0], static_cast<int>(std::floor(lo[0] - PixelSlack)));
    const int y0 = std::max(vp[1], static_cast<int>(std::floor(lo[1] - PixelSlack)));
    const int x1 = std::min(vp[0] + vp[2], static_cast<int>(std::ceil(hi[0] + PixelSlack)));
    const int y1 = std::min(vp[1] + vp[3], static_cast<int>(std::ceil(hi[1] + PixelSlack)));
    glScissor(x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0));
}

void EndSpriteScissor(const SpriteScissor& scissor) {
    if (!scissor.active)
        return;
    glDisable(GL_SCISSOR_TEST);
    const int* box = scissor.saved;
    glScissor(box[0], box[1], box[2], box[3]);
}
