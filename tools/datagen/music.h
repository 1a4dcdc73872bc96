// The two music files: the intro jingle and the soundtrack, synthesised
// and encoded to MP3.
#pragma once

bool WriteJingle(const char* path);
bool WriteSoundtrack(const char* path);
