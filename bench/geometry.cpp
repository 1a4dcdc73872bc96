// Cost of the geometry on the headless context: the wave surface per call
// (height evaluation and GL emission apart), the terrain lists per step
// (decoding the height map included), one sprite cloud and one lattice shell.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "../tests/support/test_jpeg.h"
#include "setup/settings.h"
#include "frame/frame.h"
#include "geometry/lattice.h"
#include "geometry/models.h"
#include "geometry/terrain.h"
#include "geometry/wave.h"
#include "platform/headless.h"

namespace {

WaveGrid Grid;
std::string HeightMapFile;

void SetUpView() {
    glViewport(0, 0, 640, 360);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-0.5, 0.5, -0.28, 0.28, 1, 500);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void TimeWaveEvaluate(benchmark::State& state) {
    const bool demoPlus = state.range(0) != 0;
    float phase = 0;
    for (auto _ : state) {
        EvaluateWaveGrid(0, -30, demoPlus, phase, int(phase) % 4, &Grid);
        benchmark::DoNotOptimize(Grid.heights[0]);
        phase += 0.37f;
    }
    state.SetItemsProcessed(state.iterations() * Grid.rows * Grid.columns);
}
BENCHMARK(TimeWaveEvaluate)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Emission through immediate mode, finished so the driver's work is counted.
void TimeWaveEmit(benchmark::State& state) {
    EvaluateWaveGrid(0, -30, state.range(0) != 0, 1.0f, 1, &Grid);
    SetUpView();
    glTranslatef(0, -3, -16);
    for (auto _ : state) {
        EmitWaveGrid(Grid, 1.0f, 1, false);
        glFinish();
    }
    state.SetItemsProcessed(state.iterations() * Grid.rows * Grid.columns);
}
BENCHMARK(TimeWaveEmit)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void TimeDrawWaveSurface(benchmark::State& state) {
    DemoSettings.demoPlus = state.range(0) != 0;
    SetUpView();
    glTranslatef(0, -3, -16);
    for (auto _ : state) {
        DrawWaveSurface(0, -30);
        glFinish();
        WavePhase += 0.05f;
    }
    DemoSettings.demoPlus = false;
}
BENCHMARK(TimeDrawWaveSurface)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void TimeBuildTerrainList(benchmark::State& state) {
    const int step = int(state.range(0));
    for (auto _ : state) {
        if (!BuildTerrainListFromFile(HeightMapFile.c_str(), step, 2)) {
            state.SkipWithError("height map not usable");
            break;
        }
        glFinish();
    }
}
BENCHMARK(TimeBuildTerrainList)->Arg(16)->Arg(4)->Arg(1)->Unit(benchmark::kMillisecond);

void TimeDrawSpriteCloud(benchmark::State& state) {
    SetUpView();
    glTranslatef(0, 0, -60);
    for (auto _ : state) {
        DrawSpriteCloud(32, 8, 32, 8, 4);
        glFinish();
        FrameClock.now += 0.016f;
    }
}
BENCHMARK(TimeDrawSpriteCloud)->Unit(benchmark::kMicrosecond);

void TimeDrawLatticeShell(benchmark::State& state) {
    SetUpView();
    glTranslatef(0, 0, -8);
    float phase = 0;
    for (auto _ : state) {
        DrawLatticeShell(phase, 0.5f);
        glFinish();
        phase += 0.01f;
    }
}
BENCHMARK(TimeDrawLatticeShell)->Unit(benchmark::kMicrosecond);

bool WriteHeightMap() {
    char name[] = "/tmp/norvale-bench-heightmap-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0)
        return false;
    HeightMapFile = name;
    return WriteTestJpeg(name, 256, 256, 3, [](int x, int y, int c) {
        return static_cast<unsigned char>(c == 0 ? (x * 3 + y * 5) & 255 : 0);
    });
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!CreateHeadlessContext(640, 360) || !WriteHeightMap()) {
        std::fprintf(stderr, "no headless GL context or no temporary height map\n");
        return 1;
    }
    const unsigned int base = glGenLists(64);
    for (unsigned int i = 0; i < 64; ++i) DisplayListTable[i] = base + i;
    benchmark::RunSpecifiedBenchmarks();
    std::remove(HeightMapFile.c_str());
    DestroyHeadlessContext();
    return 0;
}
