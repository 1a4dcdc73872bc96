// Per-step frame timing for the renderer's --pass-log. Each boundary drains
// the GL pipeline first, so a step's time is what llvmpipe spent on its
// draws; the drains themselves make the whole frame slower than it is.
#include "render_passes.h"

#include <GL/gl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "frame/frame.h"
#include "passes/pass_state.h"
#include "render_outputs.h"
#include "resources/images.h"

namespace {

using WallClock = std::chrono::steady_clock;

const char* const TextureNames[] = {"blank", "font",          "day terrain", "flare",
                                    "dot",   "night terrain", "stars",       "lights",
                                    "mask",  "glow map",      "detail"};
static_assert(sizeof(TextureNames) / sizeof(TextureNames[0]) == TextureFileCount,
              "one name for each texture slot");

// The open step, this frame's sums and the samples of every step seen.
// Lives for the whole run.
struct PassLogRecord {
    FILE* file = nullptr;
    std::string path;
    bool open = false;  // a step is being timed
    int scene = 0;
    std::string step;           // part and name of the open step
    std::string part = "glow";  // "glow", "full" (the frame's two passes) or "frame"
    WallClock::time_point start;
    std::map<std::string, double> frame;                 // this frame's milliseconds by key
    std::vector<std::string> order;                      // keys in first-seen order
    std::map<std::string, std::vector<double>> samples;  // key: scene, part, step
};
PassLogRecord PassLog;

// A pass is named by its texture; the passes of one texture in one part of
// a frame add up.
std::string StepName(const char* label, int texture) {
    std::string name = label;
    if (name == "pass")
        name += texture >= 0 && texture <= TextureDetail ? std::string(" ") + TextureNames[texture]
                                                         : std::string(" untextured");
    return name;
}

void AddSample(const std::string& key, double ms) {
    auto found = PassLog.samples.find(key);
    if (found == PassLog.samples.end()) {
        PassLog.order.push_back(key);
        found = PassLog.samples.emplace(key, std::vector<double>()).first;
    }
    found->second.push_back(ms);
}

// One sample per step of the frame just ended, and the frame's total.
void FlushFrame() {
    double total = 0;
    for (const auto& step : PassLog.frame) {
        AddSample(step.first, step.second);
        total += step.second;
    }
    if (!PassLog.frame.empty())
        AddSample(std::to_string(PassLog.scene) + "\tframe\ttotal", total);
    PassLog.frame.clear();
}

void CloseStep(WallClock::time_point now) {
    if (!PassLog.open)
        return;
    const std::string key = std::to_string(PassLog.scene) + "\t" + PassLog.step;
    PassLog.frame[key] += std::chrono::duration<double, std::milli>(now - PassLog.start).count();
    PassLog.open = false;
}

void OpenStep(const char* label, int texture) {
    const std::string name = label;
    if (name == "glow pass" || name == "full pass")
        PassLog.part = name == "glow pass" ? "glow" : "full";
    if (name == "glow pass")
        FlushFrame();
    PassLog.scene = SceneIndex;
    PassLog.step = PassLog.part + "\t" + StepName(label, texture);
    PassLog.start = WallClock::now();
    PassLog.open = true;
}

void MarkEngineStep(const char* label, int texture) {
    glFinish();
    CloseStep(WallClock::now());
    OpenStep(label, texture);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void WriteRow(const std::string& key) {
    const std::vector<double>& v = PassLog.samples[key];
    std::fprintf(PassLog.file, "%s\t%zu\t%.2f\n", key.c_str(), v.size(), Median(v));
}

// Rows of a scene: its frames' total first, then the glow, full and frame steps.
void WriteScene(int scene) {
    const std::string total = std::to_string(scene) + "\tframe\ttotal";
    if (PassLog.samples.count(total))
        WriteRow(total);
    for (const char* part : {"\tglow\t", "\tfull\t", "\tframe\t"}) {
        const std::string prefix = std::to_string(scene) + part;
        for (const std::string& key : PassLog.order) {
            if (key.compare(0, prefix.size(), prefix) == 0 && key != total)
                WriteRow(key);
        }
    }
}

}  // namespace

bool StartPassLog(const std::string& path) {
    PassLog.path = path;
    PassLog.file = std::fopen(path.c_str(), "w");
    if (!PassLog.file)
        return ReportWriteFailure(path, errno);
    PassMark = MarkEngineStep;
    return true;
}

void MarkRenderStep(const char* label) {
    if (!PassLog.file)
        return;
    glFinish();
    CloseStep(WallClock::now());
    PassLog.part = "frame";
    OpenStep(label, PassNoTexture);
}

bool FinishPassLog() {
    if (!PassLog.file)
        return true;
    PassMark = nullptr;
    PassLog.open = false;  // the last frame's outputs are still being written
    FlushFrame();
    std::fprintf(PassLog.file, "scene\tpart\tstep\tframes\tmedian_ms\n");
    for (int scene = 0; scene <= 5; ++scene) WriteScene(scene);
    const bool ok = CloseWrittenFile(PassLog.file, PassLog.path);
    PassLog.file = nullptr;
    return ok;
}
