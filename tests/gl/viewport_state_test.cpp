// Projection helpers, the initial render state, and the camera.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "setup/render_state.h"
#include "setup/settings.h"
#include "setup/viewport.h"
#include "frame/frame.h"
#include "passes/pass_state.h"
#include "gl_test_support.h"

namespace {
// The current model-view matrix applied to a point (w = 1).
void TransformPoint(const float in[3], float out[3]) {
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    for (int r = 0; r < 3; ++r)
        out[r] = m[r] * in[0] + m[4 + r] * in[1] + m[8 + r] * in[2] + m[12 + r];
}
}  // namespace

TEST(Viewport, ResizeUsesTheDialogAspectAndNeverAZeroHeight) {
    DemoSettings.aspect = 2.0f;
    ResizeViewport(300, 0);
    EXPECT_EQ(DemoSettings.width, 300);
    EXPECT_EQ(DemoSettings.height, 1);
    GLint viewport[4], mode = 0;
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[3], 1);
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    GLfloat p[16];
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    const float f = 1.0f / std::tan(25.0f * 3.14159265f / 180.0f);
    EXPECT_NEAR(p[0], f / 2.0f, 1e-4);
    EXPECT_NEAR(p[5], f, 1e-4);
    EXPECT_NEAR(p[14], 2 * 200.0f * 1.0f / (1.0f - 200.0f), 1e-4);  // near 1, far 200
    ResizeViewport(GlTestWidth, GlTestHeight);
}

TEST(Viewport, OverlayIsTheUnitSquareFromTheTopLeftAndIsUndone) {
    ResizeViewport(GlTestWidth, GlTestHeight);
    GLfloat before[16], after[16];
    glGetFloatv(GL_PROJECTION_MATRIX, before);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    BeginOverlay2D();
    ApplyPassState({PassNoTexture, 0, false, false, {1, 1, 1, 1}, GL_ONE, GL_ZERO, false, GL_FILL});
    DrawTexturedQuad(0.0f, 0.0f, 0.5f, 0.25f, 0.1f, 0.2f, 0.3f, 0.4f);
    EndOverlay2D();
    EXPECT_NEAR(AverageRgb(0, 192, 128, 64).r, 255, 1);  // top-left strip, GL rows upwards
    EXPECT_NEAR(AverageRgb(0, 0, 256, 192).r + AverageRgb(128, 192, 128, 64).r, 0, 1);
    GLfloat tex[4];
    glGetFloatv(GL_CURRENT_TEXTURE_COORDS, tex);  // the last vertex is (x0, y1) with (s0, t1)
    EXPECT_FLOAT_EQ(tex[0], 0.1f);
    EXPECT_FLOAT_EQ(tex[1], 0.4f);
    glGetFloatv(GL_PROJECTION_MATRIX, after);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(before[i], after[i]);
}

TEST(RenderState, StartsWireframeLitAndFogged) {
    DemoSettings.height = 250;
    const float start[4] = {-0.15f, -0.15f, -0.1f, 1.0f};  // scenes may have moved it
    std::copy(start, start + 4, LightAmbient);
    glDisable(GL_TEXTURE_GEN_S);  // as a new context has it, whatever ran before
    InitFixedRenderState();
    GLint modes[2], fogMode = 0;
    glGetIntegerv(GL_POLYGON_MODE, modes);
    EXPECT_EQ(modes[0], GL_LINE);
    EXPECT_EQ(modes[1], GL_LINE);
    GLfloat width = 0, ambient[4];
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_FLOAT_EQ(width, 2.5f);
    glGetLightfv(GL_LIGHT1, GL_AMBIENT, ambient);
    EXPECT_FLOAT_EQ(ambient[0], -0.15f);  // negative values reach GL unclamped
    glGetIntegerv(GL_FOG_MODE, &fogMode);
    EXPECT_EQ(fogMode, GL_LINEAR);
    for (GLenum cap : {GL_TEXTURE_2D, GL_COLOR_MATERIAL, GL_LIGHT1, GL_LIGHTING, GL_BLEND,
                       GL_DEPTH_TEST, GL_FOG}) {
        EXPECT_TRUE(glIsEnabled(cap)) << cap;
    }
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
    EXPECT_NE(SharedQuadric, nullptr);
    DemoSettings.height = GlTestHeight;
}

TEST(Camera, RotatesAboutXThenYThenZAndTranslatesLast) {
    CameraPose = CameraPoseRecord{{5, 1, 0}, {90, 90, 0}};
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    ApplyCamera();
    float eye[3];
    const float atCamera[3] = {5, 1, 0}, ahead[3] = {4, 1, 0};
    TransformPoint(atCamera, eye);
    for (float v : eye) EXPECT_NEAR(v, 0.0f, 1e-5);
    TransformPoint(ahead, eye);  // y about -90 first would give (0, 0, -1)
    EXPECT_NEAR(eye[0], 0.0f, 1e-5);
    EXPECT_NEAR(eye[1], -1.0f, 1e-5);
    EXPECT_NEAR(eye[2], 0.0f, 1e-5);
    ResetCameraAndLight();
    glLoadIdentity();
}
