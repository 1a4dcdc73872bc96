// SDL2 audio device behind the audio output seam.
#include "platform/audio_sdl.h"

#include <SDL.h>
#include <dirent.h>
#include <dlfcn.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/audio_output.h"

namespace {
SDL_AudioDeviceID Device = 0;
AudioMixFunction DeviceMix = nullptr;
int DeviceChannels = 0;
char DriverName[32] = "";  // the driver that opened Device, for messages

void SDLCALL FillDeviceBuffer(void*, Uint8* stream, int len) {
    int frames = len / (2 * DeviceChannels);
    DeviceMix(reinterpret_cast<int16_t*>(stream), frames);
}

SDL_AudioDeviceID OpenDefaultDevice(int freq, int channels, SDL_AudioSpec* have) {
    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = freq;
    want.format = AUDIO_S16SYS;
    want.channels = static_cast<Uint8>(channels);
    // 93 ms: through a sound server on a busy two-core machine, 23 and 46 ms
    // ran dry again and again (gaps of up to 0.7 s). The music position
    // takes the buffer into account, and the sound still starts well within
    // what viewers accept after the picture (about 50 ms).
    want.samples = 4096;
    want.callback = FillDeviceBuffer;
    // No changes allowed: SDL converts when the hardware differs.
    return SDL_OpenAudioDevice(nullptr, 0, &want, have, 0);
}

// ALSA writes its complaints about a missing card to stderr before SDL can
// fall back; audio failures stay silent, so give it a handler that drops them.
void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

void SilenceAlsa() {
    typedef int (*SetHandler)(void (*)(const char*, int, const char*, int, const char*, ...));
    void* alsa = dlopen("libasound.so.2", RTLD_LAZY);
    if (!alsa) {
        return;
    }
    auto setHandler = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler"));
    if (setHandler) {
        setHandler(IgnoreAlsaError);
    }
}

bool InitAndOpen(int freq, int channels, SDL_AudioSpec* have) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        return false;
    }
    Device = OpenDefaultDevice(freq, channels, have);
    if (Device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    return Device != 0;
}

// With no sound card the usual drivers fail; the dummy driver still
// consumes audio, and positions follow the wall clock.
bool StartAudioDriver(int freq, int channels, SDL_AudioSpec* have) {
    SilenceAlsa();
    if (InitAndOpen(freq, channels, have)) {
        return true;
    }
    SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
    bool opened = InitAndOpen(freq, channels, have);
    SDL_ResetHint(SDL_HINT_AUDIODRIVER);
    return opened;
}

// The dummy and disk drivers play nothing and pace themselves with sleeps
// that oversleep under load: their consumption is no clock to trust.
bool DriverPacesLikeHardware() {
    const char* driver = SDL_GetCurrentAudioDriver();
    return driver && std::strcmp(driver, "dummy") != 0 && std::strcmp(driver, "disk") != 0;
}

bool OpenSdl(int freq, int channels, AudioMixFunction mix, AudioOutputFormat* granted) {
    DeviceMix = mix;
    DeviceChannels = channels;
    SDL_AudioSpec have;
    if (!StartAudioDriver(freq, channels, &have)) {
        return false;
    }
    granted->freq = freq;
    granted->channels = channels;
    granted->bufferFrames = have.samples;
    granted->realTime = true;
    granted->trustedClock = DriverPacesLikeHardware();
    std::snprintf(DriverName, sizeof DriverName, "%s", SDL_GetCurrentAudioDriver());
    granted->name = DriverName;
    SDL_PauseAudioDevice(Device, 0);
    return true;
}

void LockSdl() {
    if (Device != 0) {
        SDL_LockAudioDevice(Device);
    }
}

void UnlockSdl() {
    if (Device != 0) {
        SDL_UnlockAudioDevice(Device);
    }
}

// SDL stops a device whose server went away or whose stream was killed (the
// sink unloaded, the headset unplugged); it goes on calling the mix function
// at about real-time pace on its own.
bool CheckSdlLost() {
    return Device != 0 && SDL_GetAudioDeviceStatus(Device) == SDL_AUDIO_STOPPED;
}

void IgnoreSignal(int) {}

// Signals SDL's audio threads; an empty handler makes their waits return.
void WakeAudioThreads() {
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks) {
        return;
    }
    while (dirent* task = readdir(tasks)) {
        char path[320];
        char name[32] = "";
        std::snprintf(path, sizeof path, "/proc/self/task/%s/comm", task->d_name);
        if (FILE* comm = std::fopen(path, "r")) {
            if (!std::fgets(name, sizeof name, comm)) {
                name[0] = 0;
            }
            std::fclose(comm);
        }
        if (std::strncmp(name, "SDLAudio", 8) == 0) {
            syscall(SYS_tgkill, getpid(), std::atoi(task->d_name), SIGURG);
        }
    }
    closedir(tasks);
}

// SDL's close waits for its audio thread, which can sit for ever waiting on
// a sound server that stopped answering (stopped, or hung). A waker signals
// that thread every 200 ms until the close is done: the wait returns, the
// thread sees the close and ends. A healthy close is not delayed.
void CloseDeviceWithoutHanging(SDL_AudioDeviceID device) {
    struct sigaction wake = {};
    struct sigaction previous = {};
    wake.sa_handler = IgnoreSignal;
    sigemptyset(&wake.sa_mask);
    sigaction(SIGURG, &wake, &previous);
    std::mutex mutex;
    std::condition_variable done;
    bool closed = false;
    std::thread waker([&] {
        std::unique_lock<std::mutex> lock(mutex);
        while (!done.wait_for(lock, std::chrono::milliseconds(200), [&] { return closed; })) {
            WakeAudioThreads();
        }
    });
    SDL_CloseAudioDevice(device);
    {
        std::lock_guard<std::mutex> lock(mutex);
        closed = true;
    }
    done.notify_one();
    waker.join();
    sigaction(SIGURG, &previous, nullptr);
}

void CloseSdl() {
    if (Device == 0) {
        return;
    }
    CloseDeviceWithoutHanging(Device);
    Device = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace

const AudioOutputInterface SdlAudioOutput = {OpenSdl,      LockSdl, UnlockSdl, CloseSdl,
                                             CheckSdlLost, nullptr, nullptr};

void UseSdlAudioOutput() {
    AudioOutput = SdlAudioOutput;
}
