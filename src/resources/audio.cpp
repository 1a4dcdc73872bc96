// Audio layer (placeholder).
#include "resources/audio.h"

AudioHandle musicSample = 0;
AudioHandle musicChannel = 0;
AudioSampleInfo musicInfo;

bool AudioInit(int) { return false; }
AudioHandle AudioStreamCreateFile(const char*) { return 0; }
AudioHandle AudioSampleLoad(const char*) { return 0; }
AudioHandle AudioSampleGetChannel(AudioHandle) { return 0; }
bool AudioSampleGetInfo(AudioHandle, AudioSampleInfo*) { return false; }
bool AudioChannelPlay(AudioHandle, bool) { return false; }
bool AudioChannelSetPosition(AudioHandle, uint64_t) { return false; }
uint64_t AudioChannelGetPosition(AudioHandle) { return 0; }
void AudioFree() {}
void AudioUseOfflineOutput() {}
void AudioPullMix(int16_t* out, int frames) {
    for (int i = 0; i < frames * 2; ++i) out[i] = 0;
}
