// Virtual time of the headless renderer: output frame slots at n / fps, the
// engine's millisecond clock read from that time, and the audio samples that
// belong to each slot.
#pragma once

#include <cstdint>

#include "frame/frame.h"
#include "frame/timeline.h"

constexpr int64_t RenderAudioRate = 44100;  // Hz, interleaved stereo

// Output time the logo sequence and the timeline take, for estimates only:
// 5 + 10 + 3 + 4 s of intro, then the scenes and the end step.
constexpr double IntroSecondsEstimate = 22.0;
constexpr double DemoSecondsEstimate = (TimelineEnd + EndStepLength) * CounterUnitSeconds;

struct FrameRate {
    int64_t num = 60;  // frames per second = num / den, reduced
    int64_t den = 1;
};

// Time counts ticks of 1 / (1000 x num) s: a frame is 1000 x den ticks and a
// millisecond num ticks, so frame times and clock readings stay exact.
struct RenderTimeline {
    FrameRate rate;
    int64_t ticks = 0;
    int64_t nextSlot = 0;       // first slot whose picture is not fixed yet
    int64_t samplesPulled = 0;  // audio frames mixed so far
    // Set while the loading sequence runs: a clock read that follows another
    // read with no present between is a pass of a busy loop that draws
    // nothing, and moves time on by one millisecond.
    bool loadingClock = false;
    bool presentSinceRead = true;
};

// Where time goes. pullAudio mixes the next `count` audio frames, starting at
// audio frame `first`; emitSlot fixes the picture of slot `slot`.
struct TimelineSinks {
    void (*pullAudio)(int64_t first, int64_t count);
    void (*emitSlot)(int64_t slot);
};

int64_t SlotTicks(const FrameRate& rate, int64_t slot);
double SlotSeconds(const FrameRate& rate, int64_t slot);
// First audio frame of a slot: floor(slot x RenderAudioRate x den / num), so the
// fractional parts of rates like 60000/1001 are carried, never dropped.
int64_t SlotFirstSample(const FrameRate& rate, int64_t slot);
int64_t TicksToSamples(const FrameRate& rate, int64_t ticks);
// First slot at or after `seconds`.
int64_t SlotAtOrAfter(const FrameRate& rate, double seconds);
uint32_t TimelineMilliseconds(const RenderTimeline& timeline);

// Moves time forward to `ticks`: mixes the audio up to then, and fixes every
// slot whose instant has now passed.
void AdvanceTimeline(RenderTimeline& timeline, int64_t ticks, const TimelineSinks& sinks);
// The engine reads its clock (see loadingClock).
uint32_t ReadTimelineClock(RenderTimeline& timeline, const TimelineSinks& sinks);
// A picture was presented at the current time: it is what every slot shows
// until the next present, and time moves on to the next slot's instant.
void PresentOnTimeline(RenderTimeline& timeline, const TimelineSinks& sinks);
