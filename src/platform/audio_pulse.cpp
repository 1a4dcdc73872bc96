// The sound server behind the audio output seam, through libpulse (which
// PipeWire's PulseAudio layer answers as well). The server counts the
// latency of what it holds itself: the audio layer dates every mix by it,
// which SDL's device, knowing only its own buffer, cannot do.
#include "platform/audio_pulse.h"

#include <pthread.h>
#include <pulse/pulseaudio.h>
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/audio_output.h"
#include "platform/audio_sdl.h"

namespace {
// 186 ms in all, the server's share included. The latency is counted, so
// the size only delays a start. A server whose process has been off the CPU
// for tens of ms (a loaded machine, a virtual one) takes what it missed back
// to back: with two busy loops beside the demo, 4096 frames slipped on
// PulseAudio and 8192 held. PipeWire's layer keeps half of what is asked:
// 8192 ran dry there, 16384 holds. NORVALE_SOUND_FRAMES asks for another
// size, to measure what a machine holds.
const int TargetFrames = 8192;
const int PipeWireTargetFrames = 16384;
const double WatchSeconds = 0.5;    // how often the watchdog looks, and retries
const double ConnectSeconds = 2.0;  // a server that has not answered by then hangs

struct ServerOutput {
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    pa_time_event* watchdog = nullptr;
    AudioMixFunction mix = nullptr;
    int freq = 0;
    int channels = 0;
    double attemptStarted = 0;  // AudioClock when the current connection began
    bool streamReady = false;
    // The one loss flag: a stream that played was let go, and no stream
    // since has mixed. Its replacement's first mix is fresh.
    bool lost = false;
    bool priorityAsked = false;
    int requests = 0;      // the current stream's requests for audio
    double queued = 0;     // for the mix being written, seconds
    int targetFrames = 0;  // asked for by NORVALE_SOUND_FRAMES, else 0
    bool pipeWire = false;
    ServerDating dating;
    struct timeval lastReport = {};
};

ServerOutput Server;
bool UsingServer = false;     // else SDL's output is open
AudioOutputFormat SdlFormat;  // what SDL's output granted, when it is open

// SDL_AUDIODRIVER naming another driver (the tests' dummy and disk) is a
// choice of SDL's output.
bool ServerWanted() {
    const char* driver = std::getenv("SDL_AUDIODRIVER");
    return driver == nullptr || *driver == '\0' || std::strcmp(driver, "pulse") == 0 ||
           std::strcmp(driver, "pulseaudio") == 0 || std::strcmp(driver, "pipewire") == 0;
}

// Raised priority for the thread that feeds the server, as a desktop's
// sound server runs; where the system refuses it, it runs as it is.
void AskForPriority() {
    if (Server.priorityAsked) {
        return;
    }
    Server.priorityAsked = true;
    sched_param param = {};
    param.sched_priority = 10;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

double BytesPerSecond() {
    return 2.0 * Server.channels * Server.freq;
}

// The newest report of the server's (what it has read, its own latency, and
// when), taken once; the next is asked for at once.
void TakeReport(pa_stream* stream, double now) {
    const pa_timing_info* info = pa_stream_get_timing_info(stream);
    if (info != nullptr && info->playing && !info->read_index_corrupt &&
        (info->timestamp.tv_sec != Server.lastReport.tv_sec ||
         info->timestamp.tv_usec != Server.lastReport.tv_usec)) {
        Server.lastReport = info->timestamp;
        double madeAt = now - static_cast<double>(pa_timeval_age(&info->timestamp)) * 1e-6;
        TakeServerReport(&Server.dating, madeAt,
                         madeAt + static_cast<double>(info->sink_usec) * 1e-6 -
                             static_cast<double>(info->read_index) / BytesPerSecond(),
                         Server.freq, Server.pipeWire);
    }
    pa_operation* asked = pa_stream_update_timing_info(stream, nullptr, nullptr);
    if (asked != nullptr) {
        pa_operation_unref(asked);
    }
}

// Sets Server.queued: how long until the next byte written is heard, by the
// server's reports (libpulse's own smoothing of them ran 30 ms off for
// seconds after a start on PipeWire). Until a fresh report has come, libpulse
// says what it holds; false when nothing can date the write yet.
bool DateNextWrite(pa_stream* stream, double now) {
    TakeReport(stream, now);
    const pa_timing_info* info = pa_stream_get_timing_info(stream);
    if (info != nullptr && !info->write_index_corrupt &&
        DateServerWrite(Server.dating, static_cast<double>(info->write_index) / BytesPerSecond(),
                        now, &Server.queued)) {
        return true;
    }
    pa_usec_t latency = 0;
    int negative = 0;
    if (pa_stream_get_latency(stream, &latency, &negative) != 0) {
        return false;
    }
    Server.queued = (negative ? -1.0 : 1.0) * static_cast<double>(latency) * 1e-6;
    return true;
}

// The server let the stream run dry, or moved it to another sink: what it
// reported before no longer dates it.
void OnStreamShifted(pa_stream*, void*) {
    DropServerReports(&Server.dating, AudioClock());
}

void OnWrite(pa_stream* stream, size_t bytes, void*) {
    AskForPriority();
    ++Server.requests;
    const size_t frameBytes = 2 * static_cast<size_t>(Server.channels);
    NoteServerRequest(&Server.dating, static_cast<int>(bytes / frameBytes), AudioClock(),
                      Server.pipeWire);
    void* data = nullptr;
    size_t size = bytes;
    if (pa_stream_begin_write(stream, &data, &size) < 0 || data == nullptr) {
        return;
    }
    size = size / frameBytes * frameBytes;
    if (DateNextWrite(stream, AudioClock())) {
        Server.mix(static_cast<int16_t*>(data), static_cast<int>(size / frameBytes));
    } else {
        // Until the server has said what it holds, a mix could not be dated.
        std::memset(data, 0, size);
    }
    pa_stream_write(stream, data, size, nullptr, 0, PA_SEEK_RELATIVE);
}

void OnStreamState(pa_stream* stream, void*) {
    if (pa_stream_get_state(stream) == PA_STREAM_READY) {
        Server.streamReady = true;
        Server.dating.lastRequest = AudioClock();
    }
    pa_threaded_mainloop_signal(Server.loop, 0);
}

int TargetOf(const ServerOutput& server) {
    if (server.targetFrames > 0) {
        return server.targetFrames;
    }
    return server.pipeWire ? PipeWireTargetFrames : TargetFrames;
}

void OpenStream() {
    pa_sample_spec spec = {PA_SAMPLE_S16NE, static_cast<uint32_t>(Server.freq),
                           static_cast<uint8_t>(Server.channels)};
    pa_buffer_attr attr;
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = static_cast<uint32_t>(TargetOf(Server) * 2 * Server.channels);
    attr.prebuf = static_cast<uint32_t>(-1);
    attr.minreq = static_cast<uint32_t>(-1);
    attr.fragsize = static_cast<uint32_t>(-1);
    Server.stream = pa_stream_new(Server.context, "Norvale", &spec, nullptr);
    if (Server.stream == nullptr) {
        return;
    }
    pa_stream_set_state_callback(Server.stream, OnStreamState, nullptr);
    pa_stream_set_write_callback(Server.stream, OnWrite, nullptr);
    pa_stream_set_underflow_callback(Server.stream, OnStreamShifted, nullptr);
    pa_stream_set_moved_callback(Server.stream, OnStreamShifted, nullptr);
    auto flags = static_cast<pa_stream_flags_t>(
        PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
    pa_stream_connect_playback(Server.stream, nullptr, &attr, flags, nullptr, nullptr);
}

// The stream is opened once the server has said which it is.
void OnServerInfo(pa_context* context, const pa_server_info* info, void*) {
    Server.pipeWire = info != nullptr && info->server_name != nullptr &&
                      std::strstr(info->server_name, "PipeWire") != nullptr;
    if (Server.stream == nullptr && pa_context_get_state(context) == PA_CONTEXT_READY) {
        OpenStream();
    }
}

void OnContextState(pa_context* context, void*) {
    if (pa_context_get_state(context) == PA_CONTEXT_READY && Server.stream == nullptr) {
        pa_operation* asked = pa_context_get_server_info(context, OnServerInfo, nullptr);
        if (asked != nullptr) {
            pa_operation_unref(asked);
        } else {
            OpenStream();
        }
    }
    pa_threaded_mainloop_signal(Server.loop, 0);
}

void Connect() {
    Server.attemptStarted = AudioClock();
    Server.context = pa_context_new(pa_threaded_mainloop_get_api(Server.loop), "Norvale");
    if (Server.context == nullptr) {
        return;
    }
    pa_context_set_state_callback(Server.context, OnContextState, nullptr);
    pa_context_connect(Server.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
}

// Lets go of the stream and the connection, also those of a server that no
// longer answers (nothing here waits for it).
void Disconnect() {
    if (Server.stream != nullptr) {
        pa_stream_set_state_callback(Server.stream, nullptr, nullptr);
        pa_stream_set_write_callback(Server.stream, nullptr, nullptr);
        pa_stream_set_underflow_callback(Server.stream, nullptr, nullptr);
        pa_stream_set_moved_callback(Server.stream, nullptr, nullptr);
        pa_stream_disconnect(Server.stream);
        pa_stream_unref(Server.stream);
        Server.stream = nullptr;
    }
    if (Server.context != nullptr) {
        pa_context_set_state_callback(Server.context, nullptr, nullptr);
        pa_context_disconnect(Server.context);
        pa_context_unref(Server.context);
        Server.context = nullptr;
    }
    // A first stream can get its first request and no other (seen on a null
    // sink just resumed): started again, it plays. One that never played
    // was not lost, and nothing is told.
    if (Server.streamReady && Server.requests > 1) {
        Server.lost = true;
    }
    Server.streamReady = false;
    Server.requests = 0;
    Server.dating = ServerDating();
}

bool Failed(pa_context* context) {
    pa_context_state_t state = pa_context_get_state(context);
    return state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED;
}

bool Failed(pa_stream* stream) {
    pa_stream_state_t state = pa_stream_get_state(stream);
    return state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED;
}

// A server gone, restarted, or hung: connect again, every half second. The
// one stall detector: a stream not asked for audio for QuietSeconds is let
// go (a shorter stall only has its reports dropped, see NoteServerRequest).
bool ConnectionBroken(double now) {
    if (Server.context == nullptr || Failed(Server.context)) {
        return true;
    }
    if (Server.stream != nullptr && Failed(Server.stream)) {
        return true;
    }
    if (!Server.streamReady) {
        return now - Server.attemptStarted > ConnectSeconds;
    }
    return now - Server.dating.lastRequest > QuietSeconds;
}

void ArmWatchdog(pa_time_event* event);

void OnWatchdog(pa_mainloop_api*, pa_time_event* event, const struct timeval*, void*) {
    if (ConnectionBroken(AudioClock())) {
        Disconnect();
        Connect();
    }
    ArmWatchdog(event);
}

void ArmWatchdog(pa_time_event* event) {
    struct timeval when;
    pa_gettimeofday(&when);
    pa_timeval_add(&when, static_cast<pa_usec_t>(WatchSeconds * 1e6));
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(Server.loop);
    if (event == nullptr) {
        Server.watchdog = api->time_new(api, &when, OnWatchdog, nullptr);
    } else {
        api->time_restart(event, &when);
    }
}

void StopServerLoop() {
    if (Server.loop == nullptr) {
        return;
    }
    pa_threaded_mainloop_lock(Server.loop);
    if (Server.watchdog != nullptr) {
        pa_threaded_mainloop_get_api(Server.loop)->time_free(Server.watchdog);
    }
    Disconnect();
    pa_threaded_mainloop_unlock(Server.loop);
    pa_threaded_mainloop_stop(Server.loop);
    pa_threaded_mainloop_free(Server.loop);
    Server = ServerOutput();
}

// Waits (the loop's lock held) until the stream plays, or the connection
// fails, or the server has not answered for ConnectSeconds.
bool WaitForStream() {
    while (!Server.streamReady) {
        if (Server.context == nullptr || Failed(Server.context) ||
            (Server.stream != nullptr && Failed(Server.stream)) ||
            AudioClock() - Server.attemptStarted > ConnectSeconds) {
            return false;
        }
        pa_threaded_mainloop_unlock(Server.loop);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        pa_threaded_mainloop_lock(Server.loop);
    }
    return true;
}

bool OpenServer(int freq, int channels, AudioMixFunction mix, AudioOutputFormat* granted) {
    Server = ServerOutput();
    Server.mix = mix;
    Server.freq = freq;
    Server.channels = channels;
    const char* asked = std::getenv("NORVALE_SOUND_FRAMES");
    int frames = asked != nullptr ? std::atoi(asked) : 0;
    if (frames >= 256 && frames <= 65536) {
        Server.targetFrames = frames;
    }
    Server.loop = pa_threaded_mainloop_new();
    if (Server.loop == nullptr) {
        return false;
    }
    // Named before it starts: libpulse names the calling thread once it runs,
    // which renamed the whole program in ps and top.
    pa_threaded_mainloop_set_name(Server.loop, "NorvaleSound");
    if (pa_threaded_mainloop_start(Server.loop) < 0) {
        pa_threaded_mainloop_free(Server.loop);
        Server = ServerOutput();
        return false;
    }
    pa_threaded_mainloop_lock(Server.loop);
    Connect();
    bool playing = WaitForStream();
    if (playing) {
        ArmWatchdog(nullptr);
    }
    pa_threaded_mainloop_unlock(Server.loop);
    if (!playing) {
        StopServerLoop();
        return false;
    }
    granted->freq = freq;
    granted->channels = channels;
    granted->bufferFrames = TargetOf(Server);
    granted->realTime = true;
    granted->trustedClock = true;
    granted->name = "sound server";
    return true;
}

// Which output is open is settled before either can call the mix: the
// server's loop mixes as soon as its stream is ready, SDL's thread as soon
// as the device runs (the audio layer mixes silence until its open returns).
bool OpenOutput(int freq, int channels, AudioMixFunction mix, AudioOutputFormat* granted) {
    UsingServer = ServerWanted();
    if (UsingServer && OpenServer(freq, channels, mix, granted)) {
        return true;
    }
    UsingServer = false;
    SdlFormat = AudioOutputFormat();
    bool opened = SdlAudioOutput.open(freq, channels, mix, granted);
    SdlAudioOutput.lock();
    SdlFormat = *granted;
    SdlAudioOutput.unlock();
    return opened;
}

void LockOutput() {
    if (UsingServer) {
        pa_threaded_mainloop_lock(Server.loop);
    } else {
        SdlAudioOutput.lock();
    }
}

void UnlockOutput() {
    if (UsingServer) {
        pa_threaded_mainloop_unlock(Server.loop);
    } else {
        SdlAudioOutput.unlock();
    }
}

void CloseOutput() {
    if (UsingServer) {
        StopServerLoop();
        UsingServer = false;
    } else {
        SdlAudioOutput.close();
    }
}

// The server's stream let go by the watchdog (it calls no mix, so the layer
// asks on a position read as well), or SDL's device stopped.
bool LostOutput() {
    return UsingServer ? Server.lost : SdlAudioOutput.lost();
}

double QueuedOutput(int frames) {
    if (UsingServer) {
        return Server.queued;
    }
    if (SdlFormat.freq <= 0) {
        return 0.0;
    }
    // SDL's device holds its buffer after each mix.
    return (SdlFormat.bufferFrames - frames) / static_cast<double>(SdlFormat.freq);
}

// Only a stream opened after a loss mixes while the loss flag is up.
bool FreshOutput() {
    bool fresh = UsingServer && Server.lost;
    Server.lost = false;
    return fresh;
}

const AudioOutputInterface ServerAudioOutput = {OpenOutput, LockOutput,   UnlockOutput, CloseOutput,
                                                LostOutput, QueuedOutput, FreshOutput};
}  // namespace

void DropServerReports(ServerDating* dating, double now) {
    dating->count = 0;
    dating->next = 0;
    dating->freshFrom = now;
}

void NoteServerRequest(ServerDating* dating, int frames, double now, bool countCycles) {
    if (dating->lastRequest >= 0 && now - dating->lastRequest > StallGapSeconds) {
        DropServerReports(dating, now);
    }
    dating->lastRequest = now;
    if (!countCycles || frames <= 0) {
        return;
    }
    dating->requests[dating->requestNext] = frames;
    dating->requestNext = (dating->requestNext + 1) % ServerRequestsKept;
    dating->requestCount = std::min(dating->requestCount + 1, ServerRequestsKept);
    int cycle = *std::min_element(dating->requests, dating->requests + dating->requestCount);
    // A resampled stream's requests differ by a frame or two within a cycle.
    if (dating->cycleFrames != 0 &&
        std::abs(cycle - dating->cycleFrames) * 8 > dating->cycleFrames) {
        DropServerReports(dating, now);
    }
    if (dating->cycleFrames == 0 ||
        std::abs(cycle - dating->cycleFrames) * 8 > dating->cycleFrames) {
        dating->cycleFrames = cycle;
    }
}

void TakeServerReport(ServerDating* dating, double madeAt, double start, int freq,
                      bool countCycles) {
    if (madeAt < dating->freshFrom) {
        return;
    }
    if (countCycles && freq > 0) {
        start += 1.5 * dating->cycleFrames / freq;
    }
    dating->starts[dating->next] = start;
    dating->next = (dating->next + 1) % ServerReports;
    dating->count = std::min(dating->count + 1, ServerReports);
}

bool DateServerWrite(const ServerDating& dating, double writeSeconds, double now, double* queued) {
    if (dating.count == 0) {
        return false;
    }
    double starts[ServerReports];
    std::copy(dating.starts, dating.starts + dating.count, starts);
    std::nth_element(starts, starts + dating.count / 2, starts + dating.count);
    *queued = starts[dating.count / 2] + writeSeconds - now;
    return true;
}

void UseSoundServerOutput() {
    AudioOutput = ServerAudioOutput;
}
