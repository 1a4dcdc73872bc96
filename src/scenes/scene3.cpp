// Scene 3: a spinning cube and a lattice shell floating over the night terrain.
#include <GL/gl.h>

#include <cmath>

#include "setup/settings.h"
#include "frame/frame.h"
#include "passes/pass_state.h"
#include "geometry/lattice.h"
#include "geometry/models.h"
#include "geometry/terrain.h"
#include "geometry/vec3.h"
#include "scenes/scenes.h"

namespace {

constexpr float SectionLength = SceneSections[3].lengths[0];  // all four sections alike
static_assert(SceneSections[3].lengths[1] == SectionLength &&
                  SceneSections[3].lengths[2] == SectionLength &&
                  SceneSections[3].lengths[3] == SectionLength,
              "the group's drift and the moves assume four equal sections");
constexpr int LastSection = 3;
constexpr float ShownAbove = 0.01f;  // lattice and sprites are drawn above this amount

const float SkyHorizon[3] = {0.05f, 0.06f, 0.08f};
const FrameLook NightLook = {{0.5f, 0.45f, 0.4f}, {1, 1, 1}, false, 1.4f};

// What the group shows in a section.
struct GroupContent {
    float lights;   // L: green light sprites and the terrain's green tint
    float lattice;  // Q: the lattice shell, drawn at half of this as alpha
    bool cubeShown;
};

enum NightPass {
    SkyPass,
    TerrainPass,
    DetailPass,
    SilhouettePass,
    LitCubePass,
    LatticePass,
    LightPass,
    StarPass
};

// Columns: texture slot, switched on, keep switches, depth writes, colour,
// blend source and destination, texture generation, polygon mode. Colours
// that depend on L are filled in per pass.
// clang-format off
const PassState NightPasses[8] = {
    // sky cone, drawn behind the terrain after it
    {PassNoTexture,       SkySwitches,                                 false, false, {1, 1, 1, 1},            GL_ONE,       GL_ONE_MINUS_SRC_ALPHA, false, GL_FILL},
    // night terrain, tinted green by L
    {TextureNightTerrain, TerrainSwitches,                             false, true,  {0.55f, 0.55f, 0.6f, 1}, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, false, GL_FILL},
    // detail texture, source x destination twice
    {TextureDetail,       0,                                           true,  false, {1, 1, 1, 1},            GL_DST_COLOR, GL_SRC_COLOR,           false, GL_FILL},
    // the cube's black silhouette, all faces
    {PassNoTexture,       PassDepthTest,                               false, true,  {0, 0, 0, 1},            GL_ONE,       GL_ZERO,                false, GL_FILL},
    // the lit cube over it, back faces culled
    {PassNoTexture,       PassLighting | PassCullFace | PassDepthTest, false, true,  {0.55f, 0.55f, 0.6f, 1}, GL_ONE,       GL_ZERO,                false, GL_FILL},
    // lattice shell
    {TextureFlare,        SpriteSwitches,                              false, false, {0.55f, 0.55f, 0.6f, 1}, GL_SRC_ALPHA, GL_ONE,                 false, GL_FILL},
    // green light sprites
    {TextureLights,       TerrainSwitches,                             false, false, {0, 0, 0, 1},            GL_ONE,       GL_ONE_MINUS_SRC_COLOR, false, GL_FILL},
    // star box
    {TextureStars,        TerrainSwitches,                             false, false, {0.9f, 0.9f, 0.9f, 1},   GL_ONE,       GL_ONE,                 false, GL_FILL},
};
// clang-format on

GroupContent ContentOf(int section, float t) {
    switch (section) {
        case 0:
            return {t, t, false};
        case 1:
            return {1, static_cast<float>(1.0 - static_cast<double>(t)), true};
        case 2:
        case 3:
            return {1, 0, true};
        default:
            return {0, 0, false};
    }
}

// The last section fades to black over its last half unit (32 - 2b is above
// 1 before that and acts as 1) and hands over; SectionIndex stays 3.
void EndSection(float b) {
    if (SectionIndex < LastSection) {
        if (b > SectionLength) {
            SectionIndex += 1;
            SectionBeat -= SectionLength;
        }
        return;
    }
    FadeLevel = 32 - 2 * b;
    if (b > SectionLength) {
        SectionBeat -= SectionLength;
        SceneIndex += 1;
        SceneEntry = 1;
    }
}

// Places the camera and decides the group's content, then ends the section
// when its time is up; the pass that ends it still draws with these values.
GroupContent StepSection() {
    if (SectionIndex < 0 || SectionIndex > LastSection)
        return ContentOf(SectionIndex, 0);
    float b = SectionBeat;
    float t = b / SectionLength;
    PlaceCameraOnMove(NightMoves[SectionIndex], t);
    GroupContent content = ContentOf(SectionIndex, t);
    EndSection(b);
    return content;
}

// The night terrain, tinted green by the light sprites' amount.
void DrawTerrainLayers(float lights) {
    ApplyPassState(PassWithColor(NightPasses[TerrainPass], 0.55f, 0.55f + 0.2f * lights, 0.6f, 1));
    DrawTerrainTiles();
    ApplyPassState(NightPasses[DetailPass]);
    if (DemoSettings.demoPlus)
        DrawDetailTerrain();
}

// In the group's frame; from section 2 on the second light replaces the
// first and its ambient flashes green-yellow on every pulse.
void SetCubeLights(float p) {
    const float* at = CameraPose.position;
    SetLight(-0.4f, -0.4f, -0.2f, 0.5f, 1, 0.5f, at[0], at[1] + 5, at[2]);
    if (SectionIndex > 1)
        SetLight(2 * p - 0.4f, p - 0.4f, 0.5f * p - 0.2f, 0.5f, 1, 0.5f, at[0] + 2, at[1] + 5,
                 at[2] + 3);
}

// A black silhouette writes depth for every face; the lit cube then passes
// the depth test at equal depth on its outward faces.
void DrawLitCube(float p) {
    float phase = SectionBeat * 0.5f + 20;
    ApplyPassState(NightPasses[SilhouettePass]);
    DrawSpinningCube(phase);
    ApplyPassState(NightPasses[LitCubePass]);
    SetCubeLights(p);
    DrawSpinningCube(phase);
}

// The group drifts from NightGroupFrom to NightGroupTo in every section and swells
// on the pulse. The push and the pop are unconditional.
void DrawGroup(float p, const GroupContent& content) {
    float b = SectionBeat;
    glPushMatrix();
    float at[3];
    LerpVec3(NightGroupFrom, NightGroupTo, at, b / SectionLength);
    glTranslatef(at[0], at[1], at[2]);
    float s = 1 + 0.1f * p;
    glScalef(s, s, s);
    if (content.cubeShown)
        DrawLitCube(p);
    ApplyPassState(NightPasses[LatticePass]);
    if (content.lattice > ShownAbove)
        DrawLatticeShell(b * 0.5f + 20, content.lattice * 0.5f);
    glColor4f(0, 0, 0, 1);
    glPopMatrix();
}

void DrawLightSprites(float lights) {
    ApplyPassState(
        PassWithColor(NightPasses[LightPass], 0.1f * lights, 0.2f * lights, 0.1f * lights, 1));
    if (lights > ShownAbove) {
        glTranslatef(0, 16, 0);
        DrawSpriteCloud(32, 8, 32, 10, 5);
    }
}

}  // namespace

// The drawing reads SectionBeat as it stands after the section step, so the
// pass that ends a section already draws the group and stars at the new count.
void RunScene3() {
    FadeLevel = 1;  // no fade-in: the nightfall cuts straight into this scene
    ApplyFrameLook(NightLook);
    if (SceneEntry)
        EnterScene(SceneStartOffsets[3], false);
    float p = BeatPulse(SectionBeat);
    GroupContent content = StepSection();
    DrawTerrainUnderSky(DrawTerrainLayers, content.lights, NightPasses[SkyPass], SkyHorizon);
    DrawGroup(p, content);
    DrawLightSprites(content.lights);
    DrawStarBox(NightPasses[StarPass], 128, SectionBeat);
}
