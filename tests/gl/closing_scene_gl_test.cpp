// Scene 4 as a state machine and on screen: entry, sections, fade, hand-over
// to the end step, the loop back to scene 0, and the credit's glyphs.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/settings.h"
#include "app/viewport.h"
#include "frame/frame.h"
#include "gl_test_support.h"
#include "platform/platform.h"
#include "resources/audio.h"
#include "resources/font.h"
#include "resources/images.h"
#include "scenes/scenes.h"

namespace {

struct MusicCalls {
    int plays = 0;
    bool playRestart = true;
    int seeks = 0;
    uint64_t seekBytes = 99;
    float seconds = 0.0f;
};
MusicCalls Music;

bool RecordPlay(AudioHandle, bool restart) {
    Music.plays += 1;
    Music.playRestart = restart;
    return true;
}

bool RecordSeek(AudioHandle, uint64_t bytes) {
    Music.seeks += 1;
    Music.seekBytes = bytes;
    return true;
}

float HandSetSeconds() {
    return Music.seconds;
}

// Music seconds that put scene 4's counters at this beat.
float SecondsForBeat(float beat) {
    return (beat + 162.0f) / (2.0833333f * 0.5f);
}

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
        static bool glowMade = false;
        if (!glowMade)
            CreateGlowTexture();
        glowMade = true;
        Music = MusicCalls();
        SceneMusic = SceneMusicInterface{RecordPlay, RecordSeek, HandSetSeconds};
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
        SceneIndex = 0;
        SceneEntry = 1;
        QuitRequested = 0;
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
    Music.seconds = SecondsForBeat(0.5f);
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
        Music = MusicCalls();
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
    TextureTable[TextureFont] = MakeSolidTexture(4, 4, 255, 255, 255);
    TextureTable[TextureDot] =
        MakeSolidTexture(4, 4, 0, 0, 0);  // no orange haze from the dot layer
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
    DemoSettings.aspect = previousAspect;
    EXPECT_GT(shown.count, w * h / 50);
    EXPECT_EQ(between.count, 0);
    EXPECT_EQ(before.count, 0);
    // Left-aligned 2 units left of the axis and a unit and a half below the eye.
    EXPECT_GT((shown.x0 + shown.x1) / 2, w / 2);
    EXPECT_LT(shown.x0, w / 2);
    EXPECT_LT((shown.y0 + shown.y1) / 2, h / 2);  // GL rows count upwards
}
