// The renderer's virtual time: which picture each output frame shows, what
// the engine's clock reads, how much audio each frame gets, and the rate the
// beat counters run at under the main loop's pattern of clock steps.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "frame/frame.h"
#include "platform/platform.h"
#include "render_timeline.h"

namespace {

std::vector<int> ShownPicture;   // per emitted slot, the picture it shows
std::vector<int64_t> SlotAudio;  // per emitted slot, audio frames pulled before its instant
int CurrentPicture = -1;
int64_t AudioPulled = 0;

void CountAudio(int64_t first, int64_t count) {
    EXPECT_EQ(first, AudioPulled);  // contiguous, never twice
    AudioPulled += count;
}
void RecordSlot(int64_t slot) {
    EXPECT_EQ(static_cast<int64_t>(ShownPicture.size()), slot);
    ShownPicture.push_back(CurrentPicture);
    SlotAudio.push_back(AudioPulled);
}
const TimelineSinks Sinks = {CountAudio, RecordSlot};

RenderTimeline Timeline;

class TimelineTest : public ::testing::Test {
   protected:
    void SetUp() override {
        ShownPicture.clear();
        SlotAudio.clear();
        CurrentPicture = -1;
        AudioPulled = 0;
        Timeline = RenderTimeline();
    }
    void Present(int picture) {
        CurrentPicture = picture;
        PresentOnTimeline(Timeline, Sinks);
    }
};

TEST_F(TimelineTest, AudioPerFrameIsExactAndFractionalRatesDoNotDrift) {
    FrameRate sixty{60, 1};
    for (int64_t n = 0; n < 600; ++n)
        EXPECT_EQ(SlotFirstSample(sixty, n + 1) - SlotFirstSample(sixty, n), 735);
    FrameRate ntsc{60000, 1001};
    for (int64_t n = 0; n < 60000; ++n) {
        int64_t count = SlotFirstSample(ntsc, n + 1) - SlotFirstSample(ntsc, n);
        ASSERT_TRUE(count == 735 || count == 736) << n;
    }
    // 60000 frames of 60000/1001 last exactly 1001 s.
    EXPECT_EQ(SlotFirstSample(ntsc, 60000), 44100 * 1001);
    EXPECT_EQ(SlotAtOrAfter(FrameRate{10, 1}, 16.0), 160);
    EXPECT_EQ(SlotAtOrAfter(ntsc, 1.0), 60);
}

// The main loop: two clock reads in RenderFrame, the present, one read after it.
TEST_F(TimelineTest, MainLoopFramesReadTheirOwnTimeAndEachShowOnce) {
    Timeline.rate = FrameRate{60, 1};
    for (int n = 0; n < 120; ++n) {
        uint32_t expected = static_cast<uint32_t>(n * 1000 / 60);
        EXPECT_EQ(ReadTimelineClock(Timeline, Sinks), expected);
        EXPECT_EQ(ReadTimelineClock(Timeline, Sinks), expected);
        Present(n);
        ReadTimelineClock(Timeline, Sinks);
    }
    ASSERT_EQ(ShownPicture.size(), 120u);
    for (int n = 0; n < 120; ++n) {
        EXPECT_EQ(ShownPicture[n], n);
        EXPECT_EQ(SlotAudio[n], 735 * n);
    }
}

// The loading sequence's busy loops draw nothing: time must still pass, and
// the frames of that time hold the last picture.
TEST_F(TimelineTest, BusyLoopsWithoutPresentHoldThePictureForTheirTime) {
    Timeline.rate = FrameRate{10, 1};
    Timeline.loadingClock = true;
    Present(7);
    // Three reads back to back (a clock reset) cost two milliseconds, not frames.
    for (int k = 0; k < 3; ++k) ReadTimelineClock(Timeline, Sinks);
    EXPECT_EQ(TimelineMilliseconds(Timeline), 102u);
    while (TimelineMilliseconds(Timeline) < 5001) ReadTimelineClock(Timeline, Sinks);
    ASSERT_EQ(ShownPicture.size(), 51u);
    for (int shown : ShownPicture) EXPECT_EQ(shown, 7);
    // A present between slot instants moves time to the next instant; a
    // picture replaced before any instant is never shown.
    Present(8);
    EXPECT_EQ(TimelineMilliseconds(Timeline), 5100u);
    EXPECT_EQ(ShownPicture.size(), 51u);
    Present(9);
    ASSERT_EQ(ShownPicture.size(), 52u);
    EXPECT_EQ(ShownPicture[51], 9);
}

// Under the main loop's steps the counters advance BeatRate / 2 a second, the
// rate the scenes' music-derived starting values assume.
TEST_F(TimelineTest, BeatCountersRunAtHalfTheBeatRate) {
    static RenderTimeline* live = &Timeline;
    Timeline.rate = FrameRate{60, 1};
    Platform.elapsedMilliseconds = [] { return ReadTimelineClock(*live, Sinks); };
    FrameClock = FrameClockRecord();
    SceneBeat = 0;
    float atOneSecond = 0;
    for (int n = 0; n < 60 * 31; ++n) {
        if (n == 60)
            atOneSecond = SceneBeat;  // past the first frame, which has no previous step
        StepBeatCounters();           // glow pass
        StepBeatCounters();           // full pass
        Present(n);
        UpdateFrameClock();
    }
    ResetPlatformDefaults();
    EXPECT_NEAR(SceneBeat - atOneSecond, 30 * BeatRate * 0.5f, 0.005f);
}

}  // namespace
