// Helpers for the gl tests: the one headless context and pixel read-back.
// tests/gl/main.cpp makes a GlTestWidth x GlTestHeight context before any
// test runs; a test that needs another size calls UseGlTestContext and the
// next test finds its context as it left it (so size-sensitive tests should
// set their size themselves).
#pragma once

#include <vector>

constexpr int GlTestWidth = 256;
constexpr int GlTestHeight = 256;

struct Rgb {
    float r, g, b;  // 0..255
};

// Replaces the current headless context by a fresh one of this size and
// records the size in DemoSettings (width, height). False when EGL fails.
bool UseGlTestContext(int width, int height);
// A fresh GlTestWidth x GlTestHeight context as the scenes start on it:
// aspect 1 with its projection, the fixed render state, the glow texture,
// and every texture and display-list slot empty (0). False when EGL fails.
bool UseSceneTestContext();
// Size of the current headless context.
int GlTestContextWidth();
int GlTestContextHeight();

// The read buffer's pixels in (x, y, w, h), GL's bottom-up rows, 3 bytes each.
std::vector<unsigned char> ReadRgb(int x, int y, int w, int h);
// Average colour of that region, each channel 0..255.
Rgb AverageRgb(int x, int y, int w, int h);
// A w x h texture filled with one RGB colour (bytes), GL_LINEAR filters.
unsigned int MakeSolidTexture(int w, int h, unsigned char r, unsigned char g, unsigned char b);
// Writes the read buffer's whole picture to a binary PPM (rows top first).
bool WritePpm(const char* path);
