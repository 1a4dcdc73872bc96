// Sound helper for the end-to-end tests:
//   sound_probe record SOURCE FILE   records a PulseAudio source (44100 Hz
//       stereo 16-bit) to FILE until SIGTERM, and writes to FILE.start the
//       wall-clock second at which its first frame was captured; FILE.starts
//       has that second as each 10 ms read dates it, after the read's second
//       in the recording (a server's clock may drift from the wall's)
//   sound_probe align JINGLE SOUNDTRACK FILE   finds the two MP3s, decoded as
//       the demo decodes them, in the recording, and checks that the
//       recording is exactly their sum from the jingle's start on
//   sound_probe locate SOUNDTRACK FILE EXPECTED   the soundtrack second at
//       the recording's first frame, found within 0.4 s of EXPECTED (its bars
//       repeat every 1.92 s) 1 s after the recording turns loud
#include <mpg123.h>
#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <climits>
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
    // Fragments of 2048 frames, the cycle PipeWire's graph takes for the
    // demo's stream alone: smaller ones set the whole graph to a pace this
    // machine misses when its CPUs are taken from it for tens of ms.
    pa_buffer_attr attr = {static_cast<uint32_t>(-1), static_cast<uint32_t>(-1),
                           static_cast<uint32_t>(-1), static_cast<uint32_t>(-1), 2048 * 4};
    int error = 0;
    pa_simple* stream = pa_simple_new(nullptr, "norvale-sound-probe", PA_STREAM_RECORD, source,
                                      "record", &spec, nullptr, &attr, &error);
    FILE* out = std::fopen(path, "wb");
    FILE* dated = std::fopen((std::string(path) + ".starts").c_str(), "w");
    if (!stream || !out || !dated) {
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
        std::fprintf(dated, "%.2f %.4f\n", static_cast<double>(frames) / Rate, starts.back());
    }
    std::fclose(out);
    std::fclose(dated);
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

size_t CountFrames(const Pcm& pcm) {
    return pcm.size() / 2;
}

size_t FindFirstLoudFrame(const Pcm& pcm) {
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
    long loud = static_cast<long>(FindFirstLoudFrame(ref));
    long frames = static_cast<long>(CountFrames(rec));
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

// Where `heard`'s first loud second lies in `near`, least squares over every
// place, or -1 when even the closest is a tenth of the sound off: a graph
// at another rate resamples the stream (and the recording again), so no
// place agrees sample for sample.
long FindResampled(const Pcm& near, const Pcm& heard) {
    const long window = Rate * 2;
    long loud = static_cast<long>(FindFirstLoudFrame(heard)) * 2;
    if (loud + window > static_cast<long>(heard.size())) {
        return -1;
    }
    long best = -1;
    double bestError = 0, energy = 0;
    for (long i = 0; i < window; ++i) {
        energy += double(heard[loud + i]) * heard[loud + i];
    }
    for (long o = 0; o + loud + window <= static_cast<long>(near.size()); o += 2) {
        double error = 0;
        for (long i = 0; i < window && (best < 0 || error < bestError); ++i) {
            double d = near[o + loud + i] - heard[loud + i];
            error += d * d;
        }
        if (best < 0 || error < bestError) {
            best = o / 2;
            bestError = error;
        }
    }
    return bestError < energy / 10 ? best : -1;
}

int Locate(const char* soundtrackPath, const char* recPath, double expected) {
    Pcm soundtrack, rec;
    if (!Decode(soundtrackPath, &soundtrack) || !ReadRaw(recPath, &rec)) {
        std::fprintf(stderr, "sound_probe: cannot read the sounds\n");
        return 2;
    }
    size_t at = std::min(FindFirstLoudFrame(rec) * 2 + Rate * 2, rec.size());
    Pcm heard(rec.begin() + at, rec.end());
    long from = std::max(std::lround((expected - 0.4) * Rate) + long(at / 2), 0L);
    size_t end = (from + Rate * 9 / 5 + FindFirstLoudFrame(heard)) * 2;
    Pcm near(soundtrack.begin() + std::min(from * 2, long(soundtrack.size())),
             soundtrack.begin() + std::min(end, soundtrack.size()));
    long found = Find(near, heard, 0);
    if (found < 0 && std::getenv("SOUND_PROBE_RESAMPLED") != nullptr) {
        found = FindResampled(near, heard);
    }
    std::printf(found < 0 ? "none\n" : "%.4f\n", (from + found - long(at / 2)) / double(Rate));
    return found < 0;
}

// The two sounds as placed in the recording: what it should hold at source
// frame p (the recording's frame while nothing has slipped).
struct Placed {
    const Pcm* jingle;
    long jingleAt;
    const Pcm* music;
    long musicAt;
};

int Want(const Placed& placed, long p, int channel) {
    int sum = 0;
    long j = (p - placed.jingleAt) * 2 + channel;
    long m = (p - placed.musicAt) * 2 + channel;
    if (j >= 0 && j < static_cast<long>(placed.jingle->size())) {
        sum += (*placed.jingle)[j];
    }
    if (m >= 0 && m < static_cast<long>(placed.music->size())) {
        sum += (*placed.music)[m];
    }
    return std::clamp(sum, -32768, 32767);
}

// The 10 ms block at recording frame i against source frame p: true when
// it agrees within -26 dB of its signal (or -61 dBFS); its signal energy.
bool CheckBlockMatches(const Pcm& rec, const Placed& placed, long i, long p, double* signal) {
    double d2 = 0;
    double s2 = 0;
    if (i < 0 || (i + Block) * 2 > static_cast<long>(rec.size())) {
        return false;
    }
    for (long k = 0; k < Block * 2; ++k) {
        double want = Want(placed, p + k / 2, k % 2);
        d2 += (rec[i * 2 + k] - want) * (rec[i * 2 + k] - want);
        s2 += want * want;
    }
    *signal = s2;
    return d2 <= 0.0025 * s2 + Block * 2 * 30.0 * 30.0;
}

// Where the output slipped at a mismatch before source frame p: the shift
// (frames; positive when silence was put in, negative when sound was
// repeated) at which one of the next audible blocks turns up, up to 2 s
// later or 10 ms earlier (a block lost in the slip is passed over); false
// when none does.
bool FindSlip(const Pcm& rec, const Placed& placed, long shift, long p, long* slip) {
    double signal = 0;
    long q = p;
    for (int tries = 0; tries < 20; ++tries) {
        q += Block;
        while (q < p + 5 * Rate && (CheckBlockMatches(rec, placed, 0, q, &signal), signal) <
                                       Block * 2 * 300.0 * 300.0) {
            q += Block;
        }
        for (long d = -Block; d <= 2 * Rate; ++d) {
            if (CheckBlockMatches(rec, placed, q + shift + d, q, &signal)) {
                *slip = d;
                return true;
            }
        }
    }
    return false;
}

struct Walk {
    long shift = 0;  // frames the output has slipped by in all
    long slips = 0;
    long largest = 0;    // frames, the largest slip either way
    long longest = 0;    // blocks, the longest run of damaged sound
    long damagedAt = 0;  // ms from the jingle's start, where that run ends
    bool lostTrack = false;
    std::string where;  // the first slips, "at:by" in ms
};

// Block by block from the jingle's start up to recording frame `end`: a
// block that does not match is a slip of the output (a gap or a repeat;
// everything after it moves by as much) or damaged sound.
Walk WalkRecording(const Pcm& rec, const Placed& placed, long end) {
    Walk walk;
    long run = 0;
    double signal = 0;
    end = std::min(end, static_cast<long>(CountFrames(rec)));
    for (long i = placed.jingleAt + Block; i + Block <= end; i += Block) {
        if (CheckBlockMatches(rec, placed, i, i - walk.shift, &signal)) {
            run = 0;
            continue;
        }
        long slip = 0;
        if (!FindSlip(rec, placed, walk.shift, i - walk.shift, &slip)) {
            walk.lostTrack = i + 5 * Rate < static_cast<long>(CountFrames(rec));
            walk.where += " lost_at:" + std::to_string((i - placed.jingleAt) * 1000 / Rate);
            break;
        }
        if (slip == 0) {
            if (++run > walk.longest) {
                walk.longest = run;
                walk.damagedAt = (i - placed.jingleAt) * 1000 / Rate;
            }
            continue;
        }
        if (++walk.slips <= 5) {
            walk.where += " " + std::to_string((i - placed.jingleAt) * 1000 / Rate) + ":" +
                          std::to_string(slip * 1000.0 / Rate).substr(0, 5);
        }
        walk.largest = std::max(walk.largest, std::abs(slip));
        walk.shift += slip;
        run = 0;
    }
    return walk;
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
    Pcm rest(rec);
    for (size_t i = 0; i < jingle.size() && jingleAt * 2 + i < rest.size(); ++i) {
        rest[jingleAt * 2 + i] =
            static_cast<int16_t>(std::clamp(rest[jingleAt * 2 + i] - jingle[i], -32768, 32767));
    }
    long musicAt = Find(rest, soundtrack, jingleAt);
    if (musicAt < 0) {
        std::printf("no-soundtrack jingle %.4f\n", jingleAt / double(Rate));
        return 1;
    }
    // Slips before the soundtrack moved it as well: placed in source frames.
    Walk first = WalkRecording(rec, Placed{&jingle, jingleAt, &soundtrack, LONG_MAX / 4}, musicAt);
    Placed placed = {&jingle, jingleAt, &soundtrack, musicAt - first.shift};
    Walk walk = WalkRecording(rec, placed, static_cast<long>(CountFrames(rec)));
    long shift = walk.shift;
    long largest = walk.largest;
    double covered = (CountFrames(rec) - static_cast<double>(musicAt - first.shift + shift)) / Rate;
    std::printf(
        "jingle %.4f soundtrack %.4f covered %.1f slips %ld largest_slip_ms %.1f drift_ms %.1f "
        "longest_damage_ms %ld at_ms %ld%s%s\n",
        jingleAt / double(Rate), (musicAt - first.shift) / double(Rate), covered, walk.slips,
        largest * 1000.0 / Rate, shift * 1000.0 / Rate, walk.longest * 10, walk.damagedAt,
        walk.where.empty() ? "" : " slips_at_ms:to_ms", walk.where.c_str());
    if (walk.lostTrack) {
        std::printf("the recording stops following the sounds\n");
    }
    return !walk.lostTrack && largest <= Block && walk.longest <= 1 ? 0 : 1;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "record") == 0) {
        return Record(argv[2], argv[3]);
    }
    if (argc == 5 && std::strcmp(argv[1], "align") == 0) {
        return Align(argv[2], argv[3], argv[4]);
    }
    if (argc == 5 && std::strcmp(argv[1], "locate") == 0) {
        return Locate(argv[2], argv[3], std::atof(argv[4]));
    }
    std::fprintf(stderr,
                 "usage: sound_probe record SOURCE FILE | align JINGLE SOUNDTRACK FILE | "
                 "locate SOUNDTRACK FILE EXPECTED\n");
    return 2;
}
