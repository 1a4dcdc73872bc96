// Music generator speed: mixing the soundtrack, encoding it, and both pieces written whole
// (goal: the two files together well under 10 s; the process CPU time is shown as well,
// since other load on the machine skews the wall-clock figure).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "music.h"
#include "music_internal.h"

namespace {

std::string Temp(const char* name) {
    return std::string(NORVALE_BINARY_DIR) + "/bench_" + name;
}

void SoundtrackMix(benchmark::State& state) {
    for (auto _ : state) {
        Score score;
        ScoreSoundtrack(&score);
        StereoBuffer pcm;
        MixScore(score, &pcm);
        benchmark::DoNotOptimize(pcm.left.data());
    }
}

void SoundtrackEncode(benchmark::State& state) {
    Score score;
    ScoreSoundtrack(&score);
    StereoBuffer pcm;
    MixScore(score, &pcm);
    std::string path = Temp("soundtrack.mp3");
    for (auto _ : state) {
        if (!EncodeMp3(pcm, path.c_str())) {
            state.SkipWithError("encoding failed");
        }
    }
    std::remove(path.c_str());
}

void BothFiles(benchmark::State& state) {
    std::string jingle = Temp("jingle.mp3"), soundtrack = Temp("soundtrack.mp3");
    for (auto _ : state) {
        if (!WriteJingle(jingle.c_str()) || !WriteSoundtrack(soundtrack.c_str())) {
            state.SkipWithError("writing failed");
        }
    }
    std::remove(jingle.c_str());
    std::remove(soundtrack.c_str());
}

}  // namespace

BENCHMARK(SoundtrackMix)->Unit(benchmark::kSecond)->Iterations(1)->MeasureProcessCPUTime();
BENCHMARK(SoundtrackEncode)->Unit(benchmark::kSecond)->Iterations(1)->MeasureProcessCPUTime();
BENCHMARK(BothFiles)->Unit(benchmark::kSecond)->Iterations(1)->MeasureProcessCPUTime();
BENCHMARK_MAIN();
