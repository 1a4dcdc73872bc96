// The loading sequence on a hand-driven clock: phase lengths, colour ramp, end state, quit.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "setup/settings.h"
#include "frame/frame.h"
#include "gl_test_support.h"
#include "passes/glow.h"
#include "platform/platform.h"
#include "resources/audio.h"
#include "resources/images.h"
#include "show/intro.h"

namespace {

// 704 x 528 at 4:3: one whole magnification, logo 704 x 512, 8-pixel strips above and below.
constexpr int ScreenWidth = 704;
constexpr int ScreenHeight = 528;
constexpr int StepMilliseconds = 40;  // every clock reading moves on by this

const unsigned char Background[3] = {200, 100, 50};
const unsigned char Mark[3] = {40, 220, 250};

struct Shown {
    uint32_t milliseconds;
    Rgb edge, centre;
    GLint magFilter;
    GLint logoWidth;  // level 0 of the bound texture
};
std::vector<Shown> Frames;
int Pumps = 0;

uint32_t SteppingClock() {
    return ManualClockMilliseconds += StepMilliseconds;
}
void RecordFrame() {
    Shown shown;
    shown.milliseconds = ManualClockMilliseconds;
    shown.edge = AverageRgb(ScreenWidth / 2, ScreenHeight - 3, 1, 1);
    shown.centre = AverageRgb(ScreenWidth / 2, ScreenHeight / 2, 1, 1);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &shown.magFilter);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &shown.logoWidth);
    Frames.push_back(shown);
}
void CountPump() {
    Pumps += 1;
}
bool QuitQueued() {
    return true;
}

// A 1024 x 1024 type-2 TGA in the background colour with a mark where the
// middle of the screen will show the logo (image column 352, row 256).
bool WriteLogo(const char* path) {
    FILE* file = std::fopen(path, "wb");
    if (!file)
        return false;
    unsigned char header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 4, 24, 0};
    std::fwrite(header, 1, sizeof header, file);
    std::vector<unsigned char> row(1024 * 3);
    for (int y = 0; y < 1024; ++y) {
        for (int x = 0; x < 1024; ++x) {
            bool mark = x >= 300 && x < 404 && y >= 200 && y < 312;
            const unsigned char* rgb = mark ? Mark : Background;
            for (int c = 0; c < 3; ++c) row[x * 3 + c] = rgb[2 - c];  // stored B, G, R
        }
        std::fwrite(row.data(), 1, row.size(), file);
    }
    return std::fclose(file) == 0;
}

// Runs the test body in a scratch directory holding only data/logo.tga.
class LoadingSequence : public testing::Test {
   protected:
    void SetUp() override {
        ASSERT_NE(getcwd(home, sizeof home), nullptr);
        char pattern[] = "/tmp/norvale-loading-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        scratch = pattern;
        ASSERT_EQ(chdir(scratch.c_str()), 0);
        ASSERT_EQ(mkdir("data", 0755), 0);
        ASSERT_TRUE(WriteLogo("data/logo.tga"));
        ASSERT_TRUE(UseGlTestContext(ScreenWidth, ScreenHeight));
        DemoSettings.aspect = 4.0f / 3.0f;
        AudioUseOfflineOutput();  // no sound device in tests
        Frames.clear();
        Pumps = 0;
        UseManualClock(0);
        Platform.elapsedMilliseconds = SteppingClock;
        Platform.present = RecordFrame;
        Platform.pumpEvents = CountPump;
    }
    void TearDown() override {
        ResetPlatformDefaults();
        unlink("data/logo.tga");
        rmdir("data");
        EXPECT_EQ(chdir(home), 0);
        rmdir(scratch.c_str());
        UseGlTestContext(GlTestWidth, GlTestHeight);
    }
    char home[4096];
    std::string scratch;
};

bool IsBlack(const Rgb& c) {
    return c.r + c.g + c.b < 1.5f;
}
bool IsFullBackground(const Rgb& c) {
    return std::fabs(c.r - Background[0]) < 1.5f && std::fabs(c.g - Background[1]) < 1.5f &&
           std::fabs(c.b - Background[2]) < 1.5f;
}

const unsigned char White[3] = {255, 255, 255};

// The ramp (b, b^2, b^3) on a colour (the logo's background, or white where
// nothing is textured), b read off the red channel.
void ExpectOnRamp(const Rgb& c, const unsigned char* base = Background) {
    float b = c.r / base[0];
    EXPECT_NEAR(c.g, base[1] * b * b, 2.0f) << "red " << c.r;
    EXPECT_NEAR(c.b, base[2] * b * b * b, 2.0f) << "red " << c.r;
}

float Seconds(uint32_t from, uint32_t to) {
    return (to - from) / 1000.0f;
}

// The state the first scene starts from, with the matrix stacks as they were.
void ExpectSceneStartState(GLint modelviewDepth, GLint projectionDepth) {
    EXPECT_FALSE(glIsTexture(LogoTexture));
    for (GLenum on : {GL_TEXTURE_2D, GL_COLOR_MATERIAL, GL_LIGHTING, GL_BLEND, GL_DEPTH_TEST})
        EXPECT_TRUE(glIsEnabled(on)) << on;
    for (GLenum off : {GL_CULL_FACE, GL_FOG, GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T})
        EXPECT_FALSE(glIsEnabled(off)) << off;
    GLboolean depthWrites = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrites);
    EXPECT_TRUE(depthWrites);
    GLint values[4];
    glGetIntegerv(GL_BLEND_SRC, values);
    EXPECT_EQ(values[0], GL_SRC_ALPHA);
    glGetIntegerv(GL_VIEWPORT, values);
    EXPECT_EQ(values[2], ScreenWidth);
    EXPECT_EQ(values[3], ScreenHeight);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, values);
    EXPECT_EQ(values[0], modelviewDepth);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, values);
    EXPECT_EQ(values[0], projectionDepth);
    glGetIntegerv(GL_MATRIX_MODE, values);
    EXPECT_EQ(values[0], GL_MODELVIEW);
}

}  // namespace

TEST_F(LoadingSequence, BlackWaitFadeInHoldFadeOutThenTheSceneState) {
    GLint modelviewDepth = 0, projectionDepth = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &modelviewDepth);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &projectionDepth);
    glMatrixMode(GL_MODELVIEW);
    RunLoadingSequence();
    ExpectSceneStartState(modelviewDepth, projectionDepth);
    EXPECT_NE(GlowTexture, 0u);  // made before the texture table's names
    EXPECT_LT(GlowTexture, *std::min_element(TextureTable, TextureTable + TextureTableSize));
    ASSERT_GT(Frames.size(), 300u);
    EXPECT_TRUE(IsBlack(Frames[0].edge) && IsBlack(Frames[0].centre));

    // The full-colour frame is the one followed by the hold's long gap.
    size_t full = 1;
    while (full + 1 < Frames.size() &&
           Seconds(Frames[full].milliseconds, Frames[full + 1].milliseconds) < 2.0f)
        ++full;
    ASSERT_LT(full + 1, Frames.size());
    EXPECT_TRUE(IsFullBackground(Frames[full].edge));

    // Fade-in: 10 s of frames rising along the ramp, after the 5 s black wait.
    for (size_t i = 1; i < full; ++i) ExpectOnRamp(Frames[i].edge);
    EXPECT_TRUE(IsBlack(Frames[1].edge));
    EXPECT_NEAR(Seconds(Frames[0].milliseconds, Frames[1].milliseconds), 5.0f, 0.4f);
    EXPECT_NEAR(Seconds(Frames[1].milliseconds, Frames[full].milliseconds), 10.0f, 0.4f);
    EXPECT_GT(Frames[full / 2].edge.r, 80.0f);
    EXPECT_LT(Frames[full / 2].edge.r, 120.0f);

    // The full-colour frame shows the logo's mark, drawn texel for texel.
    EXPECT_NEAR(Frames[full].centre.r, Mark[0], 1.5f);
    EXPECT_NEAR(Frames[full].centre.b, Mark[2], 1.5f);
    EXPECT_EQ(Frames[full].magFilter, GL_NEAREST);

    // Hold of 3 s without drawing, then a 4 s fade-out back down the ramp.
    size_t out = full + 1;
    EXPECT_NEAR(Seconds(Frames[full].milliseconds, Frames[out].milliseconds), 3.0f, 0.4f);
    for (size_t i = out; i < Frames.size(); ++i) ExpectOnRamp(Frames[i].edge);
    EXPECT_NEAR(Seconds(Frames[out].milliseconds, Frames.back().milliseconds), 4.0f, 0.4f);
    EXPECT_LT(Frames.back().edge.r, 3.0f);
    EXPECT_GT(Pumps, 400);
}

// A header whose pixels never come (a 16384-square claim would cost a
// gigabyte): the decoder refuses it, nothing of its size is uploaded, and the
// empty record fades in as black, not as the untextured ramp colour.
TEST_F(LoadingSequence, RefusedLogoFadesInBlackWithoutItsClaimedSize) {
    ASSERT_EQ(truncate("data/logo.tga", 18), 0);
    RunLoadingSequence();
    ASSERT_GT(Frames.size(), 300u);
    EXPECT_LE(Frames[1].logoWidth, 1);
    size_t lit = 0;
    for (const Shown& shown : Frames) lit += !IsBlack(shown.edge) || !IsBlack(shown.centre);
    EXPECT_EQ(lit, 0u) << "of " << Frames.size() << " frames";
}

// A missing or empty logo leaves an empty record: the texture is incomplete,
// so the logo frame draws untextured in the ramp colour.
TEST_F(LoadingSequence, MissingOrEmptyLogoFadesInTheUntexturedRampColour) {
    for (bool empty : {false, true}) {
        ASSERT_EQ(empty ? truncate("data/logo.tga", 0) : unlink("data/logo.tga"), 0);
        Frames.clear();
        RunLoadingSequence();
        ASSERT_GT(Frames.size(), 300u);
        size_t full = 1;
        while (full + 1 < Frames.size() && Frames[full + 1].centre.r >= Frames[full].centre.r)
            ++full;
        EXPECT_GT(Frames[full].centre.r + Frames[full].centre.b, 508) << empty;
        for (size_t i = 1; i < Frames.size(); ++i) ExpectOnRamp(Frames[i].centre, White);
        ASSERT_TRUE(WriteLogo("data/logo.tga"));
    }
}

// Outside the fixture: the child process ends before any clean-up could run.
TEST(LoadingSequenceQuit, QueuedQuitEndsTheProcessWithStatus0) {
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EXIT(
        {
            UseManualClock(0);
            Platform.elapsedMilliseconds = SteppingClock;
            Platform.quitPending = QuitQueued;
            RunLoadingSequence();
            std::exit(3);
        },
        testing::ExitedWithCode(0), "");
}
