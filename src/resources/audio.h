// Our audio layer: the jingle as a stream, the soundtrack as a sample with
// one channel, positions in bytes of decoded 16-bit audio. Mixing runs on
// the output's thread; everything else on the main thread.
#pragma once

#include <cstdint>

typedef uint32_t AudioHandle;  // 0 means none

struct AudioSampleInfo {
    uint32_t freq = 0;    // Hz
    uint32_t chans = 0;   // channel count
    uint32_t length = 0;  // bytes of decoded 16-bit audio
};

extern AudioHandle musicSample;
extern AudioHandle musicChannel;
extern AudioSampleInfo musicInfo;

bool AudioInit(int freq);
AudioHandle AudioStreamCreateFile(const char* path);
AudioHandle AudioSampleLoad(const char* path);
AudioHandle AudioSampleGetChannel(AudioHandle sample);
bool AudioSampleGetInfo(AudioHandle sample, AudioSampleInfo* info);
bool AudioChannelPlay(AudioHandle channel, bool restart);
bool AudioChannelSetPosition(AudioHandle handle, uint64_t bytes);
uint64_t AudioChannelGetPosition(AudioHandle handle);
// Seconds until the position's start or seek is heard (what the output
// holds before it); 0 once it is, and offline. The position stays at the
// start or seek meanwhile.
double AudioChannelGetWait(AudioHandle handle);
void AudioFree();
// Tells on stderr, once each, a loss of the output and its return that the
// output's thread has noted since: called by the main loop every frame
// (position reads tell as well).
void TellAudioOutputNews();

// Offline output for the headless renderer: after AudioUseOfflineOutput()
// (before AudioInit) no device is opened, and AudioPullMix renders the next
// frames of the mix (44100 Hz, interleaved stereo 16-bit) on the caller's
// thread; positions then advance exactly by what was pulled.
void AudioUseOfflineOutput();
void AudioPullMix(int16_t* out, int frames);
