// Scene 2: the textured terrain field seen from three camera moves while day turns into night.
#include <GL/gl.h>

#include "setup/settings.h"
#include "frame/frame.h"
#include "passes/pass_state.h"
#include "geometry/models.h"
#include "geometry/terrain.h"
#include "geometry/vec3.h"
#include "scenes/scenes.h"

namespace {

constexpr int NightfallSection = 2;  // the section in which night falls
// The glow is the sunset's at the middle of the nightfall.
constexpr float SunsetBeat = SceneSections[2].lengths[NightfallSection] / 2.0f;

// Colours, red, green, blue.
const float DayHorizon[3] = {0.8f, 0.78f, 0.7f};
const float DuskHorizon[3] = {0.3f, 0.25f, 0.2f};
const float NightHorizon[3] = {0.05f, 0.06f, 0.08f};
// Day glow and grade: the look outside the nightfall, where it starts from.
const FrameLook DayLook = {{0.5f, 0.45f, 0.4f}, {0.7f, 0.75f, 0.8f}, false, 1.4f};
const float SunsetGlow[3] = {0.7f, 0.65f, -0.2f};  // the negative blue goes to the glow as it is
const float White[3] = {1, 1, 1};

enum NightfallPass { SkyPass, DayTerrainPass, NightTerrainPass, DetailPass, FlarePass, StarPass };

// Columns: texture slot, switched on, keep switches, depth writes, colour,
// blend source and destination, texture generation, polygon mode. Colours
// that depend on the night amount n are filled in per pass.
// clang-format off
const PassState NightfallPasses[6] = {
    // sky cone, drawn behind the terrain after it
    {PassNoTexture,       SkySwitches,     false, false, {1, 1, 1, 1},             GL_ONE,       GL_ONE_MINUS_SRC_ALPHA, false, GL_FILL},
    // day terrain
    {TextureDayTerrain,   TerrainSwitches, false, true,  {0.65f, 0.65f, 0.65f, 1}, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, false, GL_FILL},
    // night terrain over it with opacity n
    {TextureNightTerrain, 0,               true,  false, {0.55f, 0.55f, 0.6f, 1},  GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, false, GL_FILL},
    // detail texture, source x destination twice
    {TextureDetail,       0,               true,  false, {1, 1, 1, 1},             GL_DST_COLOR, GL_SRC_COLOR,           false, GL_FILL},
    // flare sprites, fading out with n
    {TextureFlare,        SpriteSwitches,  false, false, {0.05f, 0.05f, 0.05f, 1}, GL_ONE,       GL_ONE,                 false, GL_FILL},
    // star box, fading in with n
    {TextureStars,        TerrainSwitches, false, false, {0, 0, 0, 1},             GL_ONE,       GL_ONE,                 false, GL_FILL},
};
// clang-format on

void EnterNightfallScene() {
    // From here on, for the rest of the run, everything takes its Demo++ form.
    DemoSettings.demoPlus = true;
    EnterScene(SceneStartOffsets[2], false);
}

// The glow passes through the sunset colour at the middle of the nightfall.
void SetNightfallGlow(float b) {
    if (b < SunsetBeat) {
        LerpVec3(DayLook.glow, SunsetGlow, GlowColor, b / SunsetBeat);
    } else {
        LerpVec3(SunsetGlow, DayLook.glow, GlowColor, (b - SunsetBeat) / SunsetBeat);
    }
}

// After the nightfall section the scene hands over, leaving SectionIndex at 3.
void EndSection(float b, float length) {
    if (!(b > length))
        return;
    SectionBeat -= length;
    if (SectionIndex == NightfallSection) {
        SceneIndex += 1;
        SceneEntry = 1;
    }
    SectionIndex += 1;
}

// Places the camera, sets the nightfall look and ends the section when its
// time is up; the pass that ends it still draws with this camera. Returns
// the night amount n: 0 before the nightfall section, b / 16 in it.
float StepSection() {
    if (SectionIndex < 0 || SectionIndex > NightfallSection)
        return 0.0f;
    float b = SectionBeat;
    float length = SceneSections[2].lengths[SectionIndex];
    PlaceCameraOnMove(NightfallMoves[SectionIndex], b / length);
    float n = 0.0f;
    if (SectionIndex == NightfallSection) {
        n = b / length;
        SetNightfallGlow(b);
        GradeContrast = true;
    }
    EndSection(b, length);
    return n;
}

// The sky cone's rim: the first blend runs past dusk once n is above 0.5.
void SkyHorizon(float n, float horizon[3]) {
    float dusk[3];
    LerpVec3(LerpVec3(DayHorizon, DuskHorizon, dusk, 2 * n), NightHorizon, horizon, n);
}

// Day grade at n = 0, white at n = 1.
void SetNightfallGrade(float n, const float horizon[3]) {
    float towardsHorizon[3];
    LerpVec3(LerpVec3(DayLook.grade, horizon, towardsHorizon, 2 * n), White, GradeColor, n);
}

void DrawTerrainLayers(float n) {
    ApplyPassState(NightfallPasses[DayTerrainPass]);
    DrawTerrainTiles();
    ApplyPassState(PassWithColor(NightfallPasses[NightTerrainPass], 0.55f, 0.55f, 0.6f, n));
    if (n > 0)
        DrawTerrainTiles();
    glColor4f(1, 1, 1, 1);  // also when the night layer was skipped
    ApplyPassState(NightfallPasses[DetailPass]);
    if (DemoSettings.demoPlus)
        DrawDetailTerrain();
}

void DrawPasses(float n) {
    float horizon[3];
    SkyHorizon(n, horizon);
    SetNightfallGrade(n, horizon);
    DrawTerrainUnderSky(DrawTerrainLayers, n, NightfallPasses[SkyPass], horizon);
    float c = 0.05f - 0.05f * n;
    ApplyPassState(PassWithColor(NightfallPasses[FlarePass], c, c, c, 1));
    glTranslatef(0, 6, 0);
    DrawSpriteCloud(64, 8, 64, 12, 9);
    if (n > 0)
        DrawStarBox(PassWithColor(NightfallPasses[StarPass], n, n, n, 1), 64, 90 * n);
}

}  // namespace

void RunScene2() {
    FadeIn(0.5f);
    ApplyFrameLook(DayLook);
    if (SceneEntry)
        EnterNightfallScene();
    float n = StepSection();
    DrawPasses(n);
}
