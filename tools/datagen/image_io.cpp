// Pictures in memory and the JPEG and TGA writers.
#include <cmath>
#include <cstdio>

#include <jpeglib.h>

#include "datagen.h"

Picture MakePicture(int width, int height) {
    Picture p;
    p.width = width;
    p.height = height;
    p.rgb.assign(size_t(width) * height * 3, 0);
    return p;
}

Field MakeField(int width, int height) {
    Field f;
    f.width = width;
    f.height = height;
    f.v.assign(size_t(width) * height, 0.0f);
    return f;
}

float FieldAt(const Field& f, int x, int y) {
    x = ((x % f.width) + f.width) % f.width;
    y = ((y % f.height) + f.height) % f.height;
    return f.v[size_t(y) * f.width + x];
}

float FieldBilinear(const Field& f, float x, float y) {
    int x0 = int(std::floor(x)), y0 = int(std::floor(y));
    float fx = x - x0, fy = y - y0;
    float a = Mix(FieldAt(f, x0, y0), FieldAt(f, x0 + 1, y0), fx);
    float b = Mix(FieldAt(f, x0, y0 + 1), FieldAt(f, x0 + 1, y0 + 1), fx);
    return Mix(a, b, fy);
}

// One wrapped box-blur pass along a line of `count` values `stride` apart,
// with a running sum so the cost does not grow with the radius.
static void BlurLine(const float* in, float* out, int count, int stride, int radius) {
    double sum = 0.0;
    for (int k = -radius; k <= radius; ++k) sum += in[size_t((k % count + count) % count) * stride];
    double norm = 1.0 / (2 * radius + 1);
    for (int i = 0; i < count; ++i) {
        out[size_t(i) * stride] = float(sum * norm);
        int leaving = ((i - radius) % count + count) % count, entering = (i + radius + 1) % count;
        sum += in[size_t(entering) * stride] - in[size_t(leaving) * stride];
    }
}

Field BoxBlur(const Field& f, int radius) {
    Field rows = f, both = f;
    for (int y = 0; y < f.height; ++y)
        BlurLine(&f.v[size_t(y) * f.width], &rows.v[size_t(y) * f.width], f.width, 1, radius);
    for (int x = 0; x < f.width; ++x) BlurLine(&rows.v[x], &both.v[x], f.height, f.width, radius);
    return both;
}

static uint8_t ToByte(float v) {
    return uint8_t(std::lround(Clamp01(v) * 255.0f));
}

void PutPixel(Picture& p, int x, int y, Colour c) {
    uint8_t* px = &p.rgb[(size_t(y) * p.width + x) * 3];
    px[0] = ToByte(c.r);
    px[1] = ToByte(c.g);
    px[2] = ToByte(c.b);
}

Colour GetPixel(const Picture& p, int x, int y) {
    const uint8_t* px = &p.rgb[(size_t(y) * p.width + x) * 3];
    return {px[0] / 255.0f, px[1] / 255.0f, px[2] / 255.0f};
}

bool WriteJpeg(const std::string& path, const Picture& p, int quality) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = p.width;
    cinfo.image_height = p.height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.optimize_coding = TRUE;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(&p.rgb[size_t(cinfo.next_scanline) * p.width * 3]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(file) == 0;
}

// Appends one packet: a run of `count` equal pixels or `count` raw pixels.
static void PutPacket(std::vector<uint8_t>& out, const uint8_t* px, int count, bool run) {
    out.push_back(uint8_t(run ? 128 + count - 1 : count - 1));
    for (int i = 0; i < (run ? 1 : count); ++i) {
        out.push_back(px[i * 3 + 2]);
        out.push_back(px[i * 3 + 1]);
        out.push_back(px[i * 3 + 0]);
    }
}

static bool SamePixel(const uint8_t* a, const uint8_t* b) {
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

// Packets never cross a row, which keeps every reader happy.
static void EncodeRow(std::vector<uint8_t>& out, const uint8_t* row, int width) {
    int x = 0;
    while (x < width) {
        int run = 1;
        while (x + run < width && run < 128 && SamePixel(row + x * 3, row + (x + run) * 3)) ++run;
        if (run >= 2) {
            PutPacket(out, row + x * 3, run, true);
            x += run;
            continue;
        }
        int raw = 1;
        while (x + raw < width && raw < 128 &&
               !(x + raw + 1 < width && SamePixel(row + (x + raw) * 3, row + (x + raw + 1) * 3)))
            ++raw;
        PutPacket(out, row + x * 3, raw, false);
        x += raw;
    }
}

std::vector<uint8_t> EncodeTgaRle(const Picture& p) {
    std::vector<uint8_t> out(18, 0);
    out[2] = 10;
    out[12] = uint8_t(p.width & 255);
    out[13] = uint8_t(p.width >> 8);
    out[14] = uint8_t(p.height & 255);
    out[15] = uint8_t(p.height >> 8);
    out[16] = 24;
    out[17] = 0x20;  // top-left origin: the first row stored is the top
    for (int y = 0; y < p.height; ++y) EncodeRow(out, &p.rgb[size_t(y) * p.width * 3], p.width);
    return out;
}

bool WriteTgaRle(const std::string& path, const Picture& p) {
    std::vector<uint8_t> bytes = EncodeTgaRle(p);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    size_t written = std::fwrite(bytes.data(), 1, bytes.size(), file);
    return std::fclose(file) == 0 && written == bytes.size();
}
