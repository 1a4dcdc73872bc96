// Frame clock, scene state and dispatcher (placeholder).
#include "frame/frame.h"

FrameClockRecord FrameClock;
float SceneBeat = 0, SectionBeat = 0;
int32_t SceneIndex = 0, SectionIndex = 0, SceneEntry = 1, QuitRequested = 0;
float FadeLevel = 1.0f;
float GradeColor[3] = {0.5f, 0.5f, 0.5f};
float GlowColor[3] = {0.5f, 0.5f, 0.5f};
bool GradeContrast = false;
CameraPoseRecord CameraPose;
float LightAmbient[4] = {-0.15f, -0.15f, -0.1f, 1.0f};
float LightDiffuse[4] = {0.9f, 0.8f, 0.7f, 1.0f};
float LightPosition[4] = {180.0f, 100.0f, 20.0f, 1.0f};
unsigned int GlowTexture = 0;

void UpdateFrameClock() {}
void ResetFrameClock() {}
void RenderFrame() {}
int DispatchScene() { return 1; }
void RunEndScene() {}
void ApplyCameraRotation() {}
void ApplyCamera() {}
void SetLight(float, float, float, float, float, float, float, float, float) {}
void CreateGlowTexture() {}
void CaptureGlow() {}
void ComposeFrame() {}
