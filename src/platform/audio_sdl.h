// The SDL audio device as the audio layer's output.
#pragma once

// Makes the audio layer open SDL's default output device (or SDL's dummy
// driver, whose positions follow the wall clock, when no device can be opened).
// Call before AudioInit.
void UseSdlAudioOutput();

struct AudioOutputInterface;
// SDL's output table, for an output that falls back on it.
extern const AudioOutputInterface SdlAudioOutput;
