// norvale-render: runs the demo with no display and no sound device, on a
// virtual clock driven by the output time, and captures every frame and the
// mixed soundtrack to PNG files, a WAV file, a video (through ffmpeg) and a
// frame log.
#include <GL/gl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <string>
#include <vector>

#include "setup/render_state.h"
#include "setup/settings.h"
#include "setup/shell_files.h"
#include "setup/viewport.h"
#include "frame/frame.h"
#include "frame/timeline.h"
#include "geometry/models.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "render_brightness.h"
#include "render_ffmpeg.h"
#include "render_loop_stats.h"
#include "render_options.h"
#include "render_outputs.h"
#include "render_passes.h"
#include "render_timeline.h"
#include "resources/audio.h"
#include "resources/data_path.h"
#include "resources/music_clock.h"
#include "show/intro.h"
#include "show/show.h"

namespace {

using WallClock = std::chrono::steady_clock;

// Relative drawing time of a second of output in each part of the timeline,
// from frame logs at 1280x720 on llvmpipe: the time left weighs what is
// still to come by these, scaled by the speed seen so far, so the cheap
// first minute does not promise too much.
struct CostSpan {
    double end;  // output seconds after the intro
    double weight;
};
const CostSpan TimelineCosts[] = {{SceneStartOffsets[1] * CounterUnitSeconds, 1.5},
                                  {SceneStartOffsets[2] * CounterUnitSeconds, 1.0},
                                  {SceneStartOffsets[3] * CounterUnitSeconds, 4.0},
                                  {SceneStartOffsets[4] * CounterUnitSeconds, 3.5},
                                  {TimelineEnd * CounterUnitSeconds, 2.0},
                                  {DemoSecondsEstimate, 0.6}};
constexpr double IntroWeight = 0.15;
// A demo that never ends (a scene that never hands over) stops here.
constexpr double LongestOutputSeconds = 1200.0;

// The run: options, time, the picture on screen and where frames go. Lives
// for the whole process.
struct RenderSession {
    RenderOptions options;
    RenderTimeline timeline;
    int64_t firstSlot = 0;
    int64_t endSlot = 0;  // exclusive
    bool endIsCap = false;
    bool done = false;
    bool failed = false;
    bool readBack = false;
    uint32_t lastClockMs = 0;  // the clock's last reading before the run was done
    uint32_t leapMs = 0;       // added to it since, see LeapingThroughIntro
    const char* phase = "intro";
    Picture current;             // last presented picture
    std::vector<uint8_t> rows;   // read-back scratch, bottom row first
    double currentRenderMs = 0;  // wall time spent on the current picture
    bool currentShown = false;
    WallClock::time_point lastPresent;
    std::vector<int16_t> audio;
    WavWriter wav;
    TextOutput frameLog;
    bool ffmpeg = false;
    int loops = 0;           // times the first scene was entered
    int lastSceneSeen = -1;  // SceneIndex before the latest frame
};
RenderSession Session;
BrightnessTable CaptureBrightness;  // from --brightness, for the whole run

// Progress on stderr: a bar redrawn in place on a terminal, a line per 10 %
// otherwise.
struct ProgressState {
    bool terminal = false;
    int64_t written = 0;
    int64_t expected = 1;
    double introSeconds = 0;  // output time before scene 0, 0 with --skip-intro
    int lastTenth = 0;
    WallClock::time_point start;
    WallClock::time_point lastDraw;
};
ProgressState Progress;

double SecondsSince(WallClock::time_point t) {
    return std::chrono::duration<double>(WallClock::now() - t).count();
}

// Drawing work from the start of the output up to output time t, in weighted
// seconds, for one play of the demo.
double EstimateWorkOfOnePlay(double t) {
    const double intro = Progress.introSeconds;
    double work = IntroWeight * std::min(t, intro);
    double from = 0;
    for (const CostSpan& span : TimelineCosts) {
        const double to = std::min(t - intro, span.end);
        if (to > from)
            work += (to - from) * span.weight;
        from = span.end;
    }
    return work;
}

// As above; with --loop the scenes come round again after each play.
double EstimateWorkUpTo(double t) {
    const double intro = Progress.introSeconds;
    if (!Session.options.loop || t <= intro + DemoSecondsEstimate)
        return EstimateWorkOfOnePlay(t);
    const double plays = std::floor((t - intro) / DemoSecondsEstimate);
    const double onePlay =
        EstimateWorkOfOnePlay(intro + DemoSecondsEstimate) - EstimateWorkOfOnePlay(intro);
    return plays * onePlay + EstimateWorkOfOnePlay(t - plays * DemoSecondsEstimate);
}

// Seconds still to wait, from the work done so far; negative while unknown.
double SecondsLeft(double elapsed) {
    const FrameRate& rate = Session.options.rate;
    const double start = SlotSeconds(rate, Session.firstSlot);
    const double now = SlotSeconds(rate, Session.firstSlot + Progress.written);
    const double end = SlotSeconds(rate, Session.firstSlot + Progress.expected);
    const double done = EstimateWorkUpTo(now) - EstimateWorkUpTo(start);
    if (elapsed < 2 || done <= 0)
        return -1;
    return std::max(0.0, elapsed * (EstimateWorkUpTo(end) - EstimateWorkUpTo(now)) / done);
}

// "12:34 left", or "--:-- left" before there is anything to go by.
void FormatLeft(double seconds, char out[32]) {
    if (seconds < 0) {
        std::snprintf(out, 32, "--:-- left");
        return;
    }
    const long s = static_cast<long>(seconds + 0.5);
    std::snprintf(out, 32, "%ld:%02ld left", s / 60, s % 60);
}

void DrawProgressBar(double share, double fps, bool final) {
    if (!final && SecondsSince(Progress.lastDraw) < 0.25)
        return;
    Progress.lastDraw = WallClock::now();
    char bar[31];
    int filled = static_cast<int>(share * 30);
    for (int i = 0; i < 30; ++i) bar[i] = i < filled ? '#' : '.';
    bar[30] = '\0';
    char left[32];
    FormatLeft(final ? 0 : SecondsLeft(SecondsSince(Progress.start)), left);
    std::fprintf(stderr, "\r[%s] %lld frames %5.1f %% %6.1f fps %s ", bar,
                 static_cast<long long>(Progress.written), share * 100, fps, left);
}

void ReportProgress(bool final) {
    double elapsed = SecondsSince(Progress.start);
    double fps = elapsed > 0 ? Progress.written / elapsed : 0.0;
    double share = static_cast<double>(Progress.written) / Progress.expected;
    // The end is an estimate until the demo has ended.
    share = final ? 1.0 : std::min(share, 0.99);
    if (Progress.terminal) {
        DrawProgressBar(share, fps, final);
        return;
    }
    int tenth = static_cast<int>(share * 10);
    if (tenth > Progress.lastTenth && !final) {
        Progress.lastTenth = tenth;
        char left[32];
        FormatLeft(SecondsLeft(elapsed), left);
        std::fprintf(stderr, "norvale-render: %d %% (%lld frames, %.1f fps, about %s)\n",
                     tenth * 10, static_cast<long long>(Progress.written), fps, left);
    }
}

// BGRA is the pbuffer's own layout, so the read is a plain copy; the
// conversion to RGB rows, top first, is done here.
void ReadBackPicture() {
    Picture& p = Session.current;
    size_t width = static_cast<size_t>(p.width);
    Session.rows.resize(width * 4 * p.height);
    glReadPixels(0, 0, p.width, p.height, GL_BGRA, GL_UNSIGNED_BYTE, Session.rows.data());
    for (int y = 0; y < p.height; ++y) {
        const uint8_t* from = Session.rows.data() + width * 4 * (p.height - 1 - y);
        uint8_t* to = p.rgb.data() + width * 3 * y;
        for (size_t x = 0; x < width; ++x, from += 4, to += 3) {
            to[0] = from[2];
            to[1] = from[1];
            to[2] = from[0];
        }
    }
}

float MusicSecondsForLog() {
    return musicInfo.freq == 0 || musicInfo.chans == 0 ? 0.0f : GetMusicSeconds();
}

bool LogSlot(int64_t slot) {
    FrameLogRow row{SlotSeconds(Session.options.rate, slot),
                    SceneIndex,
                    SectionIndex,
                    SceneBeat,
                    SectionBeat,
                    MusicSecondsForLog(),
                    Session.currentShown ? 0.0 : Session.currentRenderMs,
                    Session.phase,
                    PictureMeanLevel(Session.current)};
    return WriteFrameLogRow(Session.frameLog, row);
}

void WriteSlot(int64_t slot) {
    bool ok = true;
    if (!Session.options.pngDir.empty())
        ok = WritePngFrame(Session.options.pngDir, slot, Session.current) && ok;
    if (Session.ffmpeg)
        ok = QueueFfmpegVideo(Session.current) && ok;
    if (Session.frameLog.file)
        ok = LogSlot(slot) && ok;
    // Each writer has said what failed and why.
    if (!ok)
        Session.failed = Session.done = true;
}

void EmitSlot(int64_t slot) {
    if (slot >= Session.firstSlot && slot < Session.endSlot) {
        WriteSlot(slot);
        ++Progress.written;
        ReportProgress(false);
    }
    Session.currentShown = true;
    if (slot + 1 >= Session.endSlot)
        Session.done = true;
}

// Mixes audio frames [first, first + count) and keeps those of the output range.
void PullAudio(int64_t first, int64_t count) {
    Session.audio.resize(static_cast<size_t>(count) * 2);
    for (int64_t done = 0; done < count;) {
        int chunk = static_cast<int>(std::min<int64_t>(count - done, 1 << 16));
        AudioPullMix(Session.audio.data() + done * 2, chunk);
        done += chunk;
    }
    int64_t lo = std::max(first, SlotFirstSample(Session.options.rate, Session.firstSlot));
    int64_t hi = std::min(first + count, SlotFirstSample(Session.options.rate, Session.endSlot));
    if (hi <= lo)
        return;
    const int16_t* keep = Session.audio.data() + (lo - first) * 2;
    if (Session.wav.file && !AppendWav(Session.wav, keep, hi - lo))
        Session.failed = Session.done = true;
    if (Session.ffmpeg && !QueueFfmpegAudio(keep, hi - lo))
        Session.failed = Session.done = true;
}

const TimelineSinks Sinks = {PullAudio, EmitSlot};

// Sound up to the end of the last frame, also when it ended mid-millisecond.
void PullLastSound() {
    int64_t last = std::min(Session.endSlot, Session.timeline.nextSlot);
    int64_t needed = SlotFirstSample(Session.options.rate, last);
    if (Session.timeline.samplesPulled < needed) {
        PullAudio(Session.timeline.samplesPulled, needed - Session.timeline.samplesPulled);
        Session.timeline.samplesPulled = needed;
    }
}

// When the last frame falls inside the loading sequence, which cannot be
// left half-way, its sound is taken at once (the intro would go on playing
// into the mixer), and the sequence is then run to its end before main can
// finish: the clock leaps 100 s a reading, so each of its timed phases is
// over in a pass or two, and nothing more is drawn for the outputs.
bool LeapingThroughIntro() {
    if (!Session.done || !Session.timeline.loadingClock)
        return false;
    if (Session.leapMs == 0)
        PullLastSound();
    return true;
}

uint32_t RenderClock() {
    if (LeapingThroughIntro()) {
        Session.leapMs += 100000;
        return Session.lastClockMs + Session.leapMs;
    }
    Session.lastClockMs = ReadTimelineClock(Session.timeline, Sinks);
    LeapingThroughIntro();
    return Session.lastClockMs;
}

void RenderPresent() {
    if (LeapingThroughIntro())
        return;
    if (Session.readBack) {
        MarkRenderStep("read-back");
        ReadBackPicture();
        ApplyBrightness(CaptureBrightness, &Session.current);
        MarkRenderStep("outputs and clock");
    } else {
        // A present waits for the frame, as a buffer swap does; else
        // llvmpipe bins frame after frame ahead of its rasterizer threads
        // and keeps the memory of every scene it ever had in flight.
        glFinish();
    }
    Session.currentRenderMs = SecondsSince(Session.lastPresent) * 1000.0;
    Session.currentShown = false;
    PresentOnTimeline(Session.timeline, Sinks);
    Session.lastPresent = WallClock::now();
    LeapingThroughIntro();
}

// A loop starts when the first scene comes up, at the start and after each
// end step with Loop on.
void NoteLoopStart() {
    const bool starts = SceneIndex == 0 && Session.lastSceneSeen != 0;
    Session.lastSceneSeen = SceneIndex;
    if (!starts)
        return;
    ++Session.loops;
    if (!WriteLoopStats(Session.loops, TimelineMilliseconds(Session.timeline) / 1000.0))
        Session.failed = Session.done = true;
}

// The demo's main loop: draw, present, one clock step, until the end step
// asks to quit. The present moves time on by one frame, so the frame's whole
// step falls between the full pass and the step after the present.
void RunMainLoop() {
    Session.timeline.loadingClock = false;
    Session.phase = "demo";
    while (!QuitRequested && !Session.done) {
        NoteLoopStart();
        if (Session.done)
            break;
        RenderFrame();
        PlatformPresent();
        UpdateFrameClock();
    }
}

void ApplySettings(const RenderOptions& o) {
    DemoSettings.fullscreen = false;
    DemoSettings.loop = o.loop;
    DemoSettings.demoPlus = o.demoPlus;
    PlainDraw = o.plainDraw;
    int g = std::gcd(o.width, o.height);
    DemoSettings.aspectNum = o.aspectNum ? o.aspectNum : o.width / g;
    DemoSettings.aspectDen = o.aspectDen ? o.aspectDen : o.height / g;
    DemoSettings.aspect = o.aspectNum ? static_cast<float>(o.aspectNum) / o.aspectDen
                                      : static_cast<float>(o.width) / o.height;
    ResizeViewport(o.width, o.height);
}

void PlanRange(const RenderOptions& o) {
    Session.timeline.rate = o.rate;
    Session.firstSlot = SlotAtOrAfter(o.rate, o.fromSeconds);
    double end = o.toSeconds >= 0 ? o.toSeconds : LongestOutputSeconds;
    Session.endIsCap = o.toSeconds < 0;
    Session.endSlot = SlotAtOrAfter(o.rate, end);
    double expected = o.toSeconds >= 0
                          ? o.toSeconds
                          : (o.skipIntro ? 0 : IntroSecondsEstimate) + DemoSecondsEstimate;
    Progress.expected = std::max<int64_t>(1, SlotAtOrAfter(o.rate, expected) - Session.firstSlot);
    Progress.introSeconds = o.skipIntro ? 0 : IntroSecondsEstimate;
}

bool OpenOutputs(const RenderOptions& o) {
    Session.current.width = o.width;
    Session.current.height = o.height;
    Session.current.rgb.assign(static_cast<size_t>(o.width) * o.height * 3, 0);
    Session.readBack = !o.pngDir.empty() || !o.outPath.empty() || !o.frameLogPath.empty() ||
                       !o.passLogPath.empty();
    // Each opener names its file and the reason when it fails.
    if (!o.pngDir.empty() && !PreparePngDir(o.pngDir, Session.firstSlot))
        return false;
    if (!o.wavPath.empty() && !OpenWav(Session.wav, o.wavPath))
        return false;
    if (!o.frameLogPath.empty() && !OpenFrameLog(Session.frameLog, o.frameLogPath))
        return false;
    if (!o.passLogPath.empty() && !StartPassLog(o.passLogPath))
        return false;
    if (!o.loopStatsPath.empty() && !OpenLoopStats(o.loopStatsPath))
        return false;
    if (o.nullOutput)
        std::fprintf(stderr,
                     "norvale-render: --null: rendering for timing only, writing nothing\n");
    if (!o.outPath.empty()) {
        const double first = SlotSeconds(o.rate, Session.firstSlot);
        const double end = o.toSeconds >= 0
                               ? o.toSeconds
                               : (o.skipIntro ? 0 : IntroSecondsEstimate) + DemoSecondsEstimate;
        Session.ffmpeg = StartFfmpeg(o, MakeCaptureMetadata(o, first, end));
        return Session.ffmpeg;
    }
    return true;
}

bool FinishOutputs() {
    PullLastSound();
    bool ok = !Session.failed;
    ok = CloseWav(Session.wav) && ok;
    ok = CloseTextOutput(Session.frameLog) && ok;
    ok = FinishPassLog() && ok;
    ok = CloseLoopStats() && ok;
    if (Session.ffmpeg)
        ok = FinishFfmpeg() && ok;
    Session.ffmpeg = false;
    if (Progress.terminal) {
        ReportProgress(true);
        std::fputc('\n', stderr);
    }
    double elapsed = SecondsSince(Progress.start);
    std::fprintf(stderr, "norvale-render: %lld frames in %.1f s (%.1f fps)\n",
                 static_cast<long long>(Progress.written), elapsed,
                 elapsed > 0 ? Progress.written / elapsed : 0.0);
    if (Session.endIsCap && Session.done && !QuitRequested)
        std::fprintf(stderr, "norvale-render: the demo did not end within %.0f s; stopped\n",
                     LongestOutputSeconds);
    if (Progress.written == 0) {
        std::fprintf(stderr, "norvale-render: the demo ended before --from; no frame was made\n");
        return false;
    }
    return ok;
}

void HookPlatform() {
    ResetPlatformDefaults();
    Platform.elapsedMilliseconds = RenderClock;
    Platform.present = RenderPresent;
}

// Every output's folder must exist and take files before the first frame.
bool CheckOutputPaths(const RenderOptions& o) {
    bool ok = o.pngDir.empty() || CheckOutputFolder(o.pngDir);
    for (const std::string* path :
         {&o.outPath, &o.wavPath, &o.frameLogPath, &o.passLogPath, &o.loopStatsPath}) {
        if (!path->empty())
            ok = CheckOutputFile(*path) && ok;
    }
    return ok;
}

int ParseOrExplain(int argc, char** argv) {
    std::string error;
    if (!ParseRenderOptions(argc, argv, &Session.options, &error)) {
        std::fprintf(stderr, "norvale-render: %s\n(see norvale-render --help)\n", error.c_str());
        return 2;
    }
    if (Session.options.help) {
        std::fputs(RenderUsage(), stdout);
        return 0;
    }
    if (!Session.options.glInfo && !CheckRenderPlan(Session.options, &error)) {
        std::fprintf(stderr, "norvale-render: %s\n", error.c_str());
        return 2;
    }
    if (!Session.options.outPath.empty() && !FfmpegAvailable()) {
        std::fprintf(stderr,
                     "norvale-render: --out needs ffmpeg, which is not installed "
                     "(apt-get install ffmpeg); --png and --wav work without it\n");
        return 1;
    }
    return CheckOutputPaths(Session.options) ? -1 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    // Past a file size limit a write must fail with EFBIG and be reported,
    // not end the process (ffmpeg inherits this).
    signal(SIGXFSZ, SIG_IGN);
    int status = ParseOrExplain(argc, argv);
    if (status >= 0)
        return status;
    const RenderOptions& o = Session.options;
    // Without data the capture would show nothing the user wants.
    if (!o.glInfo &&
        !ChooseDataFolder(o.dataDir, "run it where data/ is, or give one with --data DIR"))
        return 2;
    if (!CreateHeadlessContext(o.width, o.height, o.depthBits))
        return 1;
    if (o.glInfo) {
        // Pictures are compared byte for byte only on the renderer they were made on.
        std::printf("renderer: %s\nversion: %s\n", glGetString(GL_RENDERER),
                    glGetString(GL_VERSION));
        DestroyHeadlessContext();
        return 0;
    }
    PlanRange(o);
    CaptureBrightness = MakeBrightnessTable(o.brightness);
    if (!OpenOutputs(o))
        return 1;
    Progress.terminal = isatty(STDERR_FILENO);
    Progress.start = Progress.lastDraw = Session.lastPresent = WallClock::now();
    HookPlatform();
    AudioUseOfflineOutput();
    ApplySettings(o);
    if (o.skipIntro) {
        InitFixedRenderState();
        LoadWithoutIntro();
    } else {
        Session.timeline.loadingClock = true;
        InitRenderState();
    }
    RunMainLoop();
    bool ok = FinishOutputs();
    AudioFree();
    DestroyHeadlessContext();
    return ok ? 0 : 1;
}
