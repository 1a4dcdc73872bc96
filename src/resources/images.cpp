// JPEG loading through libjpeg's version 62 interface, and the texture table.
#include "resources/images.h"

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <GL/gl.h>
#include <GL/glu.h>
#include <jpeglib.h>

#include "resources/data_path.h"

unsigned int TextureTable[TextureTableSize];

// clang-format off
const char* const TextureFiles[TextureFileCount] = {
    nullptr,
    "font.jpg",
    "heightmaptex.jpg",
    "flare.jpg",
    "dot.jpg",
    "heightmaptexnight.jpg",
    "skystars.jpg",
    "lightfx.jpg",
    "boxed.jpg",
    "glowmap.jpg",
    "detail.jpg",
};
// clang-format on

// Larger pictures are refused before any buffer is made: no texture the
// demo uses comes near it, and it keeps every size product far from overflow.
constexpr uint32_t MaxImageSide = 16384;

static bool JpegDepthAccepted(int32_t bitsPerPixel) {
    return bitsPerPixel == 8 || bitsPerPixel == 24 || bitsPerPixel == 32;
}

static bool JpegSizeAccepted(uint32_t width, uint32_t height, uint32_t bytesPerPixel) {
    if (width == 0 || height == 0 || width > MaxImageSide || height > MaxImageSide) {
        return false;
    }
    uint64_t bytes = uint64_t(width) * height * bytesPerPixel;
    return bytes <= SIZE_MAX;
}

// Steps 4 to 7 once the library has started: sizes, checks, one scanline per read.
static bool DecodeJpegRows(jpeg_decompress_struct* info, ImageRecord* record) {
    record->width = int32_t(info->output_width);
    record->height = int32_t(info->output_height);
    record->bitsPerPixel = info->output_components * 8;
    if (!JpegDepthAccepted(record->bitsPerPixel) ||
        !JpegSizeAccepted(info->output_width, info->output_height, info->output_components)) {
        return false;
    }
    size_t rowBytes = size_t(info->output_components) * info->output_width;
    record->pixels = static_cast<unsigned char*>(malloc(rowBytes * info->output_height));
    if (record->pixels == nullptr) {
        return false;
    }
    while (info->output_scanline < info->output_height) {
        JSAMPROW row = record->pixels + rowBytes * info->output_scanline;
        jpeg_read_scanlines(info, &row, 1);
    }
    jpeg_finish_decompress(info);
    return true;
}

// Header, checks and rows from an open file.
static bool DecodeJpegFile(jpeg_decompress_struct* info, FILE* file, ImageRecord* record) {
    jpeg_stdio_src(info, file);
    jpeg_read_header(info, TRUE);
    // The header already gives the output size (no scaling is asked for), so an
    // oversized picture is refused before the library allocates its buffers.
    if (!JpegSizeAccepted(info->image_width, info->image_height, info->num_components)) {
        return false;
    }
    jpeg_start_decompress(info);
    return DecodeJpegRows(info, record);
}

namespace {
// libjpeg's errors come back here instead of ending the process, and its
// first warning (a file cut short) is kept to name the file with.
struct ReturningErrors {
    jpeg_error_mgr manager;
    std::jmp_buf back;
    char message[JMSG_LENGTH_MAX] = "";
    bool warned = false;
};

void ReturnFromError(j_common_ptr info) {
    ReturningErrors* errors = reinterpret_cast<ReturningErrors*>(info->err);
    errors->manager.format_message(info, errors->message);
    std::longjmp(errors->back, 1);
}

// Level -1 is a warning: the library goes on, filling what the file lacks.
void KeepFirstWarning(j_common_ptr info, int level) {
    ReturningErrors* errors = reinterpret_cast<ReturningErrors*>(info->err);
    if (level < 0 && !errors->warned) {
        errors->manager.format_message(info, errors->message);
        errors->warned = true;
    }
}

// The header only (record null) or the whole picture, with the problem in
// errors->message: a fatal error returns false with the record empty.
bool ReadJpegReturning(const char* path, JpegHeader* header, ImageRecord* record,
                       ReturningErrors* errors) {
    FILE* file = OpenDataFile(path, "rb");
    if (file == nullptr) {
        return false;
    }
    header->opened = true;
    jpeg_decompress_struct info;
    info.err = jpeg_std_error(&errors->manager);
    errors->manager.error_exit = ReturnFromError;
    errors->manager.emit_message = KeepFirstWarning;
    jpeg_CreateDecompress(&info, 62, sizeof(jpeg_decompress_struct));
    if (setjmp(errors->back) != 0) {
        jpeg_destroy_decompress(&info);
        fclose(file);
        if (record != nullptr) {
            free(record->pixels);  // rows decoded before the error
            *record = ImageRecord();
        }
        return false;
    }
    bool read = true;
    if (record != nullptr) {
        read = DecodeJpegFile(&info, file, record);
    } else {
        jpeg_stdio_src(&info, file);
        jpeg_read_header(&info, TRUE);
        header->width = int32_t(info.image_width);
        header->height = int32_t(info.image_height);
        header->components = info.num_components;
    }
    jpeg_destroy_decompress(&info);
    fclose(file);
    return read;
}
}  // namespace

bool LoadJpegImage(const char* path, ImageRecord* record) {
    JpegHeader header;
    ReturningErrors errors;
    bool decoded = ReadJpegReturning(path, &header, record, &errors);
    if (!header.opened) {
        return false;  // OpenDataFile has named it
    }
    std::string problem;
    bool partly = false;
    if (errors.message[0] != '\0' && !decoded) {
        problem = std::string("not a decodable JPEG (") + errors.message + ")";
    } else if (!decoded) {
        problem = "not an 8-, 24- or 32-bit picture of at most 16384 pixels a side";
    } else if (errors.warned) {
        problem = std::string("damaged (") + errors.message + "); the part that decoded is used";
        partly = true;
    }
    if (partly) {
        ReportDamagedFile(path, problem.c_str());
    } else if (!problem.empty()) {
        ReportUnusableFile(path, problem.c_str());
    }
    return decoded;
}

bool ReadJpegHeader(const char* path, JpegHeader* header) {
    *header = JpegHeader();
    ReturningErrors errors;
    return ReadJpegReturning(path, header, nullptr, &errors);
}

static void UploadTexture(unsigned int name, const ImageRecord& image) {
    GLenum format = image.bitsPerPixel == 32 ? GL_RGBA : GL_RGB;
    GLint components = image.bitsPerPixel == 32 ? 4 : 3;
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    gluBuild2DMipmaps(GL_TEXTURE_2D, components, image.width, image.height, format,
                      GL_UNSIGNED_BYTE, image.pixels);
}

int LoadTextureTable() {
    ImageRecord images[TextureTableSize];
    // All ten are decoded before the first upload; return values are not
    // needed, a slot without pixels simply stays empty.
    for (int slot = TextureFont; slot <= TextureDetail; ++slot) {
        LoadJpegImage(DataPath(TextureFiles[slot]).c_str(), &images[slot]);
    }
    glGenTextures(TextureTableSize, TextureTable);
    for (int slot = 0; slot < TextureTableSize; ++slot) {
        if (images[slot].pixels == nullptr) {
            continue;
        }
        // Greyscale pictures decode fine but are never uploaded.
        if (images[slot].bitsPerPixel == 24 || images[slot].bitsPerPixel == 32) {
            UploadTexture(TextureTable[slot], images[slot]);
        }
        free(images[slot].pixels);
        images[slot].pixels = nullptr;
    }
    return 1;
}
