// ffmpeg child with two pipes: video on its stdin, audio on descriptor 3.
// Writes are non-blocking and driven by poll(), so neither pipe can stall
// the other: ffmpeg may want audio before it takes the next frame.
#include "render_ffmpeg.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <numeric>
#include <sstream>
#include <vector>

extern char** environ;

namespace {

constexpr size_t MaxQueuedFrames = 8;

struct PendingBytes {
    int fd = -1;
    std::deque<std::vector<uint8_t>> chunks;
    size_t offset = 0;  // bytes of the front chunk already written
};

// AAC's priming and padding, and Matroska's millisecond timestamps, make
// the sound in the file differ from what was sent by this much at most.
constexpr double AudioLengthTolerance = 0.1;  // seconds

pid_t FfmpegPid = -1;
PendingBytes VideoPipe;
PendingBytes AudioPipe;
bool FfmpegBroken = false;
std::string OutputPath;
std::string MetadataPath;  // the title, settings and chapters handed to ffmpeg
int64_t VideoFramesSent = 0;
int64_t AudioFramesSent = 0;  // stereo frames at RenderAudioRate

// Moves a descriptor out of the range 0..9 so the child's dup2 onto 0 and 3
// never meets itself; close-on-exec keeps it out of the child.
int HighDescriptor(int fd) {
    int high = fcntl(fd, F_DUPFD_CLOEXEC, 10);
    close(fd);
    return high;
}

bool MakePipe(int* readEnd, int* writeEnd) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    *readEnd = HighDescriptor(fds[0]);
    *writeEnd = HighDescriptor(fds[1]);
    fcntl(*writeEnd, F_SETFL, O_NONBLOCK);
    return *readEnd >= 0 && *writeEnd >= 0;
}

void Append(std::vector<std::string>& args, std::initializer_list<std::string> more) {
    args.insert(args.end(), more.begin(), more.end());
}

// H.264 in BT.709 with limited range, said in the stream so players do not
// guess; the RGB frames are converted with the same matrix.
void AppendVideoCodec(std::vector<std::string>& args, const RenderOptions& o) {
    if (o.lossless) {
        Append(args, {"-c:v", "libx264rgb", "-preset", "veryfast", "-qp", "0"});
        return;
    }
    Append(args, {"-vf", "scale=out_color_matrix=bt709:out_range=tv:flags=accurate_rnd", "-c:v",
                  "libx264", "-preset", o.preset, "-crf", std::to_string(o.crf >= 0 ? o.crf : 18),
                  "-pix_fmt", o.pixFmt, "-colorspace", "bt709", "-color_primaries", "bt709",
                  "-color_trc", "bt709", "-color_range", "tv"});
}

void AppendAudioCodec(std::vector<std::string>& args, const RenderOptions& o, bool mkv) {
    if (o.audioCodec == "flac" || (o.lossless && o.audioCodec.empty() && mkv)) {
        // FLAC in MP4 is still marked experimental in this ffmpeg.
        Append(args, {"-c:a", "flac", "-strict", "experimental"});
    } else if (o.lossless && o.audioCodec.empty()) {
        Append(args, {"-c:a", "alac"});
    } else {
        Append(args, {"-c:a", "aac", "-b:a", "192k"});
    }
}

std::vector<std::string> FfmpegArguments(const RenderOptions& o, const std::string& metadata) {
    const std::string& path = o.outPath;
    bool mkv = HasSuffix(path, ".mkv");
    // -xerror: a failed write (a full disk at the trailer) ends ffmpeg with
    // a failure instead of a warning and status 0.
    std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-nostdin", "-loglevel",
                                     "error",  "-xerror",      "-y"};
    // Both inputs are raw and fully described here. Probing would read
    // seconds ahead on a pipe and wait for what is not made yet.
    std::string size = std::to_string(o.width) + "x" + std::to_string(o.height);
    std::string fps = std::to_string(o.rate.num) + "/" + std::to_string(o.rate.den);
    Append(args, {"-probesize", "32", "-analyzeduration", "0", "-f", "rawvideo", "-pix_fmt",
                  "rgb24", "-video_size", size, "-framerate", fps, "-i", "pipe:0"});
    Append(args, {"-probesize", "32", "-analyzeduration", "0", "-f", "s16le", "-ar",
                  std::to_string(RenderAudioRate), "-ac", "2", "-i", "pipe:3"});
    if (!metadata.empty())
        Append(args,
               {"-f", "ffmetadata", "-i", metadata, "-map_metadata", "2", "-map_chapters", "2"});
    Append(args, {"-map", "0:v", "-map", "1:a"});
    AppendVideoCodec(args, o);
    AppendAudioCodec(args, o, mkv);
    if (!mkv)
        Append(args, {"-movflags", "+faststart"});
    args.push_back(path);
    return args;
}

// Starts args[0] from PATH; each pair (from, to) gives the child descriptor
// `from` as its `to`.
bool Spawn(std::vector<std::string>& args, std::initializer_list<std::pair<int, int>> moves,
           pid_t* pid) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (const auto& move : moves)
        posix_spawn_file_actions_adddup2(&actions, move.first, move.second);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int rc = posix_spawnp(pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0;
}

// The child's exit status, or -1 when it did not exit normally.
int WaitForExit(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Writes what the pipe takes now; false when ffmpeg has gone away.
bool WriteSome(PendingBytes& pipe) {
    while (!pipe.chunks.empty()) {
        const std::vector<uint8_t>& front = pipe.chunks.front();
        ssize_t n = write(pipe.fd, front.data() + pipe.offset, front.size() - pipe.offset);
        if (n < 0)
            return errno == EAGAIN || errno == EINTR;
        pipe.offset += static_cast<size_t>(n);
        if (pipe.offset == front.size()) {
            pipe.chunks.pop_front();
            pipe.offset = 0;
        }
    }
    return true;
}

// Waits until a pipe with pending bytes can take more, then writes to both.
bool PumpOnce() {
    pollfd fds[2];
    int count = 0;
    for (PendingBytes* p : {&VideoPipe, &AudioPipe}) {
        if (!p->chunks.empty())
            fds[count++] = pollfd{p->fd, POLLOUT, 0};
    }
    if (count == 0)
        return true;
    if (poll(fds, count, -1) < 0 && errno != EINTR)
        return false;
    return WriteSome(VideoPipe) && WriteSome(AudioPipe);
}

bool Fail(const char* what) {
    if (!FfmpegBroken)
        ReportWriteFailure(OutputPath, 0, (std::string("ffmpeg ") + what + " (see above)").c_str());
    FfmpegBroken = true;
    return false;
}

// ffprobe's lines "stream index,packet duration in seconds" for every packet
// of the finished file; false when ffprobe could not read it.
bool ProbePackets(std::string* out, bool* probed) {
    int readEnd = -1, writeEnd = -1;
    if (!MakePipe(&readEnd, &writeEnd))
        return false;
    fcntl(writeEnd, F_SETFL, 0);
    std::vector<std::string> args = {
        "ffprobe", "-v",      "error",   "-show_entries", "packet=stream_index,duration_time",
        "-of",     "csv=p=0", OutputPath};
    pid_t pid = -1;
    *probed = Spawn(args, {{writeEnd, 1}}, &pid);
    close(writeEnd);
    char buffer[4096];
    for (ssize_t n; *probed && (n = read(readEnd, buffer, sizeof buffer)) != 0;) {
        if (n > 0)
            out->append(buffer, static_cast<size_t>(n));
        else if (errno != EINTR)
            break;
    }
    close(readEnd);
    return *probed && WaitForExit(pid) == 0;
}

// What ffmpeg reports as written can still be short (a disk that filled
// while it moved the index to the front): the frames and the sound's length
// in the finished file must match what was sent.
bool CheckFinishedFile() {
    std::string packets;
    bool probed = false;
    if (!ProbePackets(&packets, &probed)) {
        if (probed)
            return ReportWriteFailure(OutputPath, 0, "the finished file cannot be read back");
        std::fprintf(stderr, "norvale-render: no ffprobe: the length of %s was not checked\n",
                     OutputPath.c_str());
        return true;
    }
    int64_t frames = 0;
    double audioSeconds = 0;
    std::istringstream lines(packets);
    for (std::string line; std::getline(lines, line);) {
        if (line.compare(0, 2, "0,") == 0)
            ++frames;
        else if (line.compare(0, 2, "1,") == 0)
            audioSeconds += std::atof(line.c_str() + 2);
    }
    const double sentSeconds = static_cast<double>(AudioFramesSent) / RenderAudioRate;
    char reason[160];
    std::snprintf(reason, sizeof reason,
                  "the finished file holds %lld of %lld frames and %.2f of %.2f s of sound",
                  static_cast<long long>(frames), static_cast<long long>(VideoFramesSent),
                  audioSeconds, sentSeconds);
    if (frames != VideoFramesSent || std::fabs(audioSeconds - sentSeconds) > AudioLengthTolerance)
        return ReportWriteFailure(OutputPath, 0, reason);
    return true;
}

// The metadata in a file of its own for ffmpeg to read as a third input;
// "" when it could not be written (the video is then made without it).
std::string WriteMetadataFile(const std::string& text) {
    char path[] = "/tmp/norvale-render-metadata-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0)
        return std::string();
    bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    if (!written) {
        unlink(path);
        return std::string();
    }
    return path;
}

void CloseWriteEnd(PendingBytes& pipe) {
    if (pipe.fd >= 0)
        close(pipe.fd);
    pipe.fd = -1;
    pipe.chunks.clear();
}

// ffmetadata's escapes: '=', ';', '#', '\\' and line ends take a backslash.
std::string EscapeMetadata(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '=' || c == ';' || c == '#' || c == '\\' || c == '\n')
            out += '\\';
        out += c;
    }
    return out;
}

// Where each part of the demo starts in output time, plays after plays
// with Loop on, and the part's title.
struct ChapterMark {
    double seconds;
    const char* title;
};
const char* const SceneTitles[SceneCount] = {"Terrain flight", "Wave surface", "Day to night",
                                             "Night cube", "Credits and greetings"};

std::vector<ChapterMark> ChapterMarks(const RenderOptions& o, double end) {
    const double intro = o.skipIntro ? 0.0 : IntroSecondsEstimate;
    std::vector<ChapterMark> marks;
    if (!o.skipIntro)
        marks.push_back({0.0, "Intro"});
    for (double play = intro; play < end; play += DemoSecondsEstimate) {
        for (int scene = 0; scene < SceneCount; ++scene)
            marks.push_back(
                {play + SceneStartOffsets[scene] * CounterUnitSeconds, SceneTitles[scene]});
        marks.push_back({play + TimelineEnd * CounterUnitSeconds, "End"});
        if (!o.loop)
            break;
    }
    return marks;
}

std::string VideoText(const RenderOptions& o) {
    if (o.lossless)
        return "lossless H.264 RGB";
    return "H.264 crf " + std::to_string(o.crf >= 0 ? o.crf : 18) + " " + o.preset + " " +
           o.pixFmt + ", BT.709 limited range";
}

std::string SettingsText(const RenderOptions& o) {
    const int g = std::gcd(o.width, o.height);
    char to[32] = "the end";
    if (o.toSeconds >= 0)
        std::snprintf(to, sizeof to, "%g s", o.toSeconds);
    char text[400];
    std::snprintf(text, sizeof text,
                  "norvale-render: size %dx%d, aspect %d:%d, %lld/%lld fps, from %g s, to %s, "
                  "brightness %g, depth %d bits, demo++ %s, intro %s, loop %s; video %s; audio %s",
                  o.width, o.height, o.aspectNum ? o.aspectNum : o.width / g,
                  o.aspectDen ? o.aspectDen : o.height / g, static_cast<long long>(o.rate.num),
                  static_cast<long long>(o.rate.den), o.fromSeconds, to, o.brightness, o.depthBits,
                  o.demoPlus ? "on" : "off", o.skipIntro ? "skipped" : "shown",
                  o.loop ? "on" : "off", VideoText(o).c_str(),
                  o.audioCodec.empty() ? (o.lossless ? "lossless" : "aac") : o.audioCodec.c_str());
    return text;
}

}  // namespace

std::string MakeCaptureMetadata(const RenderOptions& o, double first, double end) {
    std::string text =
        ";FFMETADATA1\ntitle=Norvale\ncomment=" + EscapeMetadata(SettingsText(o)) + "\n";
    std::vector<ChapterMark> marks = ChapterMarks(o, end);
    for (size_t i = 0; i < marks.size(); ++i) {
        const double from = std::max(marks[i].seconds, first);
        const double to = std::min(i + 1 < marks.size() ? marks[i + 1].seconds : end, end);
        if (to <= from)
            continue;
        char chapter[200];
        std::snprintf(
            chapter, sizeof chapter, "[CHAPTER]\nTIMEBASE=1/1000\nSTART=%lld\nEND=%lld\ntitle=%s\n",
            std::llround((from - first) * 1000), std::llround((to - first) * 1000), marks[i].title);
        text += chapter;
    }
    return text;
}

bool FfmpegAvailable() {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        std::string candidate = dirs.substr(start, end - start) + "/ffmpeg";
        if (access(candidate.c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

bool StartFfmpeg(const RenderOptions& options, const std::string& metadata) {
    // A dead ffmpeg must show up as a failed write, not end us silently.
    signal(SIGPIPE, SIG_IGN);
    OutputPath = options.outPath;
    int videoRead = -1, audioRead = -1;
    if (!MakePipe(&videoRead, &VideoPipe.fd) || !MakePipe(&audioRead, &AudioPipe.fd))
        return Fail("pipes could not be made");
    VideoFramesSent = AudioFramesSent = 0;
    MetadataPath = WriteMetadataFile(metadata);
    std::vector<std::string> args = FfmpegArguments(options, MetadataPath);
    bool started = Spawn(args, {{videoRead, 0}, {audioRead, 3}}, &FfmpegPid);
    close(videoRead);
    close(audioRead);
    FfmpegBroken = false;
    return started || Fail("could not be started");
}

bool QueueFfmpegAudio(const int16_t* samples, int64_t frames) {
    if (FfmpegBroken)
        return false;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(samples);
    AudioPipe.chunks.emplace_back(bytes, bytes + frames * 4);
    AudioFramesSent += frames;
    return WriteSome(AudioPipe) || Fail("stopped reading audio");
}

bool QueueFfmpegVideo(const Picture& picture) {
    if (FfmpegBroken)
        return false;
    VideoPipe.chunks.push_back(picture.rgb);
    ++VideoFramesSent;
    if (!WriteSome(VideoPipe))
        return Fail("stopped reading video");
    while (VideoPipe.chunks.size() > MaxQueuedFrames) {
        if (!PumpOnce())
            return Fail("stopped reading");
    }
    return true;
}

bool FinishFfmpeg() {
    if (FfmpegPid < 0)
        return false;
    // A pipe is closed as soon as it is drained: ffmpeg may wait for the end
    // of one input before it reads the rest of the other.
    while (!FfmpegBroken) {
        if (VideoPipe.chunks.empty())
            CloseWriteEnd(VideoPipe);
        if (AudioPipe.chunks.empty())
            CloseWriteEnd(AudioPipe);
        if (VideoPipe.fd < 0 && AudioPipe.fd < 0)
            break;
        if (!PumpOnce())
            Fail("stopped reading");
    }
    CloseWriteEnd(VideoPipe);
    CloseWriteEnd(AudioPipe);
    const int status = WaitForExit(FfmpegPid);
    FfmpegPid = -1;
    if (!MetadataPath.empty())
        unlink(MetadataPath.c_str());
    MetadataPath.clear();
    if (FfmpegBroken)
        return false;
    if (status != 0) {
        const std::string reason =
            "ffmpeg ended with status " + std::to_string(status) + " (its message is above)";
        return ReportWriteFailure(OutputPath, 0, reason.c_str());
    }
    return CheckFinishedFile();
}
