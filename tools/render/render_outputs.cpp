// PNG frames through libpng, the WAV writer and the CSV frame log.
#include "render_outputs.h"

#include "render_options.h"
#include "render_timeline.h"

#include <png.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
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
    PutLe(header + 24, RenderAudioRate, 4);
    PutLe(header + 28, RenderAudioRate * 4, 4);
    PutLe(header + 32, 4, 2);
    PutLe(header + 34, 16, 2);
    std::memcpy(header + 36, "data", 4);
    PutLe(header + 40, dataBytes, 4);
}

bool AppendWavBytes(WavWriter& wav, const void* bytes, size_t count) {
    if (wav.failed)
        return false;
    if (std::fwrite(bytes, 1, count, wav.file) == count)
        return true;
    wav.failed = true;
    return ReportWriteFailure(wav.path, errno);
}

// Rewrites the header for the file's size on disk, past stdio's buffer;
// false when it could not.
bool FixWavHeaderInPlace(FILE* file) {
    struct stat info;
    const int fd = fileno(file);
    if (fstat(fd, &info) != 0 || info.st_size < 44)
        return false;
    uint8_t header[44];
    FillWavHeader(header, static_cast<uint64_t>(info.st_size - 44) / 4);
    return pwrite(fd, header, 44, 0) == 44;
}

std::string PngPath(const std::string& dir, int64_t slot) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame%06lld.png", static_cast<long long>(slot));
    return dir + name;
}

// libpng's own handler prints and loses errno: keep errno for the message.
void OnPngError(png_structp png, png_const_charp) {
    *static_cast<int*>(png_get_error_ptr(png)) = errno;
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// A folder the process can make files in.
bool FolderTakesFiles(const std::string& dir, const std::string& named) {
    std::error_code error;
    if (!std::filesystem::is_directory(dir, error)) {
        const bool exists = std::filesystem::exists(dir, error);
        const std::string reason =
            exists ? dir + " is not a folder" : "the folder " + dir + " does not exist";
        return ReportWriteFailure(named, 0, reason.c_str());
    }
    if (access(dir.c_str(), W_OK | X_OK) != 0)
        return ReportWriteFailure(named, errno);
    return true;
}

}  // namespace

bool ReportWriteFailure(const std::string& path, int error, const char* reason) {
    if (!reason)
        reason = error ? std::strerror(error) : "write error";
    std::fprintf(stderr, "norvale-render: cannot write %s: %s\n", path.c_str(), reason);
    return false;
}

bool CheckOutputFile(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        return ReportWriteFailure(path, EISDIR);
    std::string dir = std::filesystem::path(path).parent_path().string();
    if (!FolderTakesFiles(dir.empty() ? "." : dir, path))
        return false;
    // Permissions do not tell everything (/proc, a read-only mount, root):
    // the file is made, or opened as it is, and a new one taken away again.
    const bool existed = std::filesystem::exists(path, error);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0)
        return ReportWriteFailure(path, errno);
    close(fd);
    if (!existed)
        unlink(path.c_str());
    return true;
}

bool CheckOutputFolder(const std::string& dir) {
    std::error_code error;
    if (std::filesystem::exists(dir, error))
        return FolderTakesFiles(dir, dir);
    // Made later, with its parents: the nearest folder that exists must take it.
    std::filesystem::path parent = std::filesystem::path(dir).parent_path();
    while (!parent.empty() && !std::filesystem::exists(parent, error))
        parent = parent.parent_path();
    return FolderTakesFiles(parent.empty() ? "." : parent.string(), dir);
}

bool CloseWrittenFile(FILE* file, const std::string& path) {
    errno = 0;
    bool ok = std::fflush(file) == 0 && !std::ferror(file);
    int error = errno;
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        error = errno;
    }
    return ok || ReportWriteFailure(path, error);
}

bool OpenTextOutput(TextOutput& out, const std::string& path) {
    out.path = path;
    out.failed = false;
    out.file = std::fopen(path.c_str(), "w");
    return out.file || ReportWriteFailure(path, errno);
}

bool CheckTextRowWritten(TextOutput& out, bool printed) {
    if (out.failed)
        return false;
    if (printed && !std::ferror(out.file))
        return true;
    out.failed = true;
    return ReportWriteFailure(out.path, errno);
}

bool CloseTextOutput(TextOutput& out) {
    if (!out.file)
        return true;
    bool ok = !out.failed;
    if (ok)
        ok = CloseWrittenFile(out.file, out.path);
    else
        std::fclose(out.file);
    out.file = nullptr;
    return ok;
}

double PictureMeanLevel(const Picture& picture) {
    if (picture.rgb.empty())
        return 0.0;
    uint64_t sum = 0;
    for (uint8_t v : picture.rgb) sum += v;
    return static_cast<double>(sum) / static_cast<double>(picture.rgb.size());
}

// The slot of a file named frameNNNNNN.png, or -1.
int64_t FrameFileSlot(const std::string& name) {
    if (name.size() != 15 || name.compare(0, 5, "frame") != 0 || !HasSuffix(name, ".png"))
        return -1;
    int64_t slot = 0;
    for (size_t i = 5; i < 11; ++i) {
        if (name[i] < '0' || name[i] > '9')
            return -1;
        slot = slot * 10 + (name[i] - '0');
    }
    return slot;
}

bool RemoveOldFrames(const std::string& dir, int64_t firstSlot) {
    std::error_code error;
    int64_t removed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
        if (FrameFileSlot(entry.path().filename().string()) < firstSlot)
            continue;
        if (!std::filesystem::remove(entry.path(), error))
            return ReportWriteFailure(entry.path().string(), error.value());
        ++removed;
    }
    if (removed > 0)
        std::fprintf(stderr, "norvale-render: removed %lld frames of an earlier run from %s\n",
                     static_cast<long long>(removed), dir.c_str());
    return !error || ReportWriteFailure(dir, error.value());
}

bool PreparePngDir(const std::string& dir, int64_t firstSlot) {
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (!error)
        return RemoveOldFrames(dir, firstSlot);
    std::fprintf(stderr, "norvale-render: cannot make %s: %s\n", dir.c_str(),
                 error.message().c_str());
    return false;
}

bool WritePngFrame(const std::string& dir, int64_t slot, const Picture& picture) {
    std::string path = PngPath(dir, slot);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return ReportWriteFailure(path, errno);
    int error = 0;
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, OnPngError, OnPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return ReportWriteFailure(path, error);
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
    return CloseWrittenFile(file, path);
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
    wav.path = path;
    wav.frames = 0;
    wav.failed = false;
    wav.file = std::fopen(path.c_str(), "wb");
    if (!wav.file)
        return ReportWriteFailure(path, errno);
    uint8_t header[44];
    FillWavHeader(header, 0);
    return AppendWavBytes(wav, header, 44);
}

bool AppendWav(WavWriter& wav, const int16_t* samples, int64_t frames) {
    // The mix is native 16-bit; WAV is little-endian, as is every machine we run on.
    wav.frames += static_cast<uint64_t>(frames);
    return AppendWavBytes(wav, samples, static_cast<size_t>(frames) * 4);
}

bool CloseWav(WavWriter& wav) {
    if (!wav.file)
        return true;
    // The sizes are fixed up only in a file that holds every sample.
    bool ok = !wav.failed;
    if (ok) {
        uint8_t header[44];
        FillWavHeader(header, wav.frames);
        ok = std::fseek(wav.file, 0, SEEK_SET) == 0 && AppendWavBytes(wav, header, 44);
        ok = CloseWrittenFile(wav.file, wav.path) && ok;
    } else {
        // Cut short: the header counts the whole frames that reached the
        // file, so what was written still plays.
        std::fflush(wav.file);
        FixWavHeaderInPlace(wav.file);
        std::fclose(wav.file);
    }
    wav.file = nullptr;
    return ok;
}

bool OpenFrameLog(TextOutput& log, const std::string& path) {
    if (!OpenTextOutput(log, path))
        return false;
    const char* header =
        "time,scene,section,scene_beat,section_beat,music_seconds,render_ms,phase,mean_level\n";
    return CheckTextRowWritten(log, std::fputs(header, log.file) >= 0);
}

bool WriteFrameLogRow(TextOutput& log, const FrameLogRow& row) {
    if (log.failed)
        return false;
    int n = std::fprintf(log.file, "%.6f,%d,%d,%.6f,%.6f,%.6f,%.3f,%s,%.3f\n", row.seconds,
                         row.sceneIndex, row.sectionIndex, row.sceneBeat, row.sectionBeat,
                         row.musicSeconds, row.renderMilliseconds, row.phase, row.meanLevel);
    return CheckTextRowWritten(log, n >= 0);
}
