// Sound helper for the end-to-end tests:
//   sound_probe record SOURCE FILE   records a PulseAudio source (44100 Hz
//       stereo 16-bit) to FILE until SIGTERM, and writes to FILE.start the
//       wall-clock second at which its first frame was captured
//   sound_probe align JINGLE SOUNDTRACK FILE   finds the two MP3s, decoded as
//       the demo decodes them, in the recording, and checks that the
//       recording is exactly their sum from the jingle's start on
#include <mpg123.h>
#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {
const int Rate = 44100;
const int Block = Rate / 100;  // 10 ms: the gap or dropout the check resolves

typedef std::vector<int16_t> Pcm;  // interleaved stereo

volatile std::sig_atomic_t StopRecording = 0;
void OnStop(int) {
    StopRecording = 1;
}

double WallSeconds() {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec + now.tv_nsec * 1e-9;
}

// Each read's capture time is its arrival less the latency the server
// reports; the median over all reads gives the first frame's time.
int Record(const char* source, const char* path) {
    struct sigaction stop = {};
    stop.sa_handler = OnStop;
    sigaction(SIGTERM, &stop, nullptr);
    sigaction(SIGINT, &stop, nullptr);
    pa_sample_spec spec = {PA_SAMPLE_S16LE, Rate, 2};
    pa_buffer_attr attr = {static_cast<uint32_t>(-1), static_cast<uint32_t>(-1),
                           static_cast<uint32_t>(-1), static_cast<uint32_t>(-1), Block * 4};
    int error = 0;
    pa_simple* stream = pa_simple_new(nullptr, "norvale-sound-probe", PA_STREAM_RECORD, source,
                                      "record", &spec, nullptr, &attr, &error);
    FILE* out = std::fopen(path, "wb");
    if (!stream || !out) {
        std::fprintf(stderr, "sound_probe: cannot record %s to %s: %s\n", source, path,
                     pa_strerror(error));
        return 1;
    }
    std::vector<double> starts;
    int16_t buffer[Block * 2];
    uint64_t frames = 0;
    while (!StopRecording && pa_simple_read(stream, buffer, sizeof buffer, &error) == 0) {
        double now = WallSeconds();
        pa_usec_t latency = pa_simple_get_latency(stream, &error);
        std::fwrite(buffer, sizeof buffer, 1, out);
        frames += Block;
        starts.push_back(now - latency * 1e-6 - static_cast<double>(frames) / Rate);
    }
    std::fclose(out);
    pa_simple_free(stream);
    if (starts.empty()) {
        return 1;
    }
    std::nth_element(starts.begin(), starts.begin() + starts.size() / 2, starts.end());
    FILE* start = std::fopen((std::string(path) + ".start").c_str(), "w");
    std::fprintf(start, "%.4f\n", starts[starts.size() / 2]);
    std::fclose(start);
    return 0;
}

// The demo's decoding: gapless, 16-bit, the file's own rate and channels.
bool Decode(const char* path, Pcm* pcm) {
    mpg123_init();
    mpg123_handle* handle = mpg123_new(nullptr, nullptr);
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0);
    mpg123_format_none(handle);
    mpg123_format(handle, Rate, MPG123_STEREO, MPG123_ENC_SIGNED_16);
    bool opened = mpg123_open(handle, path) == MPG123_OK;
    unsigned char chunk[65536];
    size_t done = 0;
    int result = MPG123_OK;
    while (opened && (result == MPG123_OK || result == MPG123_NEW_FORMAT)) {
        result = mpg123_read(handle, chunk, sizeof chunk, &done);
        const int16_t* values = reinterpret_cast<const int16_t*>(chunk);
        pcm->insert(pcm->end(), values, values + done / 2);
    }
    mpg123_delete(handle);
    return !pcm->empty();
}

bool ReadRaw(const char* path, Pcm* pcm) {
    FILE* file = std::fopen(path, "rb");
    if (!file) {
        return false;
    }
    int16_t chunk[8192];
    size_t got = 0;
    while ((got = std::fread(chunk, sizeof(int16_t), 8192, file)) > 0) {
        pcm->insert(pcm->end(), chunk, chunk + got);
    }
    std::fclose(file);
    return true;
}

size_t Frames(const Pcm& pcm) {
    return pcm.size() / 2;
}

size_t FirstLoudFrame(const Pcm& pcm) {
    size_t i = 0;
    while (i < pcm.size() && std::abs(pcm[i]) < 1000) {
        ++i;
    }
    return i / 2;
}

// The recording frame from `searchFrom` on where `ref` starts, or -1: every
// place whose first 64 loud frames agree within 64 is a candidate, and the
// candidate closest over 1 s (least squares) wins. A server passes our
// samples unchanged, so the right place agrees exactly.
long Find(const Pcm& rec, const Pcm& ref, long searchFrom) {
    const long key = 64 * 2;
    const int tolerance = 64;
    long loud = static_cast<long>(FirstLoudFrame(ref));
    long frames = static_cast<long>(Frames(rec));
    if (static_cast<size_t>(loud + Rate) * 2 > ref.size()) {
        return -1;
    }
    long best = -1;
    double bestError = 0;
    for (long o = std::max(searchFrom, -loud); o + loud + Rate <= frames; ++o) {
        const int16_t* r = rec.data() + (o + loud) * 2;
        const int16_t* f = ref.data() + loud * 2;
        long k = 0;
        while (k < key && std::abs(r[k] - f[k]) <= tolerance) {
            ++k;
        }
        if (k < key) {
            continue;
        }
        double error = 0;
        for (long i = 0; i < Rate * 2; ++i) {
            double d = r[i] - f[i];
            error += d * d;
        }
        if (best < 0 || error < bestError) {
            best = o;
            bestError = error;
        }
    }
    return best;
}

// Adds `ref` placed at frame `at` of the recording to what it should hold.
void AddAt(std::vector<int32_t>* expected, const Pcm& ref, long at) {
    for (size_t i = 0; i < ref.size(); ++i) {
        long j = at * 2 + static_cast<long>(i);
        if (j >= 0 && j < static_cast<long>(expected->size())) {
            (*expected)[j] += ref[i];
        }
    }
}

int Align(const char* jinglePath, const char* soundtrackPath, const char* recPath) {
    Pcm jingle, soundtrack, rec;
    if (!Decode(jinglePath, &jingle) || !Decode(soundtrackPath, &soundtrack) ||
        !ReadRaw(recPath, &rec)) {
        std::fprintf(stderr, "sound_probe: cannot read the sounds\n");
        return 2;
    }
    long jingleAt = Find(rec, jingle, 0);
    if (jingleAt < 0) {
        std::printf("no-jingle\n");
        return 1;
    }
    // The soundtrack is looked for once the jingle is taken out.
    std::vector<int32_t> expected(rec.size(), 0);
    AddAt(&expected, jingle, jingleAt);
    Pcm rest(rec.size());
    for (size_t i = 0; i < rec.size(); ++i) {
        rest[i] = static_cast<int16_t>(std::clamp(rec[i] - expected[i], -32768, 32767));
    }
    long musicAt = Find(rest, soundtrack, jingleAt);
    if (musicAt < 0) {
        std::printf("no-soundtrack jingle %.4f\n", jingleAt / double(Rate));
        return 1;
    }
    AddAt(&expected, soundtrack, musicAt);
    // From the jingle's start on, every 10 ms block must be the clamped sum.
    long bad = 0, run = 0, longest = 0, firstBad = -1;
    double residualSum = 0, signalSum = 0;
    for (size_t b = jingleAt / Block + 1; (b + 1) * Block <= Frames(rec); ++b) {
        double d2 = 0, s2 = 0;
        for (size_t i = b * Block * 2; i < (b + 1) * Block * 2; ++i) {
            double want = std::clamp(expected[i], -32768, 32767);
            d2 += (rec[i] - want) * (rec[i] - want);
            s2 += want * want;
        }
        residualSum += d2;
        signalSum += s2;
        bool mismatch = d2 > 0.0025 * s2 + Block * 2 * 30.0 * 30.0;  // -26 dB, or -61 dBFS
        bad += mismatch;
        if (mismatch && firstBad < 0) {
            firstBad = static_cast<long>(b);
        }
        run = mismatch ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    double covered = (Frames(rec) - static_cast<double>(musicAt)) / Rate;
    std::printf(
        "jingle %.4f soundtrack %.4f covered %.1f bad_blocks %ld longest_bad_ms %ld "
        "residual_db %.1f first_bad %.2f\n",
        jingleAt / double(Rate), musicAt / double(Rate), covered, bad, longest * 10,
        10 * std::log10((residualSum + 1) / (signalSum + 1)),
        firstBad < 0 ? -1.0 : firstBad * Block / double(Rate));
    return longest <= 1 ? 0 : 1;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "record") == 0) {
        return Record(argv[2], argv[3]);
    }
    if (argc == 5 && std::strcmp(argv[1], "align") == 0) {
        return Align(argv[2], argv[3], argv[4]);
    }
    std::fprintf(stderr, "usage: sound_probe record SOURCE FILE | align JINGLE SOUNDTRACK FILE\n");
    return 2;
}
