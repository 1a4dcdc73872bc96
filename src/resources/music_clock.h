// The soundtrack's position in seconds and the seek conversion back to bytes.
#pragma once

#include <cstdint>

// Playback position of musicSample in seconds, as heard: negative while
// the output still holds other sound before a start or seek.
float GetMusicSeconds();
// Byte position of musicSample for a beat (beats run at BeatRate per second).
uint64_t MusicBytesForBeat(float beat);
