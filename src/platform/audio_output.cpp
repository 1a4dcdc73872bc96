// The offline audio output, the engine's default: no device, no thread.
#include "platform/audio_output.h"

#include <chrono>
#include <cstring>

namespace {
AudioMixFunction OfflineMix = nullptr;

bool OpenOffline(int freq, int channels, AudioMixFunction mix, AudioOutputFormat* granted) {
    OfflineMix = mix;
    granted->freq = freq;
    granted->channels = channels;
    granted->bufferFrames = 0;
    granted->realTime = false;
    return true;
}

// Everything runs on the caller's thread: nothing to lock.
void NoLock() {}

void CloseOffline() {
    OfflineMix = nullptr;
}

}  // namespace

double SteadyAudioClock() {
    std::chrono::duration<double> since = std::chrono::steady_clock::now().time_since_epoch();
    return since.count();
}

AudioClockFunction AudioClock = SteadyAudioClock;

const AudioOutputInterface OfflineAudioOutput = {OpenOffline, NoLock,  NoLock, CloseOffline,
                                                 nullptr,     nullptr, nullptr};
AudioOutputInterface AudioOutput = OfflineAudioOutput;

void UseOfflineAudioOutput() {
    AudioOutput = OfflineAudioOutput;
}

void PullOfflineAudio(int16_t* out, int frames) {
    if (frames <= 0) {
        return;
    }
    if (!OfflineMix) {
        // The offline mix is always stereo.
        std::memset(out, 0, sizeof(int16_t) * 2 * static_cast<size_t>(frames));
        return;
    }
    OfflineMix(out, frames);
}
