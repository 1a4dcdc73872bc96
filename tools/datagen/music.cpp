// The two music files: each piece is written as a score, mixed, and encoded to MP3.
#include "music.h"

#include "music_internal.h"

namespace {

bool WritePiece(void (*write)(Score*), const char* path) {
    Score score;
    write(&score);
    StereoBuffer pcm;
    MixScore(score, &pcm);
    return EncodeMp3(pcm, path);
}

}  // namespace

bool WriteJingle(const char* path) {
    return WritePiece(ScoreJingle, path);
}
bool WriteSoundtrack(const char* path) {
    return WritePiece(ScoreSoundtrack, path);
}
