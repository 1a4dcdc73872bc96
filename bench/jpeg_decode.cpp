// Decoding the ten textures and the height map: our loader against libjpeg-turbo's
// djpeg on the same files in the same run; prints the time ratios at the end.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../tests/support/test_jpeg.h"
#include "resources/images.h"

extern char** environ;

namespace {

std::vector<std::string> Files;  // the eleven pictures decoded per iteration
std::string StandInDir;          // made when data/ has no pictures
double OurSeconds = 0;           // wall time per iteration, from the last run of each
double DjpegSeconds = 0;
double OurCpuSeconds = 0;  // processor time per iteration (djpeg's: its processes')
double DjpegCpuSeconds = 0;

// Smooth shapes with fine noise, so the coder has real work to do.
unsigned char StandInSample(int x, int y, int c, int seed) {
    double v = 128 + 60 * std::sin((x + seed * 13) * 0.031 + c) * std::cos(y * 0.023 - seed);
    unsigned hash = unsigned(x * 73856093) ^ unsigned(y * 19349663) ^ unsigned(c * 83492791 + seed);
    return static_cast<unsigned char>(v + int(hash % 41) - 20);
}

void MakeStandIns() {
    char pattern[] = "/tmp/norvale-bench-jpeg-XXXXXX";
    StandInDir = mkdtemp(pattern);
    for (int slot = 1; slot <= 11; ++slot) {
        std::string path = StandInDir + "/picture" + std::to_string(slot) + ".jpg";
        int side = slot == 11 ? 256 : 512;  // the height map is 256 x 256
        WriteTestJpeg(path.c_str(), side, side, 3,
                      [slot](int x, int y, int c) { return StandInSample(x, y, c, slot); });
        Files.push_back(path);
    }
    fprintf(stderr, "no pictures in data/: using stand-ins in %s\n", StandInDir.c_str());
}

void FindFiles() {
    std::string root = std::filesystem::exists("data/heightmap.jpg") ? "" : NORVALE_SOURCE_DIR "/";
    for (int slot = 1; slot <= 10; ++slot) {
        Files.push_back(root + "data/" + TextureFiles[slot]);
    }
    Files.push_back(root + "data/heightmap.jpg");
    for (const std::string& file : Files) {
        if (!std::filesystem::exists(file)) {
            Files.clear();
            MakeStandIns();
            return;
        }
    }
}

bool RunDjpeg(const std::string& file) {
    const char* argv[] = {"djpeg", "-outfile", "/dev/null", file.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "djpeg", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
        return false;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double CpuNow() {
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + now.tv_nsec * 1e-9;
}

// Processor time of every finished child process so far.
double ChildCpuNow() {
    rusage usage;
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

void BM_LoadJpegImage(benchmark::State& state) {
    double start = Now(), cpuStart = CpuNow();
    for (auto _ : state) {
        for (const std::string& file : Files) {
            ImageRecord image;
            LoadJpegImage(file.c_str(), &image);
            benchmark::DoNotOptimize(image.pixels);
            free(image.pixels);
        }
    }
    OurSeconds = (Now() - start) / double(state.iterations());
    OurCpuSeconds = (CpuNow() - cpuStart) / double(state.iterations());
}
BENCHMARK(BM_LoadJpegImage)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Djpeg(benchmark::State& state) {
    double start = Now(), cpuStart = ChildCpuNow();
    for (auto _ : state) {
        for (const std::string& file : Files) {
            if (!RunDjpeg(file)) {
                state.SkipWithError("djpeg failed or is missing (package libjpeg-turbo-progs)");
                return;
            }
        }
    }
    DjpegSeconds = (Now() - start) / double(state.iterations());
    DjpegCpuSeconds = (ChildCpuNow() - cpuStart) / double(state.iterations());
}
BENCHMARK(BM_Djpeg)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    FindFiles();
    benchmark::RunSpecifiedBenchmarks();
    if (OurSeconds > 0 && DjpegSeconds > 0 && DjpegCpuSeconds > 0) {
        printf("JPEG decode of %zu pictures (target: ratio at most 1.1)\n", Files.size());
        printf("  wall: ours %.2f ms, djpeg %.2f ms, ratio %.3f\n", OurSeconds * 1e3,
               DjpegSeconds * 1e3, OurSeconds / DjpegSeconds);
        printf("  cpu:  ours %.2f ms, djpeg %.2f ms, ratio %.3f\n", OurCpuSeconds * 1e3,
               DjpegCpuSeconds * 1e3, OurCpuSeconds / DjpegCpuSeconds);
    }
    benchmark::Shutdown();
    if (!StandInDir.empty()) {
        std::filesystem::remove_all(StandInDir);
    }
    return 0;
}
