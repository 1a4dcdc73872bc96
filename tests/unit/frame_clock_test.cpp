// Frame clock and beat counters driven by a hand-set clock.
#include <gtest/gtest.h>

#include "frame/frame.h"
#include "platform/platform.h"
#include "scenes/scenes.h"

namespace {
struct FrameClockTest : testing::Test {
    void SetUp() override {
        UseManualClock(1000);
        FrameClockEpoch = 0;
        ResetFrameClock();
        SceneBeat = SectionBeat = 0.0f;
    }
    void TearDown() override { ResetPlatformDefaults(); }
};

// One frame of the main loop: glow pass, full pass, then the after-swap step;
// a, b, c are the milliseconds before each of them.
void RunFrame(uint32_t a, uint32_t b, uint32_t c) {
    ManualClockMilliseconds += a;
    StepBeatCounters();
    ManualClockMilliseconds += b;
    StepBeatCounters();
    ManualClockMilliseconds += c;
    UpdateFrameClock();
}
}  // namespace

TEST_F(FrameClockTest, ReadsWholeMillisecondsAndSmoothsTwoSteps) {
    ManualClockMilliseconds = 1234;
    UpdateFrameClock();
    EXPECT_FLOAT_EQ(FrameClock.now, 1.234f);
    EXPECT_FLOAT_EQ(FrameClock.previousNow, 1.0f);
    EXPECT_NEAR(FrameClock.delta, 0.234f, 1e-6);
    EXPECT_NEAR(FrameClock.smoothedDelta, 0.117f, 1e-6);
    ManualClockMilliseconds = 1250;
    UpdateFrameClock();
    EXPECT_NEAR(FrameClock.previousDelta, 0.234f, 1e-6);
    EXPECT_NEAR(FrameClock.smoothedDelta, (0.234f + 0.016f) / 2, 1e-6);
}

TEST_F(FrameClockTest, ResetAbsorbsAPauseOfSeconds) {
    RunFrame(5, 5, 20);
    ManualClockMilliseconds += 7000;
    ResetFrameClock();
    EXPECT_FLOAT_EQ(FrameClock.now, ManualClockMilliseconds / 1000.0f);
    EXPECT_EQ(FrameClock.delta, 0.0f);
    EXPECT_EQ(FrameClock.previousDelta, 0.0f);
    EXPECT_EQ(FrameClock.smoothedDelta, 0.0f);
    float before = SceneBeat;
    RunFrame(4, 4, 8);
    EXPECT_NEAR(SceneBeat - before, BeatRate * (0.004f + 0.004f / 2), 1e-5);
}

TEST_F(FrameClockTest, CountersGrowByATermAndHalfOfBAndPreviousC) {
    RunFrame(3, 5, 20);
    RunFrame(3, 5, 40);  // this frame's c only counts in the next frame
    float scene = SceneBeat, section = SectionBeat;
    RunFrame(3, 5, 20);
    float expected = BeatRate * (0.003f + (0.005f + 0.040f) / 2);
    EXPECT_NEAR(SceneBeat - scene, expected, 1e-5);
    EXPECT_NEAR(SectionBeat - section, expected, 1e-5);
}

// After a day, a float holds seconds only to 8 ms: a looping demo counts each
// new play from 0, so its steps stay exact to the millisecond.
TEST_F(FrameClockTest, ANewPlayAfterADayStepsByWholeMilliseconds) {
    ManualClockMilliseconds = 20u * 3600 * 1000 + 7;
    UpdateFrameClock();
    RestartFrameClockEpoch();
    EXPECT_EQ(FrameClock.now, 0.0f);
    for (uint32_t step : {16u, 17u, 16u}) {
        ManualClockMilliseconds += step;
        UpdateFrameClock();
        EXPECT_NEAR(FrameClock.delta, step / 1000.0f, 1e-6f);
    }
}

// The window's frames keep the counters ahead by the smoothed time to the
// screen; a hitch of about 21 frame times grows that lead and then shrinks
// it, and no pass may see the counters lower than the pass before. The lead
// is still handed back in full: at the end the counters are ahead of the
// same frames without the lead by the steady 10 ms.
float RunFramesWithAHitch(bool keepAhead) {
    ForgetScreenLead();
    float seen = SceneBeat;
    for (int frame = 0; frame < 120; ++frame) {
        for (uint32_t ms : {3u, 3u}) {
            ManualClockMilliseconds += ms;
            StepBeatCounters();
            EXPECT_GE(SceneBeat, seen) << "frame " << frame;
            seen = SceneBeat;
        }
        ManualClockMilliseconds += frame == 30 ? 350 : 10;
        UpdateFrameClock();
        if (keepAhead)
            KeepCountersAheadOfScreen(FrameClock.delta);
    }
    return SceneBeat;
}

TEST_F(FrameClockTest, AHitchNeverTakesTheCountersBack) {
    float ahead = RunFramesWithAHitch(true);
    SetUp();
    EXPECT_NEAR(ahead - RunFramesWithAHitch(false), 0.010f * BeatRate * 0.5f, 1e-4f);
}
