// Whole frames through RenderFrame, read back: grade, fade, glow, mask,
// scene choice and beat counting.
#include <algorithm>
#include <iterator>

#include <GL/gl.h>
#include <gtest/gtest.h>

#include "setup/render_state.h"
#include "setup/settings.h"
#include "setup/viewport.h"
#include "frame/frame.h"
#include "passes/pass_state.h"
#include "gl_test_support.h"
#include "platform/platform.h"
#include "resources/images.h"
#include "scenes/scenes.h"
#include "show/show.h"

namespace {
float FullColor[3];  // what the test scene paints in the full pass
float GlowPassColor[3];
bool GlowTopLeftOnly = false;  // paint the glow pass only in its top-left quarter
uint32_t GlowPassMilliseconds = 0, FullPassMilliseconds = 0;

void SetColor(float* target, float r, float g, float b) {
    target[0] = r;
    target[1] = g;
    target[2] = b;
}

void PaintScene() {
    bool glowPass = false;
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glowPass = viewport[2] == 64;
    ManualClockMilliseconds += glowPass ? GlowPassMilliseconds : FullPassMilliseconds;
    const float* c = glowPass ? GlowPassColor : FullColor;
    float extent = glowPass && GlowTopLeftOnly ? 0.5f : 1.0f;
    BeginOverlay2D();
    ApplyPassState(
        {PassNoTexture, 0, false, false, {c[0], c[1], c[2], 1}, GL_ONE, GL_ZERO, false, GL_FILL});
    DrawUnitTexturedQuad(0, 0, extent, extent);
    EndOverlay2D();
}

struct FrameTest : testing::Test {
    void SetUp() override {
        ASSERT_TRUE(UseSceneTestContext());
        UseManualClock(1000);
        std::copy(std::begin(SceneTable), std::end(SceneTable), std::begin(scenes));
        SceneTable[0] = PaintScene;
        ResetSceneState();
        SceneEntry = 0;
        GlowTopLeftOnly = false;
        GlowPassMilliseconds = FullPassMilliseconds = 0;
        SetColor(GlowColor, 0, 0, 0);
        SetColor(FullColor, 1, 1, 1);
        SetColor(GlowPassColor, 1, 1, 1);
    }
    void TearDown() override {
        // Later tests in this process draw the real scenes.
        std::copy(std::begin(scenes), std::end(scenes), std::begin(SceneTable));
        ResetPlatformDefaults();
        ResetSceneState();
    }
    SceneFunction scenes[5];
    // Average of the middle of the frame, away from the glow's edge wrap.
    static Rgb Middle() { return AverageRgb(64, 64, 128, 128); }
};

void ExpectRgb(Rgb c, float r, float g, float b) {
    EXPECT_NEAR(c.r, r, 3);
    EXPECT_NEAR(c.g, g, 3);
    EXPECT_NEAR(c.b, b, 3);
}
}  // namespace

TEST_F(FrameTest, GradeScalesEachChannelByTwiceItsColour) {
    glGenTextures(1, &TextureTable[TextureBlank]);  // a name without an image, as after loading
    SetColor(FullColor, 0.2f, 0.5f, 0.8f);
    RenderFrame();
    ExpectRgb(Middle(), 51, 128, 204);
    SetColor(FullColor, 0.8f, 0.8f, 0.8f);
    SetColor(GradeColor, 0.3f, 0.4f, 0.5f);
    RenderFrame();
    ExpectRgb(Middle(), 0.8f * 0.6f * 255, 0.8f * 0.8f * 255, 204);
    glDeleteTextures(1, &TextureTable[TextureBlank]);
}

TEST_F(FrameTest, ContrastGradeWithZeroSquares) {
    SetColor(FullColor, 0.4f, 0.6f, 0.8f);
    SetColor(GradeColor, 0, 0, 0);
    GradeContrast = true;
    RenderFrame();
    ExpectRgb(Middle(), 0.16f * 255, 0.36f * 255, 0.64f * 255);
}

TEST_F(FrameTest, FadeLevelZeroIsBlackEvenWithGlow) {
    SetColor(GlowColor, 1, 1, 1);
    FadeLevel = 0.0f;
    RenderFrame();
    ExpectRgb(AverageRgb(0, 0, GlTestWidth, GlTestHeight), 0, 0, 0);
}

TEST_F(FrameTest, GlowAddsFiveSquaredTaps) {
    SetColor(FullColor, 0, 0, 0);
    SetColor(GlowColor, 1, 1, 1);
    RenderFrame();
    ExpectRgb(AverageRgb(0, 0, GlTestWidth, GlTestHeight), 255, 255, 255);
    SetColor(GlowColor, 0.2f, 0.2f, 0.2f);
    RenderFrame();
    ExpectRgb(Middle(), 5 * 0.04f * 255, 5 * 0.04f * 255, 5 * 0.04f * 255);
}

TEST_F(FrameTest, GlowStaysUprightAndBlursOnlyNearItsSource) {
    SetColor(FullColor, 0, 0, 0);
    SetColor(GlowColor, 0.4f, 0.4f, 0.4f);
    GlowTopLeftOnly = true;
    glClearColor(0, 0, 0, 1);
    RenderFrame();
    const float inside = 5 * 0.16f * 255;
    ExpectRgb(AverageRgb(16, 160, 80, 80), inside, inside, inside);  // GL rows count upwards
    ExpectRgb(AverageRgb(160, 16, 80, 80), 0, 0, 0);
    Rgb border = AverageRgb(126, 200, 4, 4);  // across the quarter's right edge
    EXPECT_GT(border.r, 0.15f * inside);
    EXPECT_LT(border.r, 0.85f * inside);
    // Taps half a glow texel (1/32 of the picture) apart: gone 12 pixels out.
    EXPECT_LT(AverageRgb(140, 200, 4, 4).r, 0.05f * inside);
}

TEST_F(FrameTest, MaskImageInSlotEightMultipliesTheFrame) {
    TextureTable[TextureMask] = MakeSolidTexture(4, 4, 128, 128, 128);
    RenderFrame();
    ExpectRgb(Middle(), 128, 128, 128);
    FadeLevel = 0.5f;
    RenderFrame();
    ExpectRgb(Middle(), 64, 64, 64);
    glDeleteTextures(1, &TextureTable[TextureMask]);
}

TEST_F(FrameTest, SceneIndexChoosesTheSceneOrNothing) {
    SetColor(FullColor, 0.2f, 0.4f, 0.6f);
    SceneTable[0] = nullptr;
    SceneTable[3] = PaintScene;
    SceneIndex = 3;
    RenderFrame();
    ExpectRgb(Middle(), 51, 102, 153);
    SceneTable[3] = nullptr;
    for (int index : {-1, 3, 6}) {
        SceneIndex = index;
        glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
        RenderFrame();
        ExpectRgb(Middle(), 0, 255, 0);  // only the clear colour
    }
}

TEST_F(FrameTest, RenderFrameCountsTwoPassesPerFrame) {
    GlowPassMilliseconds = 6;
    for (uint32_t full : {30u, 50u}) {
        FullPassMilliseconds = full;
        ManualClockMilliseconds += 2;
        RenderFrame();
        UpdateFrameClock();
    }
    float before = SceneBeat;
    ManualClockMilliseconds += 2;
    RenderFrame();
    EXPECT_NEAR(SceneBeat - before, BeatRate * (0.002f + (0.006f + 0.050f) / 2), 1e-5);
}

TEST_F(FrameTest, EndStepClearsBlackThenQuitsOrLoopsAfterEightUnits) {
    for (bool loop : {false, true}) {
        DemoSettings.loop = loop;
        SceneIndex = 5;
        SceneEntry = 1;
        SceneBeat = SectionBeat = 40.0f;
        QuitRequested = 0;
        RunEndScene();
        EXPECT_EQ(SceneEntry, 0);
        EXPECT_EQ(SceneBeat, 0.0f);
        EXPECT_EQ(SectionBeat, 0.0f);
        GLfloat clear[4];
        glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
        EXPECT_EQ(clear[0] + clear[1] + clear[2], 0.0f);
        EXPECT_EQ(clear[3], 1.0f);
        SceneBeat = 8.0f;  // not yet: strictly more than 8 units
        RunEndScene();
        EXPECT_EQ(QuitRequested, 0);
        EXPECT_EQ(SceneIndex, 5);
        SceneBeat = 8.01f;
        ManualClockMilliseconds += 20u * 3600 * 1000;  // left looping since yesterday
        UpdateFrameClock();
        RunEndScene();
        EXPECT_EQ(FrameClock.now == 0.0f, loop);  // a new play counts from 0 again
        EXPECT_EQ(QuitRequested, loop ? 0 : 1);
        EXPECT_EQ(SceneIndex, loop ? 0 : 5);
        EXPECT_EQ(SceneEntry, loop ? 1 : 0);
    }
    DemoSettings.loop = false;
}
