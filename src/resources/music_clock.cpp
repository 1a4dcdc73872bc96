// Music position clock: byte positions of the soundtrack to seconds and back.
#include "resources/music_clock.h"

#include "frame/frame.h"
#include "resources/audio.h"

float GetMusicSeconds() {
    uint64_t bytes = AudioChannelGetPosition(musicSample);
    // Extended precision, and the channel count and rate taken as unsigned.
    long double bytesPerSecond =
        static_cast<long double>(musicInfo.chans) * static_cast<long double>(musicInfo.freq) * 2.0L;
    long double seconds = static_cast<long double>(bytes) / bytesPerSecond;
    // A start or seek not heard yet (the output still plays what it holds)
    // is that much in the future: the counters set from it wait as well.
    double wait = AudioChannelGetWait(musicSample);
    if (wait > 0.0) {
        seconds -= wait;
    }
    return static_cast<float>(seconds);
}

uint64_t MusicBytesForBeat(float beat) {
    double seconds = static_cast<double>(beat) / BeatRateDouble;
    double bytes =
        seconds * static_cast<double>(musicInfo.freq) * static_cast<double>(musicInfo.chans) * 2.0;
    // Before the start is the start (a negative byte count would wrap).
    return bytes > 0.0 ? static_cast<uint64_t>(bytes) : 0;
}
