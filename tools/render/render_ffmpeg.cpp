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

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <vector>

extern char** environ;

namespace {

constexpr size_t MaxQueuedFrames = 8;

struct PendingBytes {
    int fd = -1;
    std::deque<std::vector<uint8_t>> chunks;
    size_t offset = 0;  // bytes of the front chunk already written
};

pid_t FfmpegPid = -1;
PendingBytes VideoPipe;
PendingBytes AudioPipe;
bool FfmpegBroken = false;

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

bool HasSuffix(const std::string& text, const char* suffix) {
    size_t n = std::strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

void Append(std::vector<std::string>& args, std::initializer_list<std::string> more) {
    args.insert(args.end(), more.begin(), more.end());
}

std::vector<std::string> FfmpegArguments(const std::string& path, int width, int height,
                                         const FrameRate& rate, bool lossless) {
    bool mkv = HasSuffix(path, ".mkv");
    std::vector<std::string> args = {"ffmpeg",    "-hide_banner", "-nostdin",
                                     "-loglevel", "error",        "-y"};
    // Both inputs are raw and fully described here. Probing would read
    // seconds ahead on a pipe and wait for what is not made yet.
    std::string size = std::to_string(width) + "x" + std::to_string(height);
    std::string fps = std::to_string(rate.num) + "/" + std::to_string(rate.den);
    Append(args, {"-probesize", "32", "-analyzeduration", "0", "-f", "rawvideo", "-pix_fmt",
                  "rgb24", "-video_size", size, "-framerate", fps, "-i", "pipe:0"});
    Append(args, {"-probesize", "32", "-analyzeduration", "0", "-f", "s16le", "-ar", "44100", "-ac",
                  "2", "-i", "pipe:3", "-map", "0:v", "-map", "1:a"});
    if (lossless) {
        Append(args, {"-c:v", "libx264rgb", "-preset", "veryfast", "-qp", "0"});
        Append(args, {"-c:a", mkv ? "flac" : "alac"});
    } else {
        Append(args, {"-c:v", "libx264", "-preset", "veryfast", "-crf", "18", "-pix_fmt", "yuv420p",
                      "-c:a", "aac", "-b:a", "192k"});
    }
    if (!mkv)
        Append(args, {"-movflags", "+faststart"});
    args.push_back(path);
    return args;
}

bool Spawn(std::vector<std::string>& args, int videoRead, int audioRead) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, videoRead, 0);
    posix_spawn_file_actions_adddup2(&actions, audioRead, 3);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int rc = posix_spawnp(&FfmpegPid, "ffmpeg", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0;
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
        std::fprintf(stderr, "norvale-render: ffmpeg %s\n", what);
    FfmpegBroken = true;
    return false;
}

void CloseWriteEnd(PendingBytes& pipe) {
    if (pipe.fd >= 0)
        close(pipe.fd);
    pipe.fd = -1;
    pipe.chunks.clear();
}

}  // namespace

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

bool StartFfmpeg(const std::string& path, int width, int height, const FrameRate& rate,
                 bool lossless) {
    // A dead ffmpeg must show up as a failed write, not end us silently.
    signal(SIGPIPE, SIG_IGN);
    int videoRead = -1, audioRead = -1;
    if (!MakePipe(&videoRead, &VideoPipe.fd) || !MakePipe(&audioRead, &AudioPipe.fd))
        return Fail("pipes could not be made");
    std::vector<std::string> args = FfmpegArguments(path, width, height, rate, lossless);
    bool started = Spawn(args, videoRead, audioRead);
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
    return WriteSome(AudioPipe) || Fail("stopped reading audio");
}

bool QueueFfmpegVideo(const Picture& picture) {
    if (FfmpegBroken)
        return false;
    VideoPipe.chunks.push_back(picture.rgb);
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
    int status = 0;
    while (waitpid(FfmpegPid, &status, 0) < 0 && errno == EINTR) {
    }
    FfmpegPid = -1;
    bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!ok)
        std::fprintf(stderr, "norvale-render: ffmpeg failed (status %d)\n", status);
    return ok && !FfmpegBroken;
}
