// The show from its start to its end, in the order it runs: the start-up,
// which loads everything while the intro plays; the main loop's step, two
// passes of the running scene with the glow between them; the end step.
#include "show/show.h"

#include <GL/gl.h>
#include <malloc.h>

#include "show/intro.h"
#include "scenes/scenes.h"
#include "passes/glow.h"
#include "passes/pass_state.h"
#include "resources/images.h"
#include "setup/render_state.h"
#include "setup/settings.h"
#include "setup/viewport.h"
#include "frame/frame.h"

// ---- Start-up --------------------------------------------------------------

// The fixed GL state, then the intro: audio on, the black wait, the jingle
// and the logo's fade-in, the soundtrack, font, glow texture, texture table
// and display lists loaded behind the logo, its hold and its fade to black.
bool InitRenderState() {
    InitFixedRenderState();
    RunLoadingSequence();
    return true;
}

// ---- The main loop's step --------------------------------------------------

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

// ---- The end step ----------------------------------------------------------

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
