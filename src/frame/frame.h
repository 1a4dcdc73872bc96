// Frame clock, beat counters, scene state, frame-look values, the two passes
// of a frame and the scene dispatcher, camera and light helpers.
#pragma once

#include <cstdint>

struct FrameClockRecord {  // seconds
    float now = 0.0f;      // since the epoch below, which a looping demo restarts
    float previousNow = 0.0f;
    float delta = 0.0f;
    float previousDelta = 0.0f;
    float smoothedDelta = 0.0f;
};

struct CameraPoseRecord {
    float position[3] = {0, 0, 0};  // world units
    float angles[3] = {0, 0, 0};    // degrees about x, y, z
};

// Counter units per second of smoothedDelta: 125/60 to seven decimals. The
// music-position conversions take it as a double, the counter steps as a float.
constexpr double BeatRateDouble = 2.0833333;
constexpr float BeatRate = static_cast<float>(BeatRateDouble);

// The running order: lives for the whole run, advanced by every pass.
extern FrameClockRecord FrameClock;
// Platform milliseconds at which FrameClock.now is 0: the process start on
// the first play, the start of each new play with Loop on.
extern uint32_t FrameClockEpoch;
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

// Camera and light 1: written by the scenes on every pass before they draw.
extern CameraPoseRecord CameraPose;
extern float LightAmbient[4];
extern float LightDiffuse[4];
extern float LightPosition[4];

// Puts all of the above back to the values the process starts with (the
// light globals only; GL's light 1 keeps what it was given).
void ResetSceneState();
void ResetCameraAndLight();  // the last group alone

void UpdateFrameClock();
void ResetFrameClock();
// Makes the last reading of the clock its new zero: now 0, delta unchanged.
void RestartFrameClockEpoch();
// DispatchScene's first two steps: one clock step, then both beat counters
// grow by smoothedDelta x BeatRate.
void StepBeatCounters();
void RenderFrame();
int DispatchScene();
void RunEndScene();
void ApplyCameraRotation();
// Moves the world by -CameraPose.position: after the rotation and the sky,
// the rest of a scene draws in world coordinates.
void ApplyCameraTranslation();
void ApplyCamera();  // rotation, then translation
void SetLight(float ar, float ag, float ab, float dr, float dg, float db, float px, float py,
              float pz);

// Glow capture and frame composition. GlowTexture is made once at start-up
// and kept until the process ends.
extern unsigned int GlowTexture;
void CreateGlowTexture();
void CaptureGlow();
void ComposeFrame();
