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
// The file decoded into each slot 1 to 10 (entry 0 is null).
extern const char* const TextureFiles[11];

// Decodes a JPEG (8, 24 or 32 bits per pixel, at most 16384 pixels a side).
// False when the file cannot be opened or the picture is refused; a file that
// is not a decodable JPEG ends the process with status 1.
bool LoadJpegImage(const char* path, ImageRecord* record);
// The same, but a file that is not a decodable JPEG returns false with the
// record empty instead of ending the process.
bool LoadJpegImageReturning(const char* path, ImageRecord* record);
// Makes the glow texture, then decodes and uploads the ten texture files.
// Needs a current GL context. Always returns 1.
int LoadTextureTable();
