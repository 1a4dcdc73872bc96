// Brightness of captures: what the full-screen demo's display gamma ramp
// does to the picture, done to the read-back pixels instead.
#pragma once

#include <cstdint>

#include "render_outputs.h"

// One 8-bit level for each 8-bit level of every channel.
struct BrightnessTable {
    bool identity = true;  // nothing to do
    uint8_t level[256] = {};
};

// The demo's 256-entry ramp for b in [-1, 1], each 16-bit entry taken to the
// 8-bit level whose identity-ramp entry (level x 257) is nearest. b = 0 is
// the identity: at 0 the demo leaves the display's ramp alone.
BrightnessTable MakeBrightnessTable(float b);
void ApplyBrightness(const BrightnessTable& table, Picture* picture);
