// Scene 4 as a state machine and on screen: entry, sections, fade, hand-over
// to the end step, the loop back to scene 0, and the credit's glyphs.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "passes/glow.h"
#include "setup/settings.h"
#include "setup/viewport.h"
#include "frame/frame.h"
#include "gl_test_support.h"
#include "platform/platform.h"
#include "resources/audio.h"
#include "resources/font.h"
#include "resources/images.h"
#include "scenes/scenes.h"
#include "show/show.h"

namespace {

// A font whose every printable glyph is a solid 16 x 24 block of the atlas.
void UseBlockFont() {
    FILE* file = std::tmpfile();
    std::fputs("info face=\"blocks\" size=32\ncommon lineHeight=32 base=26 scaleW=64 scaleH=64\n",
               file);
    std::fputs("chars count=95\n", file);
    for (int c = 32; c < 127; ++c)
        std::fprintf(file,
                     "char id=%d x=0 y=0 width=16 height=24 xoffset=0 yoffset=2 xadvance=18\n", c);
    std::rewind(file);
    ParseFontDescriptor(file);
}

class ClosingScene : public testing::Test {
   protected:
    void SetUp() override {
        if (!glIsTexture(GlowTexture))
            CreateGlowTexture();
        UseSceneMusicLog();
        musicInfo.freq = 44100;
        musicInfo.chans = 2;
        UseManualClock(1000);
        ResetFrameClock();
        DemoSettings.demoPlus = false;
        DemoSettings.loop = false;
        QuitRequested = 0;
        glMatrixMode(GL_MODELVIEW);
        EnterSection(0, 0.0f);
        SceneBeat = 30.0f;  // past the fade-in
    }
    void TearDown() override {
        ResetSceneMusicDefaults();
        ResetPlatformDefaults();
        ResetSceneState();
        DemoSettings.loop = false;
    }
    static void EnterSection(int section, float beat) {
        SceneIndex = 4;
        SectionIndex = section;
        SectionBeat = beat;
        SceneEntry = 0;
    }
};

}  // namespace

TEST_F(ClosingScene, EntryResyncsFromTheMusicWithoutSeekingAndFadesInFromTheNextPass) {
    SceneEntry = 1;
    SceneBeat = 64.0f;  // what scene 3 left
    Music.seconds = SecondsForBeat(162, 0.5f);
    ManualClockMilliseconds = 7000;
    RunScene4();
    EXPECT_EQ(SceneEntry, 0);
    EXPECT_EQ(Music.plays, 1);
    EXPECT_FALSE(Music.playRestart);
    EXPECT_EQ(Music.seeks, 0);
    EXPECT_NEAR(SceneBeat, 0.5f, 1e-4);
    EXPECT_FLOAT_EQ(SectionBeat, SceneBeat);
    EXPECT_EQ(SectionIndex, 0);
    EXPECT_FLOAT_EQ(FrameClock.smoothedDelta, 0.0f);
    EXPECT_FLOAT_EQ(FadeLevel, 1.0f);  // still by scene 3's counter
    EXPECT_FLOAT_EQ(GlowColor[1], 0.5f);
    EXPECT_FLOAT_EQ(GradeColor[1], 1.0f);
    RunScene4();
    EXPECT_NEAR(FadeLevel, 0.05f, 1e-5);
    EXPECT_EQ(Music.plays, 1);
}

// The music beat is a float before the offset of 162 comes off, so the
// counter carries the coarser rounding of a value near 160.
TEST_F(ClosingScene, EntryRoundsTheMusicBeatBeforeTakingTheOffset) {
    for (float seconds : {157.0f, 158.0f, 160.0f}) {
        SceneEntry = 1;
        Music.seconds = seconds;
        RunScene4();
        float rounded = static_cast<float>(seconds * 2.0833333 * 0.5);
        EXPECT_EQ(SceneBeat, rounded - 162.0f) << seconds;
        EXPECT_EQ(SectionBeat, SceneBeat);
    }
}

TEST_F(ClosingScene, SectionsEndPastTheirLengthsAndTheLastFadesToBlackAndHandsOver) {
    const float lengths[] = {6, 16, 16, 16};
    for (int i = 0; i < 4; ++i) {
        EnterSection(i, lengths[i]);
        RunScene4();
        EXPECT_EQ(SectionIndex, i) << "exactly at the length";
        SectionBeat = lengths[i] + 0.25f;
        RunScene4();
        EXPECT_EQ(SectionIndex, i + 1);
        EXPECT_FLOAT_EQ(SectionBeat, 0.25f);
        EXPECT_EQ(SceneIndex, i < 3 ? 4 : 5);
        EXPECT_EQ(SceneEntry, i < 3 ? 0 : 1);
    }
    EXPECT_FLOAT_EQ(SceneBeat, 30.0f);  // only the section counter is reduced
    EXPECT_LE(FadeLevel, 0.0f);         // the end step keeps the picture black
    EnterSection(3, 8.0f);
    RunScene4();
    EXPECT_FLOAT_EQ(FadeLevel, 0.5f);
}

// The whole tail of the demo through the dispatcher, 20 ms per frame.
TEST_F(ClosingScene, EndShowsBlackThenQuitsOrLoopsBackToASeekingScene0) {
    for (bool loop : {false, true}) {
        DemoSettings.loop = loop;
        QuitRequested = 0;
        Music = SceneMusicLog();
        EnterSection(3, 15.9f);
        int frames = 0;
        while (SceneIndex != 5 || SceneEntry) {
            ManualClockMilliseconds += 20;
            RenderFrame();
            UpdateFrameClock();
            ASSERT_LT(++frames, 100);
        }
        frames = 0;
        while (!QuitRequested && SceneIndex == 5) {
            Rgb frame = AverageRgb(0, 0, GlTestContextWidth(), GlTestContextHeight());
            ASSERT_LT(frame.r + frame.g + frame.b, 1.0f) << "frame " << frames;
            ManualClockMilliseconds += 20;
            RenderFrame();
            UpdateFrameClock();
            ASSERT_LT(++frames, 1000);
        }
        // 8 units at 2.0833 units per second of 20 ms frames: about 192 frames.
        EXPECT_NEAR(frames, 192, 3);
        EXPECT_EQ(QuitRequested, loop ? 0 : 1);
        if (loop) {
            if (SceneEntry)  // handed back in the full pass: scene 0 enters next frame
                RenderFrame();
            EXPECT_EQ(SceneIndex, 0);
            EXPECT_EQ(SceneEntry, 0);
            EXPECT_EQ(Music.seeks, 1);
            EXPECT_EQ(Music.seekBytes, 0u);
            EXPECT_FALSE(Music.playRestart);
        }
    }
}

TEST_F(ClosingScene, CreditShowsAsYellowGlyphsRightOfCentreAndFadesAtItsChange) {
    UseBlockFont();
    GLuint previousAtlas = TextureTable[TextureFont], previousDots = TextureTable[TextureDot];
    GLuint previousMask = TextureTable[TextureMask];
    TextureTable[TextureFont] = MakeSolidTexture(4, 4, 255, 255, 255);
    TextureTable[TextureDot] =
        MakeSolidTexture(4, 4, 0, 0, 0);  // no orange haze from the dot layer
    TextureTable[TextureMask] = 0;        // whatever mask an earlier test loaded stays out
    float previousAspect = DemoSettings.aspect;
    DemoSettings.aspect = 1.0f;
    ResizeViewport(GlTestContextWidth(), GlTestContextHeight());
    int w = GlTestContextWidth(), h = GlTestContextHeight();
    struct Box {
        int count = 0, x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
    };
    auto yellowAt = [&](int section, float beat) {
        EnterSection(section, beat);
        SceneBeat = beat + 6;
        RenderFrame();
        std::vector<unsigned char> rgb = ReadRgb(0, 0, w, h);
        Box box;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const unsigned char* p = &rgb[(y * w + x) * 3];
                if (p[0] < 150 || p[1] < 150 || p[2] > p[0] / 2)
                    continue;
                box.count += 1;
                box.x0 = std::min(box.x0, x), box.x1 = std::max(box.x1, x);
                box.y0 = std::min(box.y0, y), box.y1 = std::max(box.y1, y);
            }
        return box;
    };
    Box shown = yellowAt(1, 5.0f);  // "pixel - Tam" at 0.707
    Box between = yellowAt(1, 8.0f);
    Box before = yellowAt(0, 5.0f);
    glDeleteTextures(1, &TextureTable[TextureFont]);
    glDeleteTextures(1, &TextureTable[TextureDot]);
    TextureTable[TextureFont] = previousAtlas;
    TextureTable[TextureDot] = previousDots;
    TextureTable[TextureMask] = previousMask;
    DemoSettings.aspect = previousAspect;
    EXPECT_GT(shown.count, w * h / 50);
    EXPECT_EQ(between.count, 0);
    EXPECT_EQ(before.count, 0);
    // Left-aligned 2 units left of the axis and a unit and a half below the eye.
    EXPECT_GT((shown.x0 + shown.x1) / 2, w / 2);
    EXPECT_LT(shown.x0, w / 2);
    EXPECT_LT((shown.y0 + shown.y1) / 2, h / 2);  // GL rows count upwards
}

namespace {

struct ScreenQuad {
    float x[4], y[4];
};

// Whether two convex quads share any area: no edge of either separates them.
bool QuadsOverlap(const ScreenQuad& a, const ScreenQuad& b) {
    for (const ScreenQuad* q : {&a, &b})
        for (int e = 0; e < 4; ++e) {
            float nx = q->y[(e + 1) % 4] - q->y[e], ny = q->x[e] - q->x[(e + 1) % 4];
            float aMin = 1e30f, aMax = -1e30f, bMin = 1e30f, bMax = -1e30f;
            for (int v = 0; v < 4; ++v) {
                float pa = a.x[v] * nx + a.y[v] * ny, pb = b.x[v] * nx + b.y[v] * ny;
                aMin = std::min(aMin, pa), aMax = std::max(aMax, pa);
                bMin = std::min(bMin, pb), bMax = std::max(bMax, pb);
            }
            if (aMax <= bMin || bMax <= aMin)
                return false;
        }
    return true;
}

// A glyph quad through the model-view matrix m, divided by depth; false
// behind the near plane or wholly outside a frame as wide as 21:9.
bool ProjectGlyph(const float m[16], const GlyphQuad& g, ScreenQuad& out) {
    const float xs[4] = {g.x0, g.x1, g.x1, g.x0}, ys[4] = {g.y0, g.y0, g.y1, g.y1};
    const float halfWidth = std::tan(25.0f * 3.14159265f / 180) * 21 / 9;
    bool left = true, right = true;
    for (int v = 0; v < 4; ++v) {
        float ex = m[0] * xs[v] + m[4] * ys[v] + m[12], ey = m[1] * xs[v] + m[5] * ys[v] + m[13];
        float ez = m[2] * xs[v] + m[6] * ys[v] + m[14];
        if (ez > -1)
            return false;
        out.x[v] = ex / -ez;
        out.y[v] = ey / -ez;
        left = left && out.x[v] < -halfWidth;
        right = right && out.x[v] > halfWidth;
    }
    return !left && !right;
}

}  // namespace

// The greetings laid out from the generated font as the scene draws them,
// projected with its camera over the whole scroll: no two names' glyph
// boxes (halo and blank border included) ever cover the same spot of a
// frame up to 21:9, on the same row or on neighbouring ones; and every box
// stays a quarter unit inside the 2-unit row step, so rows never touch.
TEST_F(ClosingScene, GreetingNamesNeverOverlapOnScreen) {
    ASSERT_TRUE(LoadFontDescriptorFrom(NORVALE_SOURCE_DIR "/data/font.fnt"));
    BitmapFont.scale = GreetingScale;
    std::vector<std::vector<GlyphQuad>> names;
    float top = 0, bottom = 0;
    for (const char* name : GreetingNames) {
        ASSERT_TRUE(LayoutText(&BitmapFont, name));
        names.emplace_back(TextLayoutQuads, TextLayoutQuads + TextLayoutCount);
        for (const GlyphQuad& g : names.back())
            top = std::min(top, g.y0), bottom = std::max(bottom, g.y1);
    }
    EXPECT_LE(bottom - top, 2.0f - 0.25f) << "glyph boxes from " << top << " to " << bottom;
    std::string collisions;
    bool met[GreetingCount][GreetingCount] = {};
    for (float beat = 22; beat <= 54; beat += 0.0625f) {
        float positions[GreetingCount][3];
        ComputeGreetingPositions(beat, positions);
        PlaceClosingCamera(beat);
        std::vector<std::vector<ScreenQuad>> shown(GreetingCount);
        for (int i = 0; i < GreetingCount; ++i) {
            float m[16];
            glLoadIdentity();
            ApplyCamera();
            glScalef(1, -1, 1);
            glTranslatef(positions[i][0], positions[i][1], positions[i][2]);
            glGetFloatv(GL_MODELVIEW_MATRIX, m);
            ScreenQuad q;
            for (const GlyphQuad& g : names[i])
                if (ProjectGlyph(m, g, q))
                    shown[i].push_back(q);
        }
        for (int i = 0; i < GreetingCount; ++i)
            for (int j = i + 1; j < GreetingCount; ++j)
                for (const ScreenQuad& a : shown[i])
                    for (const ScreenQuad& b : shown[j])
                        if (!met[i][j] && QuadsOverlap(a, b)) {
                            met[i][j] = true;
                            collisions += std::to_string(i) + "-" + std::to_string(j) + " at " +
                                          std::to_string(beat) + "; ";
                        }
    }
    EXPECT_EQ(collisions, "") << "names by index in GreetingNames";
}
