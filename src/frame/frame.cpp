// Frame clock, beat counters, scene state, the two passes of a frame, the
// scene dispatcher with its mask overlay, and the end-of-demo step.
#include "frame/frame.h"

#include <GL/gl.h>
#include <malloc.h>

#include "setup/settings.h"
#include "setup/viewport.h"
#include "frame/pass_state.h"
#include "platform/platform.h"
#include "resources/images.h"
#include "scenes/scenes.h"

// Start values, which ResetSceneState restores.
FrameClockRecord FrameClock;
uint32_t FrameClockEpoch = 0;
static uint32_t LastClockReading = 0;  // platform milliseconds at the last step
float SceneBeat = 0, SectionBeat = 0;
int32_t SceneIndex = 0, SectionIndex = 0, SceneEntry = 1, QuitRequested = 0;
float FadeLevel = 1.0f;
float GradeColor[3] = {0.5f, 0.5f, 0.5f};
float GlowColor[3] = {0.5f, 0.5f, 0.5f};
bool GradeContrast = false;

namespace {
// What every scene may rely on after it: the dispatcher's reset.
// clang-format off
const PassState ResetPass =
    {PassNoTexture, TerrainSwitches, false, true, {1, 1, 1, 1}, GL_ONE, GL_ONE, false, GL_FILL};
// clang-format on

void RunSceneByIndex() {
    if (SceneIndex >= 0 && SceneIndex < SceneCount) {
        if (SceneTable[SceneIndex])
            SceneTable[SceneIndex]();
    } else if (SceneIndex == EndSceneIndex) {
        RunEndScene();
    }
}

// Multiplies the frame by the mask image tinted by FadeLevel.
void DrawMaskOverlay() {
    BeginOverlay2D();
    // clang-format off
    PassState mask = {TextureMask, SpriteSwitches, false, false,
                      {FadeLevel, FadeLevel, FadeLevel, 1.0f}, GL_ZERO, GL_SRC_COLOR, false, GL_FILL};
    // clang-format on
    ApplyPassState(mask);
    DrawUnitTexturedQuad(0.0f, 0.0f, 1.0f, 1.0f);
    EndOverlay2D();
}

void MarkStep(const char* label) {
    if (PassMark)
        PassMark(label, PassNoTexture);
}
}  // namespace

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

void RenderFrame() {
    // Glow pass: the whole picture squeezed into the 64x64 corner, thin lines.
    MarkStep("glow pass");
    glViewport(0, 0, 64, 64);
    glLineWidth(1.0f);
    DispatchScene();
    MarkStep("glow capture");
    CaptureGlow();
    MarkStep("full pass");
    glLineWidth(static_cast<float>(DemoSettings.height / 100.0));
    glViewport(0, 0, DemoSettings.width, DemoSettings.height);
    DispatchScene();
    MarkStep("compose");
    ComposeFrame();
}

int DispatchScene() {
    StepBeatCounters();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    MarkStep("scene set-up");
    RunSceneByIndex();
    ApplyPassState(ResetPass);
    glClear(GL_DEPTH_BUFFER_BIT);
    DrawMaskOverlay();
    return 1;
}

void RunEndScene() {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    if (SceneEntry) {
        SceneEntry = 0;
        SectionBeat = 0.0f;
        SceneBeat = 0.0f;
        return;
    }
    if (SceneBeat > EndStepLength) {
        if (DemoSettings.loop) {
            // With Loop on the demo may run for days: what the last play
            // freed (the GL driver's scene memory, mostly) goes back to the
            // system, so the resident size does not creep up.
            malloc_trim(0);
            if (LastClockReading - FrameClockEpoch >= LoopClockRestartMilliseconds)
                RestartFrameClockEpoch();
            SceneIndex = 0;
            SceneEntry = 1;
        } else {
            QuitRequested = 1;
        }
    }
}
