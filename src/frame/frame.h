// The frame's state, which every room above may read: the frame clock, the
// beat counters, the scene state and the frame-look values; the camera and
// light from camera.h, the timeline from timeline.h.
#pragma once

#include <cstdint>

#include "frame/camera.h"
#include "frame/timeline.h"

struct FrameClockRecord {  // seconds
    float now = 0.0f;      // since the epoch below, which a looping demo restarts
    float previousNow = 0.0f;
    float delta = 0.0f;
    float previousDelta = 0.0f;
    float smoothedDelta = 0.0f;
};

// Counter units per second of smoothedDelta, 2 / CounterUnitSeconds to seven
// decimals. Of a frame's three clock steps (the glow pass's, the full pass's
// and the main loop's after the swap) only the two passes add to the
// counters, and their smoothed steps sum to half the frame's time: so the
// counters gain BeatRate / 2 per second, one unit per CounterUnitSeconds,
// and music seconds become units by x BeatRate / 2. The music-position
// conversions take it as a double, the counter steps as a float.
constexpr double BeatRateDouble = 2.0833333;
constexpr float BeatRate = static_cast<float>(BeatRateDouble);
static_assert(2.0 / BeatRateDouble - CounterUnitSeconds < 1e-7 &&
                  CounterUnitSeconds - 2.0 / BeatRateDouble < 1e-7,
              "BeatRate and the timeline's counter unit disagree");

// The running order: lives for the whole run, advanced by every pass.
extern FrameClockRecord FrameClock;
// Platform milliseconds at which FrameClock.now is 0: the process start, or
// the start of the first play after LoopClockRestartMilliseconds with Loop on.
extern uint32_t FrameClockEpoch;
// Platform milliseconds at the clock's last step.
extern uint32_t LastClockReading;
// A float counts seconds to 2 ms only up to 4.5 hours, to 8 ms at 18: a demo
// left looping for a day would step its animation unevenly. So the clock runs
// on across plays, as the animations that read it expect, and starts again
// from 0 only at the first new play after this long (which also keeps the
// millisecond counter's wrap from showing).
constexpr uint32_t LoopClockRestartMilliseconds = 4u * 3600 * 1000;
extern float SceneBeat;
extern float SectionBeat;
extern int32_t SceneIndex;  // 0..4 scenes, 5 the end step
extern int32_t SectionIndex;
extern int32_t SceneEntry;  // 1: the scene must initialise itself on its next pass
extern int32_t QuitRequested;

// The frame look: written by the running scene on every pass, read by the
// mask overlay and the frame composition of the same pass.
extern float FadeLevel;
extern float GradeColor[3];
extern float GlowColor[3];
extern bool GradeContrast;

// Puts all of the above, and the camera and light, back to the values the
// process starts with (the light globals only; GL's light 1 keeps what it
// was given).
void ResetSceneState();

void UpdateFrameClock();
void ResetFrameClock();
// Makes the last reading of the clock its new zero: now 0, delta unchanged.
void RestartFrameClockEpoch();
// DispatchScene's first two steps: one clock step, then both beat counters
// grow by smoothedDelta x BeatRate.
void StepBeatCounters();
