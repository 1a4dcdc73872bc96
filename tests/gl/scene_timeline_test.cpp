// Scenes 0 and 1 as state machines: entries, section ends, fades, wave switches, hand-overs.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include "setup/settings.h"
#include "frame/frame.h"
#include "geometry/wave.h"
#include "gl_test_support.h"
#include "platform/platform.h"
#include "resources/audio.h"
#include "scenes/scenes.h"
#include "show/show.h"

namespace {

class SceneTimeline : public testing::Test {
   protected:
    void SetUp() override {
        // Other suites put their own scenes into the table; these run the real ones.
        SceneTable[0] = RunScene0;
        SceneTable[1] = RunScene1;
        UseSceneMusicLog();
        musicSample = 5;
        musicChannel = 7;
        musicInfo.freq = 44100;
        musicInfo.chans = 2;
        UseManualClock(1000);
        ResetFrameClock();
        DemoSettings.demoPlus = false;
        glMatrixMode(GL_MODELVIEW);
        EnterSection(0, 0, 0.0f);
        SceneBeat = 40.0f;  // past every fade-in
    }
    void TearDown() override {
        ResetSceneMusicDefaults();
        ResetPlatformDefaults();
        // Also the light globals, which the scenes' SetLight calls rewrite.
        ResetSceneState();
    }
    static void EnterSection(int scene, int section, float beat) {
        SceneIndex = scene;
        SectionIndex = section;
        SectionBeat = beat;
        SceneEntry = 0;
    }
};

float ClearAlpha() {
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    return clear[3];
}

}  // namespace

TEST_F(SceneTimeline, FirstPassStartsAndSeeksTheMusicAndSyncsTheCounters) {
    SceneEntry = 1;
    SceneBeat = 20.0f;  // what the end step left at a loop restart
    Music.seconds = 0.24f;
    ManualClockMilliseconds = 9000;  // the entry's clock reset absorbs this
    RunScene0();
    EXPECT_EQ(SceneEntry, 0);
    EXPECT_EQ(Music.plays, 1);
    EXPECT_EQ(Music.playHandle, musicChannel);
    EXPECT_FALSE(Music.playRestart);
    EXPECT_EQ(Music.seeks, 1);
    EXPECT_EQ(Music.seekHandle, musicSample);
    EXPECT_EQ(Music.seekBytes, 0u);
    EXPECT_NEAR(SceneBeat, 0.25f, 1e-6);  // 0.24 s x 2.0833333 x 0.5
    EXPECT_FLOAT_EQ(SectionBeat, SceneBeat);
    EXPECT_EQ(SectionIndex, 0);
    EXPECT_FLOAT_EQ(FrameClock.smoothedDelta, 0.0f);
    EXPECT_FLOAT_EQ(FrameClock.now, 9.0f);
    // The entry pass still fades by the counter it found; the next starts from 0.25.
    EXPECT_FLOAT_EQ(FadeLevel, 1.0f);
    RunScene0();
    EXPECT_FLOAT_EQ(FadeLevel, 0.0625f);
    EXPECT_EQ(Music.plays, 1);
    EXPECT_FLOAT_EQ(GlowColor[2], 0.6f);
    EXPECT_FLOAT_EQ(GradeColor[0], 0.5f);
    EXPECT_FLOAT_EQ(ClearAlpha(), 0.0f);
}

TEST_F(SceneTimeline, Scene0SectionsEndOnlyWhenStrictlyGreaterAndCarryTheOvershoot) {
    SectionBeat = 8.0f;
    RunScene0();
    EXPECT_EQ(SectionIndex, 0);
    SectionBeat = 8.3f;
    RunScene0();
    EXPECT_EQ(SectionIndex, 1);
    EXPECT_NEAR(SectionBeat, 0.3f, 1e-6);
    SectionBeat = 8.25f;
    RunScene0();
    EXPECT_EQ(SectionIndex, 2);
    EXPECT_FLOAT_EQ(SectionBeat, 0.25f);
    EXPECT_EQ(SceneIndex, 0);
    EXPECT_FLOAT_EQ(SceneBeat, 40.0f);  // only the section counter is reduced
}

TEST_F(SceneTimeline, Scene0FadesOutOverItsLastTwoBeatsAndHandsOver) {
    const float beats[] = {15.0f, 16.0f, 17.0f, 18.0f};
    const float fades[] = {1.0f, 1.0f, 0.5f, 0.0f};
    for (int i = 0; i < 4; ++i) {
        EnterSection(0, 2, beats[i]);
        RunScene0();
        EXPECT_FLOAT_EQ(FadeLevel, fades[i]) << "at beat " << beats[i];
        EXPECT_EQ(SceneIndex, 0);
        EXPECT_EQ(SceneEntry, 0);
    }
    EnterSection(0, 2, 18.5f);
    RunScene0();
    EXPECT_EQ(SceneIndex, 1);
    EXPECT_EQ(SceneEntry, 1);
    EXPECT_EQ(SectionIndex, 3);
    EXPECT_FLOAT_EQ(SectionBeat, 0.5f);
}

TEST_F(SceneTimeline, HandOverInTheGlowPassEntersScene1InTheFullPass) {
    EnterSection(0, 2, 18.5f);
    Music.seconds = SecondsForBeat(34, 0.375f);
    RenderFrame();
    EXPECT_EQ(SceneIndex, 1);
    EXPECT_EQ(SceneEntry, 0);
    EXPECT_EQ(SectionIndex, 0);
    EXPECT_NEAR(SceneBeat, 0.375f, 1e-4);
    EXPECT_EQ(Music.plays, 1);
    EXPECT_FALSE(Music.playRestart);
    EXPECT_EQ(Music.seeks, 0);  // only the first scene seeks
    // Scene 1's entry pass fades by scene 0's counter of 40.
    EXPECT_FLOAT_EQ(FadeLevel, 1.0f);
    EXPECT_FLOAT_EQ(GradeColor[1], 0.35f);
}

TEST_F(SceneTimeline, Scene1EntryResetsTheWaveStateAndFadesInFromTheNextPass) {
    EnterSection(1, 3, 5.0f);
    SceneEntry = 1;
    SceneBeat = 34.0f;
    WaveFormula = 3;
    WavePalette = 2;
    WaveSwitchBeat = 24;
    WavePhase = 100.0f;
    WaveLastBeat = 30.0f;
    Music.seconds = SecondsForBeat(34, 0.25f);
    RunScene1();
    EXPECT_FLOAT_EQ(FadeLevel, 1.0f);
    EXPECT_EQ(SceneEntry, 0);
    EXPECT_EQ(SectionIndex, 0);
    EXPECT_NEAR(SectionBeat, 0.25f, 1e-4);
    EXPECT_EQ(WaveFormula, 0);
    EXPECT_EQ(WavePalette, 0);
    EXPECT_EQ(WaveSwitchBeat, 0);
    EXPECT_FLOAT_EQ(WaveLastBeat, SectionBeat);
    // From phase 0 by the counter's growth from 0, at a pulse of 0.25^8.
    EXPECT_NEAR(WavePhase, SectionBeat * (4 * 1.5258789e-5f + 1), 1e-4);
    RunScene1();
    EXPECT_NEAR(FadeLevel, 0.25f, 1e-4);
}

TEST_F(SceneTimeline, Scene1PulseComesFromTheSignedRemainder) {
    // A non-zero section index runs only the fade, look and wave animation.
    struct Case {
        float beat, pulse;
    };
    const Case cases[] = {
        {-0.75f, 5.9604645f}, {0.5f, 1.0f}, {0.0f, 0.00390625f}, {7.0f, 0.00390625f}};
    for (const Case& c : cases) {
        EnterSection(1, 1, c.beat);
        WavePhase = 0.0f;
        WaveLastBeat = c.beat - 1.0f;
        RunScene1();
        EXPECT_NEAR((WavePhase - 1.0f) / 4.0f, c.pulse, 1e-5) << "at beat " << c.beat;
        EXPECT_FLOAT_EQ(WaveLastBeat, c.beat);
    }
}

TEST_F(SceneTimeline, Scene1SwitchesFormulaOncePerPassPastEachMultipleOf8) {
    EnterSection(1, 0, 0.0f);
    WaveFormula = WavePalette = WaveSwitchBeat = 0;
    WaveLastBeat = 0.0f;
    auto passAt = [](float beat) {
        SectionBeat = beat;
        RunScene1();
    };
    passAt(8.0f);
    EXPECT_EQ(WaveFormula, 0);
    passAt(8.01f);
    EXPECT_EQ(WaveFormula, 1);
    EXPECT_EQ(WavePalette, 1);
    passAt(16.0f);
    EXPECT_EQ(WaveFormula, 1);
    // A jump catches up one switch per pass.
    passAt(30.0f);
    EXPECT_EQ(WaveFormula, 2);
    EXPECT_EQ(WaveSwitchBeat, 16);
    passAt(30.0f);
    EXPECT_EQ(WaveFormula, 3);
    EXPECT_EQ(WavePalette, 0);
    passAt(30.0f);
    EXPECT_EQ(WaveSwitchBeat, 24);
    // The hand-over pass switches first: (formula 0, palette 1) is left behind.
    passAt(32.5f);
    EXPECT_EQ(WaveFormula, 0);
    EXPECT_EQ(WavePalette, 1);
    EXPECT_EQ(SceneIndex, 2);
    EXPECT_EQ(SceneEntry, 1);
    EXPECT_FLOAT_EQ(SectionBeat, 0.5f);
    EXPECT_GT(ClearAlpha(), 0.99f);
    EXPECT_FLOAT_EQ(GlowColor[0], 0.4f);
}

TEST_F(SceneTimeline, Scene1CameraFliesTowardsNegativeZAndDemoPlusStaysBack) {
    EnterSection(1, 0, 0.5f);
    SceneBeat = 2.0f;
    RunScene1();
    EXPECT_FLOAT_EQ(CameraPose.position[2], -6.0f);
    EXPECT_NEAR(CameraPose.position[1], 1.9f, 1e-6);  // full pulse at half a beat
    DemoSettings.demoPlus = true;
    SectionBeat = 0.5f;
    RunScene1();
    EXPECT_FLOAT_EQ(CameraPose.position[2], -14.0f);
}

TEST_F(SceneTimeline, HugeMusicPositionRunsThroughOneSectionPerPass) {
    SceneEntry = 1;
    Music.seconds = 1000.0f;
    RunScene0();  // the entry pass already ends section 0
    EXPECT_EQ(SectionIndex, 1);
    RunScene0();
    EXPECT_EQ(SectionIndex, 2);
    RunScene0();
    EXPECT_EQ(SceneIndex, 1);
    EXPECT_EQ(SceneEntry, 1);
}
