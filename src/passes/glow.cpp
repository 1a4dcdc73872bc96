// The soft glow: capture the 64x64 glow pass, shrink it to 16x16 in the
// same texture, then grade the full frame and add five shifted copies.
#include "passes/glow.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <vector>

#include "resources/images.h"
#include "setup/viewport.h"
#include "frame/frame.h"

unsigned int GlowTexture = 0;

namespace {
// The corner just drawn, copied into GlowTexture's level 0.
void CopyCornerToGlow(int size) {
    glBindTexture(GL_TEXTURE_2D, GlowTexture);
    glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 0, 0, size, size, 0);
}

// The whole unit square with the texture upright (overlay y points down).
void DrawDownsampleQuad() {
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(0.0f, 0.0f);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(0.0f, 1.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(1.0f, 1.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(1.0f, 0.0f);
    glEnd();
}

void FillBothFacesUnlit() {
    glPolygonMode(GL_BACK, GL_FILL);
    glPolygonMode(GL_FRONT, GL_FILL);
    glDisable(GL_LIGHTING);
}

// Per channel: 2 g f, or f (g + f) with the contrast blend.
void DrawGradeQuad() {
    glColor3fv(GradeColor);
    glBindTexture(GL_TEXTURE_2D, TextureTable[TextureBlank]);  // flat colour
    glBlendFunc(GL_DST_COLOR, GradeContrast ? GL_DST_COLOR : GL_SRC_COLOR);
    const float corners[4][2] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
    glBegin(GL_QUADS);
    for (const auto& corner : corners) {
        glColor3fv(GradeColor);
        glVertex2f(corner[0], corner[1]);
    }
    glEnd();
}

// One tap: the central 96 % of the glow image shifted by (du, dv).
void EmitGlowTap(float du, float dv) {
    glTexCoord2f(static_cast<float>(du + 0.02), static_cast<float>(dv + 0.98));
    glVertex2f(0.0f, 0.0f);
    glTexCoord2f(static_cast<float>(du + 0.02), static_cast<float>(dv + 0.02));
    glVertex2f(0.0f, 1.0f);
    glTexCoord2f(static_cast<float>(du + 0.98), static_cast<float>(dv + 0.02));
    glVertex2f(1.0f, 1.0f);
    glTexCoord2f(static_cast<float>(du + 0.98), static_cast<float>(dv + 0.98));
    glVertex2f(1.0f, 0.0f);
}

// Four corners and the centre of a 3x3 grid, half a glow texel apart; each
// adds (texel x GlowColor)^2.
void DrawGlowTaps() {
    glBindTexture(GL_TEXTURE_2D, GlowTexture);
    glBlendFunc(GL_SRC_COLOR, GL_ONE);
    glBegin(GL_QUADS);
    for (float i = 0.0f; i <= 1.0f; i += 0.5f) {
        for (float j = 0.0f; j <= 1.0f; j += 0.5f) {
            if (std::fabs(2.0f * i - 1.0f) + std::fabs(2.0f * j - 1.0f) == 1.0f)
                continue;
            glColor3fv(GlowColor);
            EmitGlowTap(static_cast<float>((i - 0.5) * 2.0 * 0.03125),
                        static_cast<float>((j - 0.5) * 2.0 * 0.03125));
        }
    }
    glEnd();
}
}  // namespace

void CreateGlowTexture() {
    glGenTextures(1, &GlowTexture);
    std::vector<unsigned char> blank(64 * 64 * 4, 0);
    glBindTexture(GL_TEXTURE_2D, GlowTexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    gluBuild2DMipmaps(GL_TEXTURE_2D, 4, 64, 64, GL_RGBA, GL_UNSIGNED_BYTE, blank.data());
}

// Runs with the state the dispatcher's mask overlay left: texturing and
// blending on, no depth, colour FadeLevel grey (so each shrink fades again).
void CaptureGlow() {
    FillBothFacesUnlit();
    glBlendFunc(GL_ONE, GL_ZERO);  // the shrinking quads replace what is under them
    CopyCornerToGlow(64);
    BeginOverlay2D();
    glViewport(0, 0, 32, 32);
    DrawDownsampleQuad();
    CopyCornerToGlow(32);
    glViewport(0, 0, 16, 16);
    DrawDownsampleQuad();
    glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 0, 0, 16, 16, 0);
    EndOverlay2D();
}

void ComposeFrame() {
    FillBothFacesUnlit();
    BeginOverlay2D();
    DrawGradeQuad();
    DrawGlowTaps();
    EndOverlay2D();
}
