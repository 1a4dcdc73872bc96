// The soundtrack: its loading, its position in seconds and the seek
// conversion back to bytes.
#pragma once

#include <cstdint>

// Decodes the soundtrack into musicSample, musicChannel and musicInfo; one
// too short for the timeline is named on stderr with both lengths.
void LoadSoundtrack();

// Playback position of musicSample in seconds, as heard: negative while
// the output still holds other sound before a start or seek.
float GetMusicSeconds();
// Byte position of musicSample for a beat (beats run at BeatRate per second).
uint64_t MusicBytesForBeat(float beat);
