// The soundtrack: its loading, and its position as a clock (byte positions
// to seconds and back).
#include "resources/music_clock.h"

#include <cstdio>

#include "resources/audio.h"
#include "resources/data_path.h"
#include "frame/frame.h"
#include "frame/timeline.h"

namespace {
const char* const SoundtrackFile = "preview_kovi.mp3";

// A soundtrack that ends before the last scene leaves the rest silent and
// its scene entries without a clock to follow: say so, with both lengths.
void NoteShortSoundtrack() {
    const double bytesPerSecond = double(musicInfo.freq) * musicInfo.chans * 2;
    const double needed = TimelineEnd * 2.0 / BeatRateDouble;  // music seconds to the end step
    if (bytesPerSecond <= 0 || musicInfo.length / bytesPerSecond >= needed) {
        return;
    }
    char problem[160];
    std::snprintf(problem, sizeof problem,
                  "%.1f s long, shorter than the %.1f s the scenes play to; the rest is silent",
                  musicInfo.length / bytesPerSecond, needed);
    ReportDamagedFile(DataPath(SoundtrackFile).c_str(), problem);
}

}  // namespace

void LoadSoundtrack() {
    musicSample = AudioSampleLoad(DataPath(SoundtrackFile).c_str());
    musicChannel = AudioSampleGetChannel(musicSample);
    AudioSampleGetInfo(musicSample, &musicInfo);
    NoteShortSoundtrack();
}

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
