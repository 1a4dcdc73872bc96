// SDL2 audio device behind the audio output seam.
#include "platform/audio_sdl.h"

#include <SDL.h>
#include <dlfcn.h>

#include <cstring>

#include "platform/audio_output.h"

namespace {
SDL_AudioDeviceID Device = 0;
AudioMixFunction DeviceMix = nullptr;
int DeviceChannels = 0;

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
    want.samples = 1024;
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

void CloseSdl() {
    if (Device == 0) {
        return;
    }
    SDL_CloseAudioDevice(Device);
    Device = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

const AudioOutputInterface SdlOutput = {OpenSdl, LockSdl, UnlockSdl, CloseSdl};
}  // namespace

void UseSdlAudioOutput() {
    AudioOutput = SdlOutput;
}
