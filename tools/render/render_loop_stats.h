// The renderer's --loop-stats: what the process holds at the start of every
// loop of the demo, so a long looped run shows whether anything grows.
#pragma once

#include <string>

// Figures of the running process and its GL context.
struct LoopStats {
    long residentKb = 0;  // resident set size
    long heapKb = 0;      // what malloc has handed out and not had back, all arenas
    int openFiles = 0;    // open file descriptors
    int textures = 0;     // texture names glIsTexture knows, among the first LoopStatsNames
    int lists = 0;        // display lists glIsList knows, among the first LoopStatsNames
};
// Names are handed out from 1 upwards, so a leak per loop climbs well
// inside this range during a day of loops.
constexpr unsigned LoopStatsNames = 1u << 16;

LoopStats MeasureLoopStats();
bool OpenLoopStats(const std::string& path);
// A row for loop `loop` (1 = the first time through the scenes), which
// starts at output time `seconds`; a no-op when no file was opened.
bool WriteLoopStats(int loop, double seconds);
bool CloseLoopStats();
