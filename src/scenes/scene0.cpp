// Scene 0: two glides over the lit terrain, then an orbit around the sphere cluster.
#include <GL/gl.h>

#include <cmath>

#include "setup/settings.h"
#include "frame/frame.h"
#include "passes/pass_state.h"
#include "geometry/models.h"
#include "geometry/terrain.h"
#include "geometry/vec3.h"
#include "scenes/scenes.h"

namespace {

constexpr float GlideLength = SceneSections[0].lengths[0];  // sections 0 and 1 alike
constexpr float OrbitLength = SceneSections[0].lengths[2];
static_assert(SceneSections[0].lengths[1] == SceneSections[0].lengths[0], "two equal glides");
constexpr float MeshSwitchBeat = 8.0f;
constexpr float FadeOutBeat = 16.0f;

constexpr unsigned LitTerrainSwitches = PassLighting | PassBlend | PassDepthTest;
constexpr unsigned SphereSwitches = PassLighting | PassBlend | PassCullFace | PassDepthTest;
constexpr unsigned GlowSwitches = SpriteSwitches | PassCullFace | PassDepthTest;

enum GlidePass { GlideSkyPass, GlideTerrainPass, GlideWirePass, GlideDustPass, GlideFlarePass };
enum OrbitPass {
    OrbitSkyPass,
    OrbitSpherePass,
    OrbitGlowMapPass,
    OrbitTerrainPass,
    OrbitWirePass,
    OrbitDustPass,
    OrbitFlarePass
};

// Sections 0 and 1. Columns: texture slot, switched on, keep switches, depth
// writes, colour, blend source and destination, texture generation, polygon mode.
// clang-format off
const PassState GlidePasses[5] = {
    // sky cone, drawn behind the solid terrain after it
    {PassNoTexture,  PassDepthTest,      false, false, {1, 1, 1, 1},             GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, false, GL_FILL},
    // lit solid coarse terrain
    {TextureBlank,   LitTerrainSwitches, false, true,  {1, 1, 1, 1},             GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, false, GL_FILL},
    // its faint additive wireframe (the blank texture still bound)
    {PassNoTexture,  LitTerrainSwitches, false, false, {0.2f, 0.2f, 0.2f, 1},    GL_ONE,       GL_ONE,                 false, GL_LINE},
    // dust sprites
    {TextureDot,     SpriteSwitches,     false, false, {0.08f, 0.08f, 0.08f, 1}, GL_ONE,       GL_ONE,                 false, GL_FILL},
    // flare sprites (Demo++); switches and depth writes unchanged from the dust
    {TextureFlare,   0,                  true,  false, {0.02f, 0.02f, 0.02f, 1}, GL_ONE,       GL_ONE,                 false, GL_FILL},
};

// Section 2, same columns.
const PassState OrbitPasses[7] = {
    // sky cone, camera translation, cluster centre
    {PassNoTexture,  0,                  false, false, {1, 1, 1, 1},             GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, false, GL_FILL},
    // lit spheres
    {PassNoTexture,  SphereSwitches,     false, true,  {1, 1, 1, 1},             GL_ONE,       GL_ONE_MINUS_SRC_ALPHA, false, GL_FILL},
    // sphere-mapped glow map on the same spheres
    {TextureGlowMap, GlowSwitches,       false, false, {1, 1, 1, 1},             GL_ONE,       GL_ONE,                 true,  GL_FILL},
    // lit solid terrain, coarse before beat 8, medium from then on
    {TextureBlank,   LitTerrainSwitches, false, true,  {1, 1, 1, 1},             GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, false, GL_FILL},
    // coarse wireframe
    {TextureBlank,   LitTerrainSwitches, false, false, {0.2f, 0.2f, 0.2f, 1},    GL_ONE,       GL_ONE,                 false, GL_LINE},
    // dust sprites
    {TextureDot,     SpriteSwitches,     false, false, {0.08f, 0.08f, 0.08f, 1}, GL_ONE,       GL_ONE,                 false, GL_FILL},
    // flare sprites (Demo++); switches and depth writes as the dust
    {TextureFlare,   SpriteSwitches,     false, false, {0.02f, 0.02f, 0.02f, 1}, GL_ONE,       GL_ONE,                 false, GL_FILL},
};
// clang-format on

const float OrbitLowest[3] = {0, 4, -25}, OrbitHighest[3] = {0, 8, -25};

const FrameLook OpeningLook = {{0.3f, 0.4f, 0.6f}, {0.5f, 0.5f, 0.5f}, false, 0};

const float SkyTop[3] = {1, 1, 1}, SkyRim[3] = {0, 0, 0}, SkyBottom[3] = {1, 1, 1};

// Identity, rotation, the sky centred on the viewer, then the world translation.
void DrawSkyAndPlaceWorld(const PassState& skyPass) {
    glLoadIdentity();
    ApplyCameraRotation();
    ApplyPassState(skyPass);
    DrawSkyCone(SkyTop[0], SkyTop[1], SkyTop[2], SkyRim[0], SkyRim[1], SkyRim[2], SkyBottom[0],
                SkyBottom[1], SkyBottom[2]);
    ApplyCameraTranslation();
}

// The sky centred on the viewer behind the solid terrain just drawn, before
// anything is added over either; the matrix stays as it was.
void DrawSkyBehindSolidTerrain(const PassState& skyPass) {
    glPushMatrix();
    glLoadIdentity();
    ApplyCameraRotation();
    DrawSkyBehindTerrain(skyPass, SkyTop, SkyRim, SkyBottom);
    glPopMatrix();
}

// Mesh (X, Y, Z) becomes world (16 X, -4 Z, 16 Y).
void BeginTerrain() {
    SetLight(-0.2f, -0.2f, -0.2f, 0.25f, 0.25f, 0.25f, 0, 16, 16);
    glPushMatrix();
    glEnable(GL_NORMALIZE);
    glRotatef(90, 1, 0, 0);
    glScalef(16, 16, 4);
}

void EndTerrain() {
    glPopMatrix();
    glDisable(GL_NORMALIZE);
}

void DrawSprites(const PassState& dust, const PassState& flares) {
    ApplyPassState(dust);
    DrawSpriteCloud(32, 8, 32, 8, 4);
    ApplyPassState(flares);
    if (DemoSettings.demoPlus)
        DrawSpriteCloud(99, 99, 99, 64, 9);
}

void PlaceGlideCamera(const float from[3], const float to[3]) {
    float b = SectionBeat;
    LerpVec3(from, to, CameraPose.position, b / GlideLength);
    CameraPose.angles[0] = b - 10;
    CameraPose.angles[1] = 2 * b - 100;
    CameraPose.angles[2] = 2 * b - 10;
}

void RunGlide(const float from[3], const float to[3]) {
    PlaceGlideCamera(from, to);
    glLoadIdentity();
    ApplyCameraRotation();
    ApplyCameraTranslation();
    ApplyPassState(GlidePasses[GlideTerrainPass]);
    BeginTerrain();
    glCallList(DisplayListTable[ListCoarseTerrain]);
    DrawSkyBehindSolidTerrain(GlidePasses[GlideSkyPass]);
    ApplyPassState(GlidePasses[GlideWirePass]);
    glTranslatef(0, 0, -0.01f);
    DrawTerrainOutline(ListCoarseTerrain);
    EndTerrain();
    glTranslatef(8, 4, 0);
    DrawSprites(GlidePasses[GlideDustPass], GlidePasses[GlideFlarePass]);
    if (SectionBeat > GlideLength) {
        SectionIndex += 1;
        SectionBeat -= GlideLength;
    }
}

// Radius 20 around the origin, 202.5 degrees over the section, rising 4 to 8.
void PlaceOrbitCamera() {
    float b = SectionBeat;
    double r = (b * 90 * 0.125) * 0.017453292;
    float height[3];
    LerpVec3(OrbitLowest, OrbitHighest, height, b / OrbitLength);
    CameraPose.position[0] = static_cast<float>(20 * std::cos(r));
    CameraPose.position[1] = height[1];
    CameraPose.position[2] = static_cast<float>(20 * std::sin(r));
    CameraPose.angles[0] = static_cast<float>(0.25 * b - 10);
    CameraPose.angles[1] = static_cast<float>(90 - 11.25 * b);
    CameraPose.angles[2] = b - 10;
}

void DrawOrbitSpheres() {
    float spread = SectionBeat * 0.0625f;
    glPushMatrix();
    glTranslatef(SphereClusterCentre[0], SphereClusterCentre[1], SphereClusterCentre[2]);
    ApplyPassState(OrbitPasses[OrbitSpherePass]);
    DrawSphereCluster(spread);
    ApplyPassState(OrbitPasses[OrbitGlowMapPass]);
    DrawSphereCluster(spread);
    glPopMatrix();
}

// The medium mesh sits 0.4 world units lower; the wireframe keeps its net
// mesh-z offset of -0.01 either way.
void DrawOrbitTerrain() {
    bool coarse = SectionBeat < MeshSwitchBeat;
    ApplyPassState(OrbitPasses[OrbitTerrainPass]);
    BeginTerrain();
    if (coarse) {
        glCallList(DisplayListTable[ListCoarseTerrain]);
    } else {
        glTranslatef(0, 0, 0.1f);
        glCallList(DisplayListTable[ListMediumTerrain]);
    }
    ApplyPassState(OrbitPasses[OrbitWirePass]);
    glTranslatef(0, 0, 0.01f);
    glTranslatef(0, 0, coarse ? -0.02f : -0.12f);
    DrawTerrainOutline(ListCoarseTerrain);
    EndTerrain();
}

void RunOrbit() {
    PlaceOrbitCamera();
    DrawSkyAndPlaceWorld(OrbitPasses[OrbitSkyPass]);
    DrawOrbitSpheres();
    DrawOrbitTerrain();
    glTranslatef(0, 4, 0);
    DrawSprites(OrbitPasses[OrbitDustPass], OrbitPasses[OrbitFlarePass]);
    if (SectionBeat > FadeOutBeat)
        FadeLevel = (OrbitLength - SectionBeat) * 0.5f;
    if (SectionBeat > OrbitLength) {
        SectionIndex += 1;
        SceneIndex += 1;
        SectionBeat -= OrbitLength;
        SceneEntry = 1;
    }
}

}  // namespace

void RunScene0() {
    FadeIn(0.25f);
    if (SceneEntry)
        EnterScene(SceneStartOffsets[0], true);
    ApplyFrameLook(OpeningLook);
    switch (SectionIndex) {
        case 0:
            RunGlide(OpeningGlides[0][0], OpeningGlides[0][1]);
            break;
        case 1:
            RunGlide(OpeningGlides[1][0], OpeningGlides[1][1]);
            break;
        case 2:
            RunOrbit();
            break;
        default:
            break;
    }
}
