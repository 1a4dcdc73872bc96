// What the scenes share: the entry step (restart-free play, music resync,
// clock reset), the frame look and fade-in, the beat pulse and the straight
// camera move.
#include <GL/gl.h>

#include <cmath>
#include <cstdint>

#include "frame/frame.h"
#include "geometry/vec3.h"
#include "resources/music_clock.h"
#include "scenes/scenes.h"

SceneMusicInterface SceneMusic = {AudioChannelPlay, AudioChannelSetPosition, GetMusicSeconds};

namespace {
float ScreenLead = 0.0f;  // seconds from a full pass to the screen, smoothed
float LeadGiven = 0.0f;   // the part of it the counters already have
}  // namespace

void ResetSceneMusicDefaults() {
    SceneMusic = SceneMusicInterface{AudioChannelPlay, AudioChannelSetPosition, GetMusicSeconds};
}

void EnterScene(float startOffset, bool seekToStart, bool roundBeforeOffset) {
    SceneEntry = 0;
    SectionIndex = 0;
    SceneMusic.play(musicChannel, false);
    if (seekToStart)
        SceneMusic.setPosition(musicSample, MusicBytesForBeat(0.0f));
    // Music seconds to counter units (BeatRate in frame.h says why half).
    double musicBeat = SceneMusic.seconds() * BeatRateDouble * 0.5;
    if (roundBeforeOffset)
        SceneBeat = static_cast<float>(musicBeat) - startOffset;
    else
        SceneBeat = static_cast<float>(musicBeat - startOffset);
    SectionBeat = SceneBeat;
    ForgetScreenLead();
    ResetFrameClock();
}

void KeepCountersAheadOfScreen(float fullPassToScreen) {
    // A quarter of each new step: one slow frame (a scene's heavy moment,
    // the system's hiccup) moves the picture by little.
    if (ScreenLead <= 0.0f)
        ScreenLead = fullPassToScreen;
    else
        ScreenLead += (fullPassToScreen - ScreenLead) * 0.25f;
    // A lead that shrinks (after a long hitch) is handed back no faster than
    // the next pass's step, which is at least half of this one: the
    // counters slow down, never step back. The rest waits for later frames.
    float gain = (ScreenLead - LeadGiven) * BeatRate * 0.5f;
    float slowest = -0.5f * fullPassToScreen * BeatRate * 0.99f;
    if (gain < slowest)
        gain = slowest;
    SceneBeat += gain;
    SectionBeat += gain;
    LeadGiven += gain / (BeatRate * 0.5f);
}

void ForgetScreenLead() {
    LeadGiven = 0.0f;
}

void ApplyFrameLook(const FrameLook& look) {
    for (int c = 0; c < 3; ++c) {
        GlowColor[c] = look.glow[c];
        GradeColor[c] = look.grade[c];
    }
    GradeContrast = look.contrast;
    glClearColor(0, 0, 0, look.clearAlpha);
}

void FadeIn(float perUnit) {
    FadeLevel = SceneBeat * perUnit;
    if (FadeLevel > 1)
        FadeLevel = 1;
}

float BeatPulse(float b) {
    double f = std::fmod(b + 0.5, 1.0);
    float v = static_cast<float>(1 - f);
    v = v * v;
    v = v * v;
    v = v * v;
    return v;
}

void PlaceCameraOnMove(const CameraMove& move, float t) {
    LerpVec3(move.fromPosition, move.toPosition, CameraPose.position, t);
    LerpVec3(move.fromAngles, move.toAngles, CameraPose.angles, t);
}
