// The sound server (PulseAudio, or PipeWire through its PulseAudio layer) as
// the audio layer's output, with SDL's device as the fallback.
#pragma once

// Makes the audio layer play through the sound server at its next init: a
// stream whose latency the server counts itself, opened again when the
// server comes back after going away. When no server answers, or when
// SDL_AUDIODRIVER names a driver other than the server's, SDL's output
// (UseSdlAudioOutput) is opened instead. Call before AudioInit.
void UseSoundServerOutput();
