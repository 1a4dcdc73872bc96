// Loading the soundtrack (decoded whole into memory) against the mpg123
// command-line decoder on the same file in the same run; target: within 1.1x.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <vector>

#include "../tests/support/test_mp3.h"
#include "resources/audio.h"

namespace {

const char* const SoundtrackPath = "data/preview_kovi.mp3";

bool FileExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && info.st_size > 0;
}

// About 200 s of stereo music-like sound: a few drifting tones and noise,
// so the encoder has real work and the decoder real frames.
std::vector<int16_t> StandInMusic(int seconds) {
    const int rate = 44100;
    std::vector<int16_t> pcm(static_cast<size_t>(seconds) * rate * 2);
    uint32_t noise = 1;
    for (size_t i = 0; i < pcm.size() / 2; ++i) {
        double t = static_cast<double>(i) / rate;
        double v = 0.3 * std::sin(2 * M_PI * (110 + 20 * std::sin(t)) * t) +
                   0.2 * std::sin(2 * M_PI * 440 * t) * std::sin(2 * M_PI * 0.5 * t);
        noise = noise * 1664525u + 1013904223u;
        v += 0.05 * (static_cast<int32_t>(noise >> 16) - 32768) / 32768.0;
        pcm[2 * i] = static_cast<int16_t>(v * 32767);
        pcm[2 * i + 1] = static_cast<int16_t>(v * 30000);
    }
    return pcm;
}

bool EncodeStandIn(const std::string& path) {
    return WriteTestMp3(path, StandInMusic(200), 44100, 2);
}

// The generated soundtrack when there is one, else a stand-in made once.
std::string SoundtrackFile() {
    std::string data = std::string(NORVALE_SOURCE_DIR) + "/" + SoundtrackPath;
    if (FileExists(data)) {
        return data;
    }
    std::string standIn = std::string(NORVALE_BINARY_DIR) + "/bench_soundtrack_standin.mp3";
    if (!FileExists(standIn) && !EncodeStandIn(standIn)) {
        return std::string();
    }
    return standIn;
}

// Wall clock and processor time of one decode. The machine may be shared,
// so the processor times give the steadier ratio.
struct Timing {
    double wall = 0;
    double cpu = 0;
};

double Seconds(const timespec& t) {
    return t.tv_sec + t.tv_nsec * 1e-9;
}
double Seconds(const timeval& t) {
    return t.tv_sec + t.tv_usec * 1e-6;
}

double ThreadCpuSeconds() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return Seconds(now);
}

double ChildCpuSeconds() {
    rusage usage;
    getrusage(RUSAGE_CHILDREN, &usage);
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

double ReadWallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

Timing TimeOurLoad(const std::string& path) {
    double wall = ReadWallSeconds();
    double cpu = ThreadCpuSeconds();
    AudioHandle sample = AudioSampleLoad(path.c_str());
    Timing timing{ReadWallSeconds() - wall, ThreadCpuSeconds() - cpu};
    AudioSampleInfo info;
    AudioSampleGetInfo(sample, &info);
    benchmark::DoNotOptimize(info.length);
    AudioFree();
    return timing;
}

bool TimeCommandLineDecoder(const std::string& path, Timing* timing) {
    std::string command = "mpg123 -q -s '" + path + "' > /dev/null";
    double wall = ReadWallSeconds();
    double cpu = ChildCpuSeconds();
    int status = std::system(command.c_str());
    *timing = Timing{ReadWallSeconds() - wall, ChildCpuSeconds() - cpu};
    return status == 0;
}

// Each iteration decodes the file both ways; the iteration time is our wall
// time, the counters hold both tools' best times and their ratios.
void SoundtrackLoadAgainstMpg123(benchmark::State& state) {
    std::string path = SoundtrackFile();
    if (path.empty()) {
        state.SkipWithError("no soundtrack and no stand-in could be made");
        return;
    }
    // Best of the runs: on a shared machine the least disturbed run is the
    // nearest to the decoder's own cost.
    Timing ours{1e9, 1e9};
    Timing theirs{1e9, 1e9};
    for (auto _ : state) {
        Timing one = TimeOurLoad(path);
        Timing other;
        if (!TimeCommandLineDecoder(path, &other)) {
            state.SkipWithError("mpg123 could not be run");
            return;
        }
        state.SetIterationTime(one.wall);
        ours = Timing{std::min(ours.wall, one.wall), std::min(ours.cpu, one.cpu)};
        theirs = Timing{std::min(theirs.wall, other.wall), std::min(theirs.cpu, other.cpu)};
    }
    state.counters["ours_cpu_s"] = ours.cpu;
    state.counters["mpg123_cpu_s"] = theirs.cpu;
    state.counters["cpu_ratio"] = ours.cpu / theirs.cpu;
    state.counters["wall_ratio"] = ours.wall / theirs.wall;
    state.SetLabel(path.find("standin") != std::string::npos ? "stand-in (no data/)" : "data/");
}

}  // namespace

BENCHMARK(SoundtrackLoadAgainstMpg123)
    ->UseManualTime()
    ->Iterations(8)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
