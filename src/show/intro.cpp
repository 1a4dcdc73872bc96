// The intro: black wait, jingle, logo fade-in, loading, hold, fade-out.
#include "show/intro.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "passes/glow.h"
#include "passes/pass_state.h"
#include "geometry/terrain.h"
#include "resources/audio.h"
#include "resources/data_path.h"
#include "resources/font.h"
#include "resources/images.h"
#include "resources/music_clock.h"
#include "resources/tga.h"
#include "setup/settings.h"
#include "setup/viewport.h"
#include "frame/frame.h"
#include "platform/platform.h"

unsigned int LogoTexture = 0;

namespace {

// The logo fills the first 704 x 512 pixels of its 1024 x 1024 image.
constexpr float LogoWidthPixels = 704.0f;
constexpr float LogoHeightPixels = 512.0f;
constexpr float LogoS1 = 0.6875f;  // 704 / 1024
constexpr float LogoT1 = 0.5f;     // 512 / 1024

constexpr float BlackWaitSeconds = 5.0f;
constexpr float FadeInSeconds = 10.0f;
constexpr float HoldSeconds = 3.0f;
constexpr float FadeOutSeconds = 4.0f;

// Columns as in the scenes' pass tables: texture slot, switched on, keep
// switches, depth writes, colour, blend source and destination, texture
// generation, polygon mode.
// clang-format off
// The logo overlay: textured and unlit, no blending, depth test or depth
// writes; the logo texture is not in the table and is bound by hand.
const PassState LogoPass =
    {PassNoTexture, PassTexture2D | PassColorMaterial, false, false, {1, 1, 1, 1},
     GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, false, GL_FILL};
// What the first scene starts from. The colour is where the fade-out ends
// (black without the intro): with colour tracking on it also becomes the
// material that the first scene's lit terrain is drawn with.
const PassState SceneStartPass =
    {PassNoTexture, TerrainSwitches | PassLighting, false, true, {0, 0, 0, 1},
     GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, false, GL_FILL};
// clang-format on

// One pass of a timed phase: a clock step, its smoothed step added to the phase's time.
void Accumulate(float& elapsed) {
    UpdateFrameClock();
    elapsed += FrameClock.smoothedDelta;
}

// A quit that is already queued ends the process at once. Pumping first lets
// the window system deliver it; nothing is taken off the queue.
void CheckQuit() {
    PlatformPumpEvents();
    if (PlatformQuitPending())
        std::exit(0);
}

void ShowBlack() {
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    PlatformPresent();
}

void WaitBlack() {
    UpdateFrameClock();
    UpdateFrameClock();
    float elapsed = 0.0f;
    while (elapsed < BlackWaitSeconds) {
        PlatformPumpEvents();
        Accumulate(elapsed);
    }
}

void CreateLogoTexture(const ImageRecord& logo, bool pixelExact) {
    glGenTextures(1, &LogoTexture);
    glBindTexture(GL_TEXTURE_2D, LogoTexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    if (pixelExact)
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    // Missing or empty: a 0 x 0 image leaves the texture incomplete, so the
    // logo frame draws untextured in the ramp colour.
    if (!logo.pixels && (logo.width <= 0 || logo.height <= 0)) {
        glTexImage2D(GL_TEXTURE_2D, 0, 3, 0, 0, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
        return;
    }
    // Refused after its header gave a size: a size without pixels shows as
    // black. One black texel says so without allocating what it claimed.
    if (!logo.pixels) {
        const unsigned char black[4] = {0, 0, 0, 0};
        glTexImage2D(GL_TEXTURE_2D, 0, 3, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, black);
        return;
    }
    // Rows are tightly packed whatever the width, so an odd-width logo is not
    // read past its end; the previous alignment is put back afterwards.
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, 3, logo.width, logo.height, 0, GL_RGB, GL_UNSIGNED_BYTE,
                 logo.pixels);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
}

void BeginLogoOverlay() {
    glViewport(0, 0, DemoSettings.width, DemoSettings.height);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, 1, 1, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    ApplyPassState(LogoPass);
    glBindTexture(GL_TEXTURE_2D, LogoTexture);
    ResetFrameClock();
}

// The background takes the colour of a patch near the image's top-left corner.
void DrawLogoFrame(const LogoPlacement& place) {
    DrawTexturedQuad(0, 0, 1, 1, 0.01f, 0.01f, 0.02f, 0.02f);
    DrawTexturedQuad(place.x0, place.y0, place.x1, place.y1, 0, 0, LogoS1, LogoT1);
    PlatformPresent();
}

// Red rises linearly, green squared, blue cubed: black, dark red, orange, full colour.
void RampColor(float b, float color[4]) {
    color[0] = b;
    color[1] = b * b;
    color[2] = b * b * b;
    color[3] = 1;
}

void SetRampColor(float b) {
    float color[4];
    RampColor(b, color);
    glColor4fv(color);
}

// The fade starts with the jingle's first audible sample: until the output
// has played what it held before it, the fade's time is re-dated every frame
// (a frame shows about one clock step after it is drawn).
void FadeLogoIn(const LogoPlacement& place, AudioHandle jingle) {
    float elapsed = 0.0f;
    do {
        double wait = AudioChannelGetWait(jingle);
        if (wait > 0.0) {
            elapsed = FrameClock.delta - static_cast<float>(wait);
        }
        SetRampColor(std::max(elapsed, 0.0f) / FadeInSeconds);
        DrawLogoFrame(place);
        CheckQuit();
        Accumulate(elapsed);
    } while (elapsed < FadeInSeconds);
}

// What the sequence loads while the logo shows. The glow texture is made
// just before the table, so its name comes before the table's names.
void LoadDemoData() {
    LoadSoundtrack();
    LoadFontDescriptor();
    CreateGlowTexture();
    LoadTextureTable();
    BuildDisplayLists();
}

// Loading time does not count: the clock was reset when loading ended.
void HoldLogo() {
    UpdateFrameClock();
    float elapsed = FrameClock.smoothedDelta;
    while (elapsed < HoldSeconds) {
        Accumulate(elapsed);
        CheckQuit();
    }
}

// Returns the ramp level of the last frame.
float FadeLogoOut(const LogoPlacement& place) {
    glBindTexture(GL_TEXTURE_2D, LogoTexture);
    ResetFrameClock();
    float elapsed = 0.0f, level = 1.0f;
    do {
        level = 1.0f - elapsed * 0.25f;
        SetRampColor(level);
        DrawLogoFrame(place);
        CheckQuit();
        Accumulate(elapsed);
    } while (elapsed < FadeOutSeconds);
    return level;
}

// Leaves the state the first scene starts from.
void EndLogoOverlay(float lastLevel) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDeleteTextures(1, &LogoTexture);
    PassState start = SceneStartPass;
    RampColor(lastLevel, start.color);
    ApplyPassState(start);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

}  // namespace

LogoPlacement ComputeLogoPlacement(int width, int height, float aspect) {
    LogoPlacement place{0, false, 0.0f, 0.0f, 1.0f, 1.0f};
    if (width <= 0 || height <= 0)
        return place;  // no client area: nothing to place
    double w = width, h = height;
    // Divisors 0.9 x 704 and 0.9 x 512: the logo may be at most a ninth too big.
    double kx = std::trunc(w / 633.6), ky = std::trunc(h / 460.8);
    place.k = static_cast<int>(kx < ky ? kx : ky);
    place.pixelExact = place.k > 0 && std::fabs(w / h - aspect) < 0.03;
    float qw = 1.375f * height, qh = static_cast<float>(height);
    if (place.pixelExact) {
        qw = LogoWidthPixels * place.k;
        qh = LogoHeightPixels * place.k;
    }
    place.x0 = static_cast<float>((width - qw) / (2.0f * width));
    place.y0 = static_cast<float>((height - qh) / (2.0f * height));
    place.x1 = 1.0f - place.x0;
    place.y1 = 1.0f - place.y0;
    return place;
}

void RunLoadingSequence() {
    AudioInit(44100);
    ShowBlack();
    WaitBlack();
    AudioHandle jingle = AudioStreamCreateFile(DataPath("introeffectmx.mp3").c_str());
    AudioChannelPlay(jingle, true);
    ImageRecord logo;
    LoadTgaImage(DataPath("logo.tga").c_str(), &logo);
    LogoPlacement place =
        ComputeLogoPlacement(DemoSettings.width, DemoSettings.height, DemoSettings.aspect);
    CreateLogoTexture(logo, place.pixelExact);
    BeginLogoOverlay();
    FadeLogoIn(place, jingle);
    glColor3f(1, 1, 1);
    DrawLogoFrame(place);
    LoadDemoData();
    ResetFrameClock();
    HoldLogo();
    EndLogoOverlay(FadeLogoOut(place));
    std::free(logo.pixels);
    logo.pixels = nullptr;
}

void LoadWithoutIntro() {
    AudioInit(44100);
    LoadDemoData();
    glClearColor(0, 0, 0, 0);
    ApplyPassState(SceneStartPass);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    ResetFrameClock();
}
