// Fuzz target: any bytes as a font descriptor, then laid out as a text.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "resources/font.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* file = size > 0 ? fmemopen(const_cast<uint8_t*>(data), size, "r") : nullptr;
    ParseFontDescriptor(file);
    // The descriptor's own first bytes serve as the text, codes 1 to 255.
    std::string text(reinterpret_cast<const char*>(data), size < 64 ? size : 64);
    BitmapFont.scale = 2.0f;
    LayoutText(&BitmapFont, text.c_str());
    for (int32_t i = 0; i < TextLayoutCount; ++i) {
        volatile float x = TextLayoutQuads[i].x1;
        (void)x;
    }
    return 0;
}
