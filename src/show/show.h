// The show as both programs run it, in its order: the start-up, the step of
// the main loop (one frame) and the end step. The intro that runs inside the
// start-up is in intro.h.
#pragma once

// Start-up, once, with the GL context current and DemoSettings holding the
// client size: the fixed GL state, then the intro (RunLoadingSequence), which
// loads the show while the logo is up. Returns on a black screen. Always true.
bool InitRenderState();

// The main loop's step: the glow pass in the 64x64 corner, the glow's
// capture, the full pass, the composition. Presenting it is the caller's.
void RenderFrame();
// One pass: a clock step and the counters, the running scene (or the end
// step), the reset state, the mask overlay. Always 1.
int DispatchScene();

// The end step, SceneIndex EndSceneIndex: black for EndStepLength units, then
// the first scene again with Loop on, else QuitRequested.
void RunEndScene();
