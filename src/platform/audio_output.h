// The audio output the audio layer mixes into: a device run by the shell
// (SDL on the interactive program), or the offline output whose mix is
// pulled by the caller. The engine's default is the offline output.
#pragma once

#include <cstdint>

// Fills `frames` interleaved frames of the granted format. Called on the
// output's thread for a device, on the caller's thread offline.
typedef void (*AudioMixFunction)(int16_t* out, int frames);

struct AudioOutputFormat {
    int freq = 0;           // Hz
    int channels = 0;       // interleaved, 16-bit signed
    int bufferFrames = 0;   // frames the device holds after a mix call: not yet heard
    bool realTime = false;  // false: mixed only when pulled, heard as soon as mixed
    // false: the device takes audio at no reliable pace (a driver that plays
    // nothing and may oversleep): what is heard follows AudioClock instead.
    bool trustedClock = true;
    const char* name = "";  // the driver, for messages
};

// Seconds on a steady clock. The audio layer reads the time only through
// AudioClock, so tests can drive it by hand; SteadyAudioClock is the default.
typedef double (*AudioClockFunction)();
extern AudioClockFunction AudioClock;
double SteadyAudioClock();

struct AudioOutputInterface {
    // Opens the output and starts calling `mix`; false when nothing could be
    // opened. The granted format may differ only in bufferFrames.
    bool (*open)(int freq, int channels, AudioMixFunction mix, AudioOutputFormat* granted);
    // Keep the mix function from running between lock and unlock.
    void (*lock)();
    void (*unlock)();
    void (*close)();
    // True while the output has gone away (its server gone or hung, its
    // stream killed, the device unplugged), until it is fresh again. May be
    // left null. Called from the mix function and, the lock held, from the
    // main thread (an output that lost its stream may call no mix), so it
    // must not block.
    bool (*lost)();
    // Seconds from now until the first of the `frames` frames being mixed is
    // heard: what the output holds ahead of them, by its own count. Called
    // from the mix function. Null: the device holds bufferFrames after a mix.
    double (*queued)(int frames);
    // True, once, on the first mix of an output opened again after it went
    // away (a sound server back): the mix function is called again from then
    // on. Called from the mix function. May be left null.
    bool (*fresh)();
};

// The output the audio layer opens at its next init; the shell sets it.
extern AudioOutputInterface AudioOutput;
// The offline output's table, also the layer's fallback when a device fails.
extern const AudioOutputInterface OfflineAudioOutput;

// The offline output: open always succeeds and nothing is mixed until
// PullOfflineAudio is called.
void UseOfflineAudioOutput();
// Mixes the next frames of the opened offline output into out; silence when
// the offline output is not open.
void PullOfflineAudio(int16_t* out, int frames);
