// Decoded images, the JPEG loader and the table of texture names.
#pragma once

#include <cstdint>

struct ImageRecord {
    unsigned char* pixels = nullptr;  // rows top first, R,G,B(,A); owned, free() it
    int32_t bitsPerPixel = 0;         // 8, 24 or 32
    int32_t width = 0;
    int32_t height = 0;
};

// What each TextureTable slot holds; TextureFiles names the file of each.
enum TextureSlot : int {
    TextureBlank = 0,  // never has an image: binding it draws untextured
    TextureFont = 1,
    TextureDayTerrain = 2,
    TextureFlare = 3,
    TextureDot = 4,
    TextureNightTerrain = 5,
    TextureStars = 6,
    TextureLights = 7,
    TextureMask = 8,
    TextureGlowMap = 9,
    TextureDetail = 10,
};
constexpr int TextureTableSize = 64;  // names generated at once; slots past 10 stay empty
constexpr int TextureFileCount = TextureDetail + 1;

extern unsigned int TextureTable[TextureTableSize];
// The data file (in DataDirectory) decoded into each slot TextureFont to
// TextureDetail (entry 0 is null).
extern const char* const TextureFiles[TextureFileCount];

// Decodes a JPEG (8, 24 or 32 bits per pixel, at most 16384 pixels a side).
// False with the record empty when the file cannot be opened, is not a
// decodable JPEG or the picture is refused: the file is named on stderr and
// the demo goes on as for a missing one, rather than ending a show on one
// bad texture. A file cut short keeps what decoded and is named too.
bool LoadJpegImage(const char* path, ImageRecord* record);
// A JPEG header as read by ReadJpegHeader.
struct JpegHeader {
    bool opened = false;  // the file could be opened
    int32_t width = 0;
    int32_t height = 0;
    int32_t components = 0;  // 1 grey, 3 RGB, 4 CMYK
};
// Reads only the header; false when the file cannot be opened or its header
// is not a decodable JPEG. Never ends the process.
bool ReadJpegHeader(const char* path, JpegHeader* header);
// Decodes the ten texture files, then names all 64 slots and uploads them.
// Needs a current GL context. Always returns 1.
int LoadTextureTable();
