// PNG frames through libpng, the WAV writer and the CSV frame log.
#include "render_outputs.h"

#include <png.h>
#include <cstring>
#include <filesystem>

namespace {

void PutLe(uint8_t* at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// The canonical 44-byte header of 16-bit stereo PCM.
void FillWavHeader(uint8_t header[44], uint64_t frames) {
    uint64_t data = frames * 4;
    uint32_t dataBytes = data > 0xFFFFFFF0ull ? 0xFFFFFFF0u : static_cast<uint32_t>(data);
    std::memcpy(header, "RIFF", 4);
    PutLe(header + 4, dataBytes + 36, 4);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    PutLe(header + 16, 16, 4);
    PutLe(header + 20, 1, 2);  // PCM
    PutLe(header + 22, 2, 2);  // channels
    PutLe(header + 24, 44100, 4);
    PutLe(header + 28, 44100 * 4, 4);
    PutLe(header + 32, 4, 2);
    PutLe(header + 34, 16, 2);
    std::memcpy(header + 36, "data", 4);
    PutLe(header + 40, dataBytes, 4);
}

std::string PngPath(const std::string& dir, int64_t slot) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame%06lld.png", static_cast<long long>(slot));
    return dir + name;
}

}  // namespace

double PictureMeanLevel(const Picture& picture) {
    if (picture.rgb.empty())
        return 0.0;
    uint64_t sum = 0;
    for (uint8_t v : picture.rgb) sum += v;
    return static_cast<double>(sum) / static_cast<double>(picture.rgb.size());
}

bool PreparePngDir(const std::string& dir) {
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (!error)
        return true;
    std::fprintf(stderr, "norvale-render: cannot make %s: %s\n", dir.c_str(),
                 error.message().c_str());
    return false;
}

bool WritePngFrame(const std::string& dir, int64_t slot, const Picture& picture) {
    std::string path = PngPath(dir, slot);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    // Fast compression: the frames are many and the picture is what matters.
    png_set_compression_level(png, 2);
    png_set_IHDR(png, info, picture.width, picture.height, 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < picture.height; ++y)
        png_write_row(png, picture.rgb.data() + static_cast<size_t>(y) * picture.width * 3);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

bool ReadPngFile(const std::string& path, Picture* picture) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_RGB;
    picture->width = static_cast<int>(image.width);
    picture->height = static_cast<int>(image.height);
    picture->rgb.assign(PNG_IMAGE_SIZE(image), 0);
    return png_image_finish_read(&image, nullptr, picture->rgb.data(), 0, nullptr) != 0;
}

bool OpenWav(WavWriter& wav, const std::string& path) {
    wav.file = std::fopen(path.c_str(), "wb");
    wav.frames = 0;
    if (!wav.file)
        return false;
    uint8_t header[44];
    FillWavHeader(header, 0);
    return std::fwrite(header, 1, 44, wav.file) == 44;
}

bool AppendWav(WavWriter& wav, const int16_t* samples, int64_t frames) {
    // The mix is native 16-bit; WAV is little-endian, as is every machine we run on.
    size_t count = static_cast<size_t>(frames) * 2;
    wav.frames += static_cast<uint64_t>(frames);
    return std::fwrite(samples, sizeof(int16_t), count, wav.file) == count;
}

bool CloseWav(WavWriter& wav) {
    if (!wav.file)
        return true;
    uint8_t header[44];
    FillWavHeader(header, wav.frames);
    bool ok = std::fseek(wav.file, 0, SEEK_SET) == 0 && std::fwrite(header, 1, 44, wav.file) == 44;
    ok = std::fclose(wav.file) == 0 && ok;
    wav.file = nullptr;
    return ok;
}

bool OpenFrameLog(FILE** log, const std::string& path) {
    *log = std::fopen(path.c_str(), "w");
    if (!*log)
        return false;
    std::fputs(
        "time,scene,section,scene_beat,section_beat,music_seconds,render_ms,phase,mean_level\n",
        *log);
    return true;
}

void WriteFrameLogRow(FILE* log, const FrameLogRow& row) {
    std::fprintf(log, "%.6f,%d,%d,%.6f,%.6f,%.6f,%.3f,%s,%.3f\n", row.seconds, row.sceneIndex,
                 row.sectionIndex, row.sceneBeat, row.sectionBeat, row.musicSeconds,
                 row.renderMilliseconds, row.phase, row.meanLevel);
}
