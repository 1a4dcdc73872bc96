// Scene 4: a slow drift through sprite clouds with the credits, a fan of lines
// and the scrolling greetings, then the fade to black and the end step.
#include <GL/gl.h>

#include <cmath>

#include "setup/settings.h"
#include "frame/frame.h"
#include "passes/pass_state.h"
#include "geometry/models.h"
#include "geometry/random.h"
#include "resources/font.h"
#include "scenes/scenes.h"

// Left-aligned at their translation; the empty fifth line shows only when
// the section counter stands exactly at its end.
const CreditLine CreditLines[CreditLineCount] = {
    {"code - kovi", {-3.8f, 0, 61}},
    {"pixel - Tam", {-2.0f, -1, 60}},
    {"music - Brennick", {-4.3f, 1, 55}},
    {"Norvale", {-2.5f, 0, 59}},
    {"", {0, 0, 60}},
};

// Invented group names; accented letters are Latin-1 bytes, the font's codes.
// Each row holds every fourth name, 20 units apart and wobbling by up to 3:
// short names go where the perspective closes that gap most, and no name
// has a descender to reach the taller letters of the row below.
const char* const GreetingNames[GreetingCount] = {
    "Hollowfrost", "Tidevr\xE5k",      "Sk\xE4rvlund", "Velvet Tarn",   "Nordsk\xF6r",
    "Lumenvik",    "Sc\xE8ne Gel\xE9", "Cobalt Owl",   "Caf\xE9 Trame", "Ninefold",
    "Tinderhall",  "Se\xF1or Sine",    "Mossbeat",     "Gr\xFCnwerk",   "\xC6thernaut",
    "Plumtile",    "Kilnfire",         "Brasshorn",
};

namespace {

constexpr float CameraPathLength = 54.0f;
constexpr float FanStartBeat = 22.0f;
constexpr float CreditScale = 1.3f;
constexpr uint32_t GreetingSeed = 6;

constexpr unsigned PlainSwitches =
    PassBlend;  // the untextured preset; the textured one is SpriteSwitches

enum ClosingPass { WirePass, DotPass, FlarePass, FanPass, CreditPass, GreetingPass };

// Columns: texture slot, switched on, keep switches, depth writes, colour,
// blend source and destination, texture generation, polygon mode. Rows marked
// "x f" have their red, green and blue scaled by that pass's factor.
// clang-format off
const PassState ClosingPasses[6] = {
    // wire sprites, x w (the section's dim level): yellow outlines, depth tested
    {PassNoTexture, PlainSwitches | PassDepthTest, false, false, {0.4f, 0.4f, 0, 1},        GL_ONE,  GL_ONE,                 false, GL_LINE},
    // dot layer
    {TextureDot,    SpriteSwitches,                false, false, {0.02f, 0.01f, 0, 1},      GL_ONE,  GL_ONE,                 false, GL_FILL},
    // flare layer (Demo++); switches and depth writes as the dot layer left them
    {TextureFlare,  0,                             true,  false, {0.01f, 0.01f, 0.02f, 1},  GL_ONE,  GL_ONE,                 false, GL_FILL},
    // line fan, x a (fading from 1 at beat 22)
    {PassNoTexture, PlainSwitches,                 false, false, {1, 1, 0.25f, 1},          GL_ONE,  GL_ONE,                 false, GL_LINE},
    // credit line, x p (its pulse)
    {TextureFont,   SpriteSwitches,                false, false, {1, 1, 0, 1},              GL_ONE,  GL_ONE_MINUS_SRC_COLOR, false, GL_FILL},
    // greetings: white glyphs darken what lies behind them
    {TextureFont,   SpriteSwitches,                false, false, {1, 1, 1, 1},              GL_ZERO, GL_ONE_MINUS_SRC_COLOR, false, GL_FILL},
};
// clang-format on

void ApplyScaledPass(ClosingPass row, float factor) {
    PassState pass = ClosingPasses[row];
    for (int c = 0; c < 3; ++c) pass.color[c] *= factor;
    ApplyPassState(pass);
}

const FrameLook ClosingLook = {{1.0f, 0.5f, 0.3f}, {1, 1, 1}, false, 1.4f};

void DrawCredit() {
    float p = CreditPulse(SectionBeat);
    const CreditLine& line = CreditLines[CreditLineIndex(SectionBeat)];
    glPushMatrix();
    glLoadIdentity();
    ApplyCamera();
    glTranslatef(line.position[0], line.position[1], line.position[2]);
    glScalef(1, -1, 1);
    ApplyScaledPass(CreditPass, p);
    BitmapFont.scale = CreditScale;
    DrawFontText(line.text);
    glPopMatrix();
}

void EndSectionIfDone() {
    float length = SceneSections[4].lengths[SectionIndex];
    if (SectionBeat <= length)
        return;
    SectionBeat -= length;
    if (SectionIndex == SceneSections[4].count - 1) {
        SceneIndex += 1;
        SceneEntry = 1;
    }
    SectionIndex += 1;
}

// The section's work; returns the wire sprites' dim level w.
float RunSection() {
    float w = 0;
    switch (SectionIndex) {
        case 0:
            w = (SectionBeat / 6) * 0.1f;
            break;
        case 1:
            w = 0.1f;
            DrawCredit();
            break;
        case 2:
            w = 0.1f - SectionBeat * 0.0625f;
            break;
        case 3:
            FadeLevel = 1 - SectionBeat / SceneSections[4].lengths[3];  // over the section
            break;
        default:
            return 0;
    }
    EndSectionIfDone();
    return w;
}

void DrawSpriteLayers(float w) {
    glLoadIdentity();
    ApplyCamera();
    glScalef(64, 64, 64);
    ApplyScaledPass(WirePass, w);
    DrawSpriteOutlines(0.75f, 0.75f, 0.75f, SceneBeat * 0.01f, SceneBeat * 0.005f);
    glLoadIdentity();
    ApplyCamera();
    ApplyPassState(ClosingPasses[DotPass]);
    glTranslatef(0, 0, -16);
    DrawSpriteCloud(64, 64, 64, 32, 9);
    if (DemoSettings.demoPlus) {
        ApplyPassState(ClosingPasses[FlarePass]);
        DrawSpriteCloud(99, 99, 99, 64, 9);
    }
}

// The faint orange horizon, drawn additively with the sprite layers' state.
void DrawSkyAndPlaceWorld() {
    glLoadIdentity();
    BindTextureSlot(TextureBlank);
    ApplyCameraRotation();
    DrawSkyCone(0, 0, 0, 0.01f, 0.005f, 0, 0, 0, 0);
    ApplyCameraTranslation();
}

void DrawLineFan() {
    float vertices[2 * LineFanCount][3];
    ComputeLineFan(SceneBeat, vertices);
    ApplyScaledPass(FanPass, 1 - (SceneBeat - FanStartBeat) / 56);
    glBegin(GL_LINES);
    for (const float* v : vertices) glVertex3fv(v);
    glEnd();
}

void DrawGreetings() {
    float positions[GreetingCount][3];
    ComputeGreetingPositions(SceneBeat, positions);
    glPushMatrix();
    glLoadIdentity();
    ApplyCamera();
    glScalef(1, -1, 1);
    for (int i = 0; i < GreetingCount; ++i) {
        glPushMatrix();
        glTranslatef(positions[i][0], positions[i][1], positions[i][2]);
        ApplyPassState(ClosingPasses[GreetingPass]);
        BitmapFont.scale = GreetingScale;
        DrawFontText(GreetingNames[i]);
        glPopMatrix();
    }
    glPopMatrix();
}

}  // namespace

int CreditLineIndex(float sectionBeat) {
    int i = static_cast<int>(sectionBeat * 0.25f);
    // A counter jump (a long stall) can overshoot the section by more than a
    // line before the section step sees it.
    if (i < 0)
        return 0;
    return i < CreditLineCount ? i : CreditLineCount - 1;
}

float CreditPulse(float sectionBeat) {
    return static_cast<float>(std::fabs(std::sin(sectionBeat * 3.14159265358979 * 0.25)));
}

float GreetingBaseX(int i, float sceneBeat) {
    return static_cast<float>(5 * i) - 4.75f * sceneBeat + 120;
}

void ComputeGreetingPositions(float sceneBeat, float positions[GreetingCount][3]) {
    SeedRandom(GreetingSeed);
    for (int i = 0; i < GreetingCount; ++i) {
        int r = NextRandom() + i;
        float wobble = static_cast<float>(3 * std::sin(r + 0.5f * sceneBeat));
        positions[i][0] = wobble + GreetingBaseX(i, sceneBeat);
        positions[i][1] = static_cast<float>(2 * (i % 4) - 2);
        positions[i][2] = 40 - 1.15f * i;
    }
}

void PlaceClosingCamera(float sceneBeat) {
    float t = sceneBeat / CameraPathLength;
    CameraPose.position[0] = 0;
    CameraPose.position[1] = 1 - 2 * t;
    CameraPose.position[2] = 86 - 54 * t;
    CameraPose.angles[0] = 1 - t;
    CameraPose.angles[1] = 0;
    CameraPose.angles[2] = -10 + 10 * t;
}

void ComputeLineFan(float sceneBeat, float vertices[2 * LineFanCount][3]) {
    float b = sceneBeat;
    float q = b - FanStartBeat;
    for (int i = 0; i < LineFanCount; ++i) {
        float u = i * q / 50;
        float* start = vertices[2 * i];
        float* end = vertices[2 * i + 1];
        start[0] = -128;
        start[1] = static_cast<float>(64 * std::sin(0.71f * u + b + 13));
        start[2] = static_cast<float>(32 * std::sin(0.83f * u + b + 38) - 32);
        end[0] = 128;
        end[1] = static_cast<float>(-64 * std::sin(0.62f * u + b + 26));
        end[2] = static_cast<float>(-32 * std::sin(0.94f * u + b + 44) - 32);
    }
}

void RunScene4() {
    ApplyFrameLook(ClosingLook);
    FadeIn(0.1f);
    if (SceneEntry)
        EnterScene(SceneStartOffsets[4], false, true);
    PlaceClosingCamera(SceneBeat);
    float w = RunSection();
    DrawSpriteLayers(w);
    DrawSkyAndPlaceWorld();
    if (SectionIndex < 2)
        return;
    DrawLineFan();
    DrawGreetings();
}
