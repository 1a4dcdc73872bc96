// The display-list table and the small models: cube, sky cone, sphere
// cluster and sprite cloud.
#include "geometry/models.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

#include "setup/render_state.h"
#include "setup/settings.h"
#include "setup/viewport.h"
#include "frame/frame.h"
#include "geometry/random.h"

unsigned int DisplayListTable[DisplayListTableSize];
bool PlainDraw = false;
SpriteCloudRecord SpriteCloud;

namespace {

struct CubeFace {
    float normal[3];
    float texCoord[4][2];
    float position[4][3];
};

const CubeFace CubeFaces[6] = {
    {{0, 0, 1}, {{0, 1}, {1, 1}, {1, 0}, {0, 0}}, {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}}},
    {{0, 0, -1},
     {{0, 0}, {1, 0}, {1, 1}, {0, 1}},
     {{-1, 1, -1}, {1, 1, -1}, {1, -1, -1}, {-1, -1, -1}}},
    {{0, 1, 0}, {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, {{-1, 1, 1}, {1, 1, 1}, {1, 1, -1}, {-1, 1, -1}}},
    {{0, -1, 0},
     {{0, 1}, {1, 1}, {1, 0}, {0, 0}},
     {{-1, -1, -1}, {1, -1, -1}, {1, -1, 1}, {-1, -1, 1}}},
    {{1, 0, 0}, {{0, 1}, {1, 1}, {1, 0}, {0, 0}}, {{1, -1, -1}, {1, 1, -1}, {1, 1, 1}, {1, -1, 1}}},
    {{-1, 0, 0},
     {{0, 0}, {1, 0}, {1, 1}, {0, 1}},
     {{-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}, {-1, -1, -1}}},
};

void SetVertex(ColoredVertex* v, const float color[3], float s, float t, float x, float y,
               float z) {
    for (int i = 0; i < 3; ++i) v->color[i] = color[i];
    v->texCoord[0] = s;
    v->texCoord[1] = t;
    v->position[0] = x;
    v->position[1] = y;
    v->position[2] = z;
}

// Rim point j: the angle j x 5.625 is used as radians, as the cone always was.
void SetRimVertex(ColoredVertex* v, const float color[3], int j) {
    float angle = static_cast<float>(j) * 5.625f;
    float c = static_cast<float>(std::cos(angle));
    float s = static_cast<float>(std::sin(angle));
    SetVertex(v, color, c, s, 64.0f * c, 0.0f, 64.0f * s);
}

void FillSpriteCloud() {
    SeedRandom(44);
    for (SpriteEntry& entry : SpriteCloud.entries) {
        for (float& p : entry.position) p = static_cast<float>(NextRandom() % 1024 - 512) / 512.0f;
        entry.baseSize = static_cast<float>(NextRandom() % 768 + 256) / 1024.0f;
    }
    SpriteCloud.filled = true;
}

}  // namespace

// Acts on the current matrix mode: with the texture matrix current (the star
// boxes) the quarter turn moves the texture, not the geometry.
void DrawCube() {
    glPushMatrix();
    glRotatef(90.0f, 0.0f, 0.0f, 1.0f);
    glBegin(GL_QUADS);
    for (const CubeFace& face : CubeFaces) {
        glNormal3fv(face.normal);
        for (int v = 0; v < 4; ++v) {
            glTexCoord2fv(face.texCoord[v]);
            glVertex3fv(face.position[v]);
        }
    }
    glEnd();
    glPopMatrix();
}

void DrawSpinningCube(float phase) {
    glPushMatrix();
    glRotatef(phase * 20.0f, 1.0f, 0.0f, 0.0f);
    glRotatef(phase * 15.0f, 0.0f, 1.0f, 0.0f);
    glRotatef(phase * 10.0f, 0.0f, 0.0f, 1.0f);
    glEnable(GL_NORMALIZE);
    glScalef(2.0f, 2.0f, 2.0f);
    DrawCube();
    glDisable(GL_NORMALIZE);
    glPopMatrix();
}

void ComputeSkyCone(const float top[3], const float rim[3], const float bottom[3],
                    ColoredVertex vertices[SkyConeVertexCount]) {
    ColoredVertex* v = vertices;
    for (int k = 0; k < 64; ++k) {
        const int j1 = k % 16, j2 = (k + 1) % 16;
        SetRimVertex(v++, rim, j1);
        SetRimVertex(v++, rim, j2);
        SetVertex(v++, top, 0.0f, 0.0f, 0.0f, 64.0f, 0.0f);
        SetRimVertex(v++, rim, j1);
        SetRimVertex(v++, rim, j2);
        SetVertex(v++, bottom, 0.0f, 0.0f, 0.0f, -64.0f, 0.0f);
    }
}

void DrawSkyCone(float tr, float tg, float tb, float rr, float rg, float rb, float br, float bg,
                 float bb) {
    const float top[3] = {tr, tg, tb}, rim[3] = {rr, rg, rb}, bottom[3] = {br, bg, bb};
    ColoredVertex vertices[SkyConeVertexCount];
    ComputeSkyCone(top, rim, bottom, vertices);
    glBegin(GL_TRIANGLES);
    for (const ColoredVertex& v : vertices) {
        glColor3fv(v.color);
        glTexCoord2fv(v.texCoord);
        glVertex3fv(v.position);
    }
    glEnd();
}

void ComputeSphereCluster(float spread, float offsets[SphereClusterCount][3]) {
    SeedRandom(10);
    for (int i = 0; i < SphereClusterCount; ++i) {
        const int r1 = NextRandom(), r2 = NextRandom(), r3 = NextRandom();
        offsets[i][0] = spread * static_cast<float>(r3 % 60 - 30) / 10.0f;
        offsets[i][1] = spread * static_cast<float>(r2 % 60 - 30) / 10.0f;
        offsets[i][2] = spread * static_cast<float>(r1 % 60 - 30) / 10.0f;
    }
}

void DrawSphereCluster(float spread) {
    float offsets[SphereClusterCount][3];
    ComputeSphereCluster(spread, offsets);
    const float now = FrameClock.now;
    glPushMatrix();
    glRotatef(now * 60.0f, 1.0f, 0.0f, 0.0f);
    glRotatef(now * 70.0f, 0.0f, 1.0f, 0.0f);
    glRotatef(now * 80.0f, 0.0f, 0.0f, 1.0f);
    for (const float* offset : offsets) {
        glPushMatrix();
        glTranslatef(offset[0], offset[1], offset[2]);
        glRotatef(554.0f, 1.0f, 1.0f, 0.0f);
        if (SharedQuadric)
            gluSphere(SharedQuadric, 2.0, 24, 24);
        glPopMatrix();
    }
    glPopMatrix();
}

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

int ComputeSpriteCloud(float sx, float sy, float sz, float smallest, float largest, float now,
                       SpritePlacement placements[SpriteCount]) {
    if (!SpriteCloud.filled)
        FillSpriteCloud();
    SeedRandom(44);
    if (sx * smallest == 0.0f)
        return 0;
    const float spread[3] = {sx, sy, sz};
    for (int k = 0; k < SpriteCount; ++k) {
        const SpriteEntry& entry = SpriteCloud.entries[k];
        const int p = NextRandom() % 256;
        const float w = static_cast<float>((std::sin(now * 0.5 + p) + 1.0) * 0.5);
        const float scale = w * (largest - smallest) + smallest;
        placements[k].half = entry.baseSize * scale;
        for (int i = 0; i < 3; ++i) placements[k].offset[i] = spread[i] * entry.position[i];
    }
    return SpriteCount;
}

namespace {

// Each square is turned back by the camera's y and x angles so it faces the
// viewer; the camera's roll stays.
void DrawSprites(float sx, float sy, float sz, float smallest, float largest, bool outlines) {
    SpritePlacement placements[SpriteCount];
    const int count = ComputeSpriteCloud(sx, sy, sz, smallest, largest, FrameClock.now, placements);
    for (int k = 0; k < count; ++k) {
        const SpritePlacement& sprite = placements[k];
        glPushMatrix();
        glTranslatef(sprite.offset[0], sprite.offset[1], sprite.offset[2]);
        glRotatef(CameraPose.angles[1], 0.0f, 1.0f, 0.0f);
        glRotatef(CameraPose.angles[0], 1.0f, 0.0f, 0.0f);
        if (outlines)
            DrawUnitQuadOutline(-sprite.half, -sprite.half, sprite.half, sprite.half);
        else
            DrawUnitTexturedQuad(-sprite.half, -sprite.half, sprite.half, sprite.half);
        glPopMatrix();
    }
}

}  // namespace

void DrawSpriteCloud(float sx, float sy, float sz, float smallest, float largest) {
    DrawSprites(sx, sy, sz, smallest, largest, false);
}

void DrawSpriteOutlines(float sx, float sy, float sz, float smallest, float largest) {
    DrawSprites(sx, sy, sz, smallest, largest, true);
}
