// Frame clock, beat counters, scene state and the frame-look values.
#include "frame/frame.h"

#include "platform/platform.h"

// Start values, which ResetSceneState restores.
FrameClockRecord FrameClock;
uint32_t FrameClockEpoch = 0;
uint32_t LastClockReading = 0;
float SceneBeat = 0, SectionBeat = 0;
int32_t SceneIndex = 0, SectionIndex = 0, SceneEntry = 1, QuitRequested = 0;
float FadeLevel = 1.0f;
float GradeColor[3] = {0.5f, 0.5f, 0.5f};
float GlowColor[3] = {0.5f, 0.5f, 0.5f};
bool GradeContrast = false;

void ResetSceneState() {
    FrameClock = FrameClockRecord();
    FrameClockEpoch = 0;
    SceneBeat = SectionBeat = 0;
    SceneIndex = SectionIndex = 0;
    SceneEntry = 1;
    QuitRequested = 0;
    FadeLevel = 1.0f;
    for (int c = 0; c < 3; ++c) GradeColor[c] = GlowColor[c] = 0.5f;
    GradeContrast = false;
    ResetCameraAndLight();
}

void UpdateFrameClock() {
    FrameClock.previousDelta = FrameClock.delta;
    FrameClock.previousNow = FrameClock.now;
    LastClockReading = PlatformMilliseconds();
    FrameClock.now = static_cast<float>((LastClockReading - FrameClockEpoch) / 1000.0);
    FrameClock.delta = FrameClock.now - FrameClock.previousNow;
    FrameClock.smoothedDelta = (FrameClock.delta + FrameClock.previousDelta) * 0.5f;
}

void RestartFrameClockEpoch() {
    FrameClockEpoch = LastClockReading;
    FrameClock.now = 0.0f;
}

// Three steps: the first takes the long interval, the other two push it out.
void ResetFrameClock() {
    UpdateFrameClock();
    UpdateFrameClock();
    UpdateFrameClock();
}

void StepBeatCounters() {
    UpdateFrameClock();
    float step = FrameClock.smoothedDelta * BeatRate;
    SceneBeat += step;
    SectionBeat += step;
}
