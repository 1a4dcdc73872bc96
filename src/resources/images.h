// Decoded images, the JPEG loader and the table of texture names.
#pragma once

#include <cstdint>

struct ImageRecord {
    unsigned char* pixels = nullptr;  // rows top first, R,G,B(,A); owned, free() it
    int32_t bitsPerPixel = 0;         // 8, 24 or 32
    int32_t width = 0;
    int32_t height = 0;
};

// Slot meanings: 1 font, 2 heightmaptex, 3 flare, 4 dot, 5 heightmaptexnight,
// 6 skystars, 7 lightfx, 8 boxed, 9 glowmap, 10 detail; 0 never has an image.
extern unsigned int TextureTable[64];

bool LoadJpegImage(const char* path, ImageRecord* record);
int LoadTextureTable();
