// Music position clock: byte positions of the soundtrack to seconds and
// back, and the vector interpolation the scenes' paths use.
#include "resources/music_clock.h"

#include "resources/audio.h"

float GetMusicSeconds() {
    uint64_t bytes = AudioChannelGetPosition(musicSample);
    // Extended precision, and the channel count and rate taken as unsigned.
    long double bytesPerSecond =
        static_cast<long double>(musicInfo.chans) * static_cast<long double>(musicInfo.freq) * 2.0L;
    return static_cast<float>(static_cast<long double>(bytes) / bytesPerSecond);
}

uint64_t MusicBytesForBeat(float beat) {
    double seconds = static_cast<double>(beat) / 2.0833333;
    double bytes =
        seconds * static_cast<double>(musicInfo.freq) * static_cast<double>(musicInfo.chans) * 2.0;
    // Before the start is the start (a negative byte count would wrap).
    return bytes > 0.0 ? static_cast<uint64_t>(bytes) : 0;
}

// Every intermediate is a float (the build uses strict ISO C++, so no
// fused multiply-add), and t outside 0..1 extrapolates.
float* LerpVec3(const float* a, const float* b, float* out, float t) {
    for (int c = 0; c < 3; ++c) {
        float d = b[c] - a[c];
        float p = d * t;
        out[c] = a[c] + p;
    }
    return out;
}
