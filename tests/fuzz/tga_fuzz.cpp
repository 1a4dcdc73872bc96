// Fuzz target: any bytes as a TGA file, through the same entry the logo uses.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "resources/tga.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (file == nullptr) {
        return 0;
    }
    ImageRecord image;
    LoadTgaStream(file, &image);
    if (image.pixels != nullptr) {
        // Touch the last byte so that a buffer smaller than its sizes shows up.
        size_t bytes = size_t(image.width) * image.height * (image.bitsPerPixel / 8);
        volatile unsigned char last = image.pixels[bytes - 1];
        (void)last;
        free(image.pixels);
    }
    return 0;
}
