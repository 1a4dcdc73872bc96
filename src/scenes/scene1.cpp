// Scene 1: a low flight over the wave surface, pulsing on every beat.
#include <GL/gl.h>

#include <cmath>

#include "setup/settings.h"
#include "frame/frame.h"
#include "passes/pass_state.h"
#include "geometry/models.h"
#include "geometry/wave.h"
#include "scenes/scenes.h"

float WaveLastBeat = 0.0f;
int32_t WaveSwitchBeat = 0;

namespace {

constexpr float WaveLength = SceneSections[1].lengths[0];  // one section
constexpr int32_t SwitchInterval = 8;

constexpr unsigned SurfaceSwitches = TerrainSwitches | PassLighting;

enum WavePass { SkyPass, SurfacePass, WirePass, FlarePass };

// Columns: texture slot, switched on, keep switches, depth writes, colour,
// blend source and destination, texture generation, polygon mode.
// clang-format off
const PassState WavePasses[4] = {
    // sky cone, black top and bottom, white horizon; then the camera translation
    {PassNoTexture, 0,               false, false, {1, 1, 1, 1},             GL_SRC_ALPHA, GL_ONE,                 false, GL_FILL},
    // lit solid surface; the blank texture lets the vertex colours show
    {TextureBlank,  SurfaceSwitches, false, true,  {0.7f, 0.7f, 0.7f, 1},    GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, false, GL_FILL},
    // additive wireframe; switches and depth writes as the surface left them
    {TextureBlank,  0,               true,  false, {0.5f, 0.5f, 0.5f, 1},    GL_SRC_ALPHA, GL_ONE,                 false, GL_LINE},
    // flare sprites (Demo++), likewise
    {TextureFlare,  0,               true,  false, {0.02f, 0.02f, 0.02f, 1}, GL_ONE,       GL_ONE,                 false, GL_FILL},
};
// clang-format on

const FrameLook WaveLook = {{0.4f, 0.4f, 0.4f}, {0.35f, 0.35f, 0.35f}, false, 1.4f};

void EnterWaveScene() {
    EnterScene(SceneStartOffsets[1], false);
    WaveFormula = 0;
    WavePhase = 0;
    WavePalette = 0;
    WaveLastBeat = 0;
    WaveSwitchBeat = 0;
}

void PlaceCamera(float b, float pulse) {
    float d = DemoSettings.demoPlus ? 1.0f : 0.0f;
    CameraPose.position[0] = 0;
    CameraPose.position[1] = static_cast<float>(2 - 0.1 * pulse);
    CameraPose.position[2] = -3 * SceneBeat - 8 * d;
    CameraPose.angles[0] = static_cast<float>(5 * std::sin(0.3 * b) - 10);
    CameraPose.angles[1] = static_cast<float>(10 * std::cos(0.29 * b));
    CameraPose.angles[2] = static_cast<float>(10 * std::sin(0.28 * b));
}

void DrawPasses() {
    float z = CameraPose.position[2];
    glLoadIdentity();
    ApplyCameraRotation();
    ApplyPassState(WavePasses[SkyPass]);
    DrawSkyCone(0, 0, 0, 1, 1, 1, 0, 0, 0);
    ApplyCameraTranslation();
    ApplyPassState(WavePasses[SurfacePass]);
    SetLight(-0.5f, -0.48f, -0.48f, 1, 1, 1, 4000, 4000, z);
    glTranslatef(0, 0, -16);
    DrawWaveSurface(0, z);
    ApplyPassState(WavePasses[WirePass]);
    glTranslatef(0, 0.01f, 0);
    DrawWaveOutlines(0, z);
    ApplyPassState(WavePasses[FlarePass]);
    if (DemoSettings.demoPlus)
        DrawSpriteCloud(99, 99, 99, 64, 9);
}

// At most one switch per pass, so a jump of the counter catches up pass by pass.
void SwitchFormula(float b) {
    if (b - WaveSwitchBeat > SwitchInterval) {
        WaveSwitchBeat += SwitchInterval;
        WaveFormula = (WaveFormula + 1) % 4;
        WavePalette = (WavePalette + 1) % 3;
    }
}

}  // namespace

void RunScene1() {
    FadeIn(1);
    ApplyFrameLook(WaveLook);
    if (SceneEntry)
        EnterWaveScene();
    float b = SectionBeat;
    float pulse = BeatPulse(b);
    WavePhase += (b - WaveLastBeat) * (4 * pulse + 1);
    WaveLastBeat = b;
    if (SectionIndex != 0)
        return;
    PlaceCamera(b, pulse);
    DrawPasses();
    SwitchFormula(b);
    if (b > WaveLength) {
        SectionIndex += 1;
        SceneIndex += 1;
        SceneEntry = 1;
        SectionBeat -= WaveLength;
    }
}
