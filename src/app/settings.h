// The settings chosen in the dialog, read everywhere, and the dialog's
// text logic (filling and parsing the fields) kept apart from any toolkit.
#pragma once

#include <cstdint>

struct DemoSettingsRecord {
    int32_t width = 1024;  // pixels; replaced by the screen size, then the client size
    int32_t height = 768;  // pixels
    int32_t colorBits = 32;
    int32_t aspectNum = 4;
    int32_t aspectDen = 3;
    float aspect = 1024.0f / 768.0f;  // projection aspect, from the dialog, not the window
    float brightness = 0.0f;          // [-1, 1] after the dialog
    bool fullscreen = true;
    bool loop = false;
    bool zBuffer32 = true;
    bool vSync = true;  // shown and stored only; no swap interval is set
    bool demoPlus = false;
};

extern DemoSettingsRecord DemoSettings;
