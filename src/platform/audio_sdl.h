// The SDL audio device as the audio layer's output.
#pragma once

// Makes the audio layer open SDL's default output device (or SDL's dummy
// driver, which consumes audio in real time, when no device can be opened).
// Call before AudioInit.
void UseSdlAudioOutput();
