// Command line of norvale-render.
#pragma once

#include <string>

#include "render_timeline.h"

struct RenderOptions {
    int width = 1280;  // pixels
    int height = 720;
    int aspectNum = 0;  // 0: the size's own shape
    int aspectDen = 0;
    FrameRate rate;
    double fromSeconds = 0.0;  // output time, 0 = when Run is pressed
    double toSeconds = -1.0;   // < 0: until the demo ends
    float brightness = 0.0f;   // -1..1, the dialog's Brightness; 0 leaves pixels as drawn
    int depthBits = 24;  // 16, 24 or 32: at least this many; 16 is the dialog's "32-bit Z" off
    bool demoPlus = false;
    bool plainDraw = false;  // the engine's PlainDraw: no terrain culling
    bool skipIntro = false;
    bool loop = false;  // the dialog's Loop switch: start again after the end step; needs --to
    bool lossless = false;
    bool nullOutput = false;  // --null: render for timing, write nothing
    int crf = -1;             // H.264 quality 0..51; -1: 18
    std::string preset = "veryfast";
    std::string pixFmt = "yuv420p";  // yuv420p, yuv444p or yuv420p10le
    std::string audioCodec;          // aac or flac; "": aac, or lossless with --lossless
    bool glInfo = false;             // print the GL renderer and version, render nothing
    bool help = false;
    std::string outPath;  // .mp4 or .mkv through ffmpeg
    std::string pngDir;
    std::string wavPath;
    std::string frameLogPath;
    std::string passLogPath;
    std::string loopStatsPath;  // a row of process figures at the start of every loop
    std::string dataDir;        // "": data/ here, else the one found beside the program
};

// Fills options from argv; false with a one-line reason in *error.
bool ParseRenderOptions(int argc, char** argv, RenderOptions* options, std::string* error);
// Refusals that need the whole command line and the file system, made
// before the first frame: nothing to write, a range past the demo's end, two
// outputs on one path, a file inside the PNG folder. False with the reason.
bool CheckRenderPlan(const RenderOptions& options, std::string* error);
// True when `text` ends in `suffix` and has something before it.
bool HasSuffix(const std::string& text, const char* suffix);
// "W x H" with positive sides.
bool ParseSize(const char* text, int* width, int* height);
// "N:D" with positive parts.
bool ParseAspect(const char* text, int* num, int* den);
// "N" or "N/D", positive, reduced.
bool ParseFrameRate(const char* text, FrameRate* rate);
const char* RenderUsage();
