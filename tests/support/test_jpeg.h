// Writes small JPEG files with libjpeg, for tests and benchmarks that need pictures.
#pragma once

#include <cstdio>
#include <functional>
#include <vector>

#include <jpeglib.h>

// pixel(x, y, channel) gives each sample; components 1 writes greyscale, 3 RGB,
// 4 CMYK (which decodes to four components).
inline bool WriteTestJpeg(const char* path, int width, int height, int components,
                          const std::function<unsigned char(int, int, int)>& pixel,
                          int quality = 95) {
    FILE* file = fopen(path, "wb");
    if (file == nullptr) {
        return false;
    }
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = width;
    info.image_height = height;
    info.input_components = components;
    info.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(size_t(width) * components);
    while (info.next_scanline < info.image_height) {
        int y = int(info.next_scanline);
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < components; ++c) {
                row[size_t(x) * components + c] = pixel(x, y, c);
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    fclose(file);
    return true;
}
