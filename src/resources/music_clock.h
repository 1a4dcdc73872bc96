// The soundtrack's position in seconds, the seek conversion back to bytes,
// and vector interpolation.
#pragma once

#include <cstdint>

// Playback position of musicSample in seconds.
float GetMusicSeconds();
// Byte position of musicSample for a beat (beats run at BeatRate per second).
uint64_t MusicBytesForBeat(float beat);
float* LerpVec3(const float* a, const float* b, float* out, float t);
