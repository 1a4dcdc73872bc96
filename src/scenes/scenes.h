// The five scenes of the timeline; DispatchScene calls SceneTable[SceneIndex].
#pragma once

#include <cstdint>

#include "passes/pass_state.h"
#include "resources/audio.h"
#include "scenes/camera_paths.h"
#include "frame/timeline.h"

typedef void (*SceneFunction)();
// One entry a scene; a null entry draws nothing.
extern SceneFunction SceneTable[SceneCount];

void RunScene0();
void RunScene1();
void RunScene2();
void RunScene3();
void RunScene4();

// The scenes' calls on the soundtrack. They default to the audio layer;
// tests replace them to set the music position by hand and to see what an
// entry asked for.
struct SceneMusicInterface {
    bool (*play)(AudioHandle channel, bool restart);
    bool (*setPosition)(AudioHandle handle, uint64_t bytes);
    float (*seconds)();
};
extern SceneMusicInterface SceneMusic;
void ResetSceneMusicDefaults();

// The entry step every scene runs on its first pass: clears SceneEntry,
// section 0, plays the soundtrack without restart (and seeks it to its start
// when asked), sets both beat counters from the music position minus the
// scene's start offset, and resets the frame clock. roundBeforeOffset rounds
// the music beat to a float before the offset is taken (the closing scene);
// otherwise the difference is rounded.
void EnterScene(float startOffset, bool seekToStart, bool roundBeforeOffset = false);

// The window's step after a frame is on screen: a frame shows its counters
// the time of a full pass and a swap after they were read, so the counters
// are kept ahead of the clock by that time, smoothed (given here as the
// clock step from the full pass to after the swap). A scene just entered,
// its counters set from what is heard, gains the whole lead at once;
// afterwards only its changes. The headless renderer, whose clock is
// virtual, never calls it.
void KeepCountersAheadOfScreen(float fullPassToScreen);
// The entry's part of that step: the counters hold none of the lead.
void ForgetScreenLead();

// What a scene sets on every pass for the frame composition, one row a scene.
struct FrameLook {
    float glow[3];     // GlowColor, red, green, blue
    float grade[3];    // GradeColor; 0.5 in a channel leaves it unchanged
    bool contrast;     // GradeContrast
    float clearAlpha;  // of the black clear colour, passed as it is (1.4 in most scenes)
};
// Sets GlowColor, GradeColor, GradeContrast and the clear colour (it takes
// effect at the next pass's clear).
void ApplyFrameLook(const FrameLook& look);
// FadeLevel := SceneBeat x perUnit, at most 1. The scenes run it before their
// entry, so the entry pass still fades by the counter the previous scene left.
void FadeIn(float perUnit);

// The beat pulse of the wave and night scenes: 1 at every whole beat plus one
// half, falling steeply over the next beat; above 1 for negative counters,
// where fmod keeps the dividend's sign. The fmod in double, each squaring in
// float.
float BeatPulse(float b);

// Scene 1's wave state: the section counter at the previous pass and the
// multiple of 8 at which the height formula last switched.
extern float WaveLastBeat;
extern int32_t WaveSwitchBeat;

// The sky cone drawn behind the terrain (DrawSkyBehindTerrain); the other
// shared switch sets are in pass_state.h.
constexpr unsigned SkySwitches = PassBlend | PassDepthTest;

// CameraPose at t along the move (0 at its start, 1 at its end).
void PlaceCameraOnMove(const CameraMove& move, float t);

// Layers the terrain scenes 2 and 3 share.
// A copy of a pass-table row with a colour computed for this pass.
PassState PassWithColor(const PassState& pass, float r, float g, float b, float a);
// The sky cone (colours at its top, rim and bottom) drawn after an opaque
// terrain layer, where none was drawn: at the far end of the depth range,
// tested (the pass switches the depth test on) and not written, so the
// pixels the terrain covers are never shaded twice. The cone's alpha is 1
// and its blend keeps none of what is under it, as does the terrain's, so
// the picture is the one of the cone drawn first. Current colour, normal and
// texture coordinate stay as they were.
void DrawSkyBehindTerrain(const PassState& pass, const float top[3], const float rim[3],
                          const float bottom[3]);
// The terrain field under its sky, as scenes 2 and 3 draw it: identity and
// the camera's rotation; layers(amount) in world coordinates; the sky cone
// (black top and bottom, horizon at its rim) behind them with skyPass; then
// the world translation again for what follows.
void DrawTerrainUnderSky(void (*layers)(float amount), float amount, const PassState& skyPass,
                         const float horizon[3]);
// The terrain tiles again with the detail texture repeated 8 times across
// each texture repeat; the texture matrix is identity again afterwards.
void DrawDetailTerrain();
// The star box around the viewer: identity, camera rotation, the pass's
// state, a cube of half size `size` turned by `angle` degrees about
// (-1, -1, -1), textured twice over and, with Demo++, once more twice as finely.
void DrawStarBox(const PassState& pass, float size, float angle);

// Scene 4's credits: one line per 4 units of SectionBeat in section 1, each
// placed by a world translation applied after the camera.
struct CreditLine {
    const char* text;  // Latin-1; the fifth line is empty
    float position[3];
};
constexpr int CreditLineCount = 5;
extern const CreditLine CreditLines[CreditLineCount];
// The credit shown at a section counter: trunc(b / 4), held at the empty
// last line once the counter overshoots the section.
int CreditLineIndex(float sectionBeat);
// Brightness of the credit: |sin(b x pi / 4)|, 0 at each line's change.
float CreditPulse(float sectionBeat);

// Scene 4's greetings, scrolled past from right to left in table order.
constexpr int GreetingCount = 18;
extern const char* const GreetingNames[GreetingCount];
constexpr float GreetingScale = 2.0f;  // drawing units per nominal font size
// World position of each greeting name at a scene counter (y as drawn, before
// the y mirror). Reseeds the shared generator with 6.
void ComputeGreetingPositions(float sceneBeat, float positions[GreetingCount][3]);
// x of greeting i without its sideways wobble of up to 3 units.
float GreetingBaseX(int i, float sceneBeat);

// Scene 4's camera: a straight glide from (0, 1, 86) to (0, -1, 32) over 54
// units while the tilt and roll level out; written into CameraPose.
void PlaceClosingCamera(float sceneBeat);
// The fan of 50 waving lines (start and end point each), world units.
constexpr int LineFanCount = 50;
void ComputeLineFan(float sceneBeat, float vertices[2 * LineFanCount][3]);
