// Cost of one frame's fixed work on the headless context: the two passes'
// clears and mask overlays, the glow capture and the composition, with an
// empty scene, at 640x360 and 1280x720.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include "passes/glow.h"
#include "setup/render_state.h"
#include "setup/settings.h"
#include "setup/viewport.h"
#include "frame/frame.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "show/show.h"

namespace {
bool SetUpFrame(int width, int height) {
    if (!CreateHeadlessContext(width, height))
        return false;
    DemoSettings.aspect = static_cast<float>(width) / height;
    ResizeViewport(width, height);
    InitFixedRenderState();
    CreateGlowTexture();
    UseManualClock(0);
    SceneIndex = 7;  // no scene: only the pipeline's own work
    return true;
}

void TimeRenderFrame(benchmark::State& state) {
    if (!SetUpFrame(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)))) {
        state.SkipWithError("no headless GL context");
        return;
    }
    for (auto _ : state) {
        RenderFrame();
        glFinish();
        ManualClockMilliseconds += 16;
        UpdateFrameClock();
    }
    DestroyHeadlessContext();
}
BENCHMARK(TimeRenderFrame)->Args({640, 360})->Args({1280, 720})->Unit(benchmark::kMillisecond);
}  // namespace

BENCHMARK_MAIN();
