// The renderer's --pass-log: wall time of each step of a frame, the GL
// pipeline drained (glFinish) at every boundary, with the median per scene.
#pragma once

#include <string>

// Starts timing every frame step from now on; false when the file cannot be made.
bool StartPassLog(const std::string& path);
// Marks a boundary outside the engine's own (the read-back, the outputs).
void MarkRenderStep(const char* label);
// Writes the table: per scene and step, frames seen and median milliseconds.
bool FinishPassLog();
