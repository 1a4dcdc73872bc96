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

// "norvale-render: cannot write PATH: REASON" on stderr (REASON from the
// errno value, or `reason` when given); returns false.
bool ReportWriteFailure(const std::string& path, int error, const char* reason = nullptr);
// Refuses, with a message, an output whose folder is missing or cannot be
// written, or whose name is a folder: checked before anything is drawn.
bool CheckOutputFile(const std::string& path);
// As above for the PNG folder, which is made when missing.
bool CheckOutputFolder(const std::string& dir);
// Everything stdio still holds goes out, then the file is closed; a failure
// at any point (also an earlier one stdio remembered) is reported.
bool CloseWrittenFile(FILE* file, const std::string& path);

// A text file written row by row: the first failed write is reported with
// the file's name and the reason; after it every row is refused.
struct TextOutput {
    FILE* file = nullptr;
    std::string path;
    bool failed = false;
};
bool OpenTextOutput(TextOutput& out, const std::string& path);
// After a row was printed (`printed` false when printing failed).
bool CheckTextRowWritten(TextOutput& out, bool printed);
bool CloseTextOutput(TextOutput& out);

// DIR/frameNNNNNN.png for slot NNNNNN; the folder is made when missing.
// Frames of an earlier run from `firstSlot` on are removed, saying how many,
// so none of a longer run stays among the new ones; earlier ones are kept
// (a run in parts fills one folder).
bool PreparePngDir(const std::string& dir, int64_t firstSlot);
bool WritePngFrame(const std::string& dir, int64_t slot, const Picture& picture);
// Reads a PNG back (8-bit RGB or RGBA); used by the tests.
bool ReadPngFile(const std::string& path, Picture* picture);

// RenderAudioRate stereo 16-bit; the sizes in the header are fixed up on close.
struct WavWriter {
    FILE* file = nullptr;
    std::string path;
    uint64_t frames = 0;
    bool failed = false;  // reported once; nothing more is written
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
bool OpenFrameLog(TextOutput& log, const std::string& path);
bool WriteFrameLogRow(TextOutput& log, const FrameLogRow& row);
