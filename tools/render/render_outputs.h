// Files norvale-render writes itself: PNG frames, the WAV soundtrack and the
// frame log.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// One output picture, RGB bytes, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};

// Mean of all RGB bytes, 0..255: black is 0.
double PictureMeanLevel(const Picture& picture);

// DIR/frameNNNNNN.png for slot NNNNNN; the folder is made when missing.
bool PreparePngDir(const std::string& dir);
bool WritePngFrame(const std::string& dir, int64_t slot, const Picture& picture);
// Reads a PNG back (8-bit RGB or RGBA); used by the tests.
bool ReadPngFile(const std::string& path, Picture* picture);

// 44100 Hz stereo 16-bit; the sizes in the header are fixed up on close.
struct WavWriter {
    FILE* file = nullptr;
    uint64_t frames = 0;
};
bool OpenWav(WavWriter& wav, const std::string& path);
bool AppendWav(WavWriter& wav, const int16_t* samples, int64_t frames);
bool CloseWav(WavWriter& wav);

// A row of the frame log, one per output frame.
struct FrameLogRow {
    double seconds;  // output time of the frame
    int sceneIndex;
    int sectionIndex;
    float sceneBeat;
    float sectionBeat;
    float musicSeconds;
    double renderMilliseconds;  // wall time to draw this picture, 0 for a held one
    const char* phase;          // "intro" while the logo sequence runs, "demo" after
    double meanLevel;
};
bool OpenFrameLog(FILE** log, const std::string& path);
void WriteFrameLogRow(FILE* log, const FrameLogRow& row);
