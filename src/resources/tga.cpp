// TGA decoder for the intro logo: true-colour types 2 (raw) and 10 (run-length),
// 24 or 32 bits, file rows kept in file order, B,G,R(,A) swapped to R,G,B(,A).
#include "resources/tga.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "resources/data_path.h"

// Header bytes and derived sizes of the file being decoded. Shared by both
// decoders, so they are not re-entrant.
struct TgaStateRecord {
    unsigned char fileHeader[12];  // ID length, colour-map type, image type, ...
    unsigned char header[6];       // width, height (little-endian), depth, descriptor
    uint32_t width;
    uint32_t height;
    uint32_t bytesPerPixel;
    uint64_t imageSize;  // decoded bytes; 64-bit so that width x height x 4 cannot wrap
    bool cutShort;       // the run-length data ended before the image was full
};
static TgaStateRecord TgaState;

// Bytes from the start of the stream to its end; 0 when it cannot be told.
static uint64_t TgaFileSize(FILE* file) {
    long position = ftell(file);
    if (position < 0 || fseek(file, 0, SEEK_END) != 0) {
        return 0;
    }
    long size = ftell(file);
    fseek(file, position, SEEK_SET);
    return size < 0 ? 0 : uint64_t(size);
}

// Reads the last six header bytes and stores the sizes in the record; true
// when they describe an image these decoders can make (a header cut short
// does not).
static bool ReadTgaSizes(FILE* file, ImageRecord* record) {
    memset(TgaState.header, 0, sizeof TgaState.header);
    const bool whole = fread(TgaState.header, 1, 6, file) == 6;
    TgaState.width = TgaState.header[0] + 256u * TgaState.header[1];
    TgaState.height = TgaState.header[2] + 256u * TgaState.header[3];
    record->width = int32_t(TgaState.width);
    record->height = int32_t(TgaState.height);
    record->bitsPerPixel = TgaState.header[4];
    if (TgaState.width == 0 || TgaState.height == 0) {
        return false;
    }
    TgaState.bytesPerPixel = TgaState.header[4] / 8u;
    TgaState.imageSize = uint64_t(TgaState.width) * TgaState.height * TgaState.bytesPerPixel;
    return whole && (TgaState.header[4] == 24 || TgaState.header[4] == 32);
}

// The part both decoders share: sizes, checks, the pixel buffer and the ID
// bytes. expansion bounds how many decoded bytes one file byte may stand for
// (1 raw, 128 run-length), so that a tiny file cannot ask for a huge buffer.
static bool BeginTgaDecode(FILE* file, ImageRecord* record, uint64_t expansion) {
    if (!ReadTgaSizes(file, record) || TgaState.imageSize > TgaFileSize(file) * expansion) {
        return false;
    }
    // Zeroed, so that a short raw file leaves defined (black) bytes behind.
    record->pixels = static_cast<unsigned char*>(calloc(TgaState.imageSize, 1));
    if (record->pixels == nullptr) {
        return false;
    }
    unsigned char idBytes[256];
    const size_t idLength = TgaState.fileHeader[0];
    // A raw file that ends in its ID field has no pixels to read; a
    // run-length one is completed like any file cut short.
    return fread(idBytes, 1, idLength, file) == idLength || expansion > 1;
}

bool DecodeTgaUncompressed(FILE* file, ImageRecord* record) {
    bool decoded = BeginTgaDecode(file, record, 1);
    if (decoded) {
        decoded = fread(record->pixels, 1, TgaState.imageSize, file) == TgaState.imageSize;
    }
    if (decoded) {
        for (uint64_t i = 0; i < TgaState.imageSize; i += TgaState.bytesPerPixel) {
            unsigned char blue = record->pixels[i];
            record->pixels[i] = record->pixels[i + 2];
            record->pixels[i + 2] = blue;
        }
    }
    fclose(file);
    return decoded;
}

static void PutTgaPixel(unsigned char* out, const unsigned char* pixel) {
    out[0] = pixel[2];
    out[1] = pixel[1];
    out[2] = pixel[0];
    if (TgaState.bytesPerPixel == 4) {
        out[3] = pixel[3];
    }
}

// Reads into `to` until the file ends; from then on nothing is read and `to`
// keeps what it holds.
static void ReadWhileFileLasts(void* to, size_t bytes, FILE* file, bool* ended) {
    if (!*ended && fread(to, 1, bytes, file) < bytes) {
        *ended = true;
    }
}

// Counts in pixels until the image is full. At end of file a packet header
// reads as 0 and a pixel read leaves the scratch as it was, so a truncated
// file ends as one-pixel raw packets repeating the last pixel. A packet that
// reaches past the last pixel is cut at the buffer's end.
static void DecodeTgaPackets(FILE* file, unsigned char* out, unsigned char* scratch) {
    uint64_t pixelCount = uint64_t(TgaState.width) * TgaState.height;
    uint64_t current = 0;
    TgaState.cutShort = false;
    while (current < pixelCount) {
        unsigned char packet = 0;
        ReadWhileFileLasts(&packet, 1, file, &TgaState.cutShort);
        bool run = packet >= 128;
        uint64_t length = run ? packet - 127u : packet + 1u;
        if (length > pixelCount - current) {
            length = pixelCount - current;
        }
        if (run) {
            ReadWhileFileLasts(scratch, TgaState.bytesPerPixel, file, &TgaState.cutShort);
        }
        for (uint64_t i = 0; i < length; ++i, ++current) {
            if (!run) {
                ReadWhileFileLasts(scratch, TgaState.bytesPerPixel, file, &TgaState.cutShort);
            }
            PutTgaPixel(out + current * TgaState.bytesPerPixel, scratch);
        }
    }
}

bool DecodeTgaRle(FILE* file, ImageRecord* record) {
    bool decoded = BeginTgaDecode(file, record, 128);
    unsigned char* scratch = nullptr;
    if (decoded) {
        scratch = static_cast<unsigned char*>(calloc(TgaState.bytesPerPixel, 1));
        decoded = scratch != nullptr;
    }
    if (decoded) {
        DecodeTgaPackets(file, record->pixels, scratch);
    }
    free(scratch);
    fclose(file);
    return decoded;
}

bool LoadTgaStream(FILE* file, ImageRecord* record) {
    memset(TgaState.fileHeader, 0, sizeof TgaState.fileHeader);
    if (fread(TgaState.fileHeader, 1, 12, file) < 12) {
        TgaState.fileHeader[2] = 0;  // too short to be an image of either type
    }
    if (TgaState.fileHeader[2] == 2) {
        return DecodeTgaUncompressed(file, record);
    }
    if (TgaState.fileHeader[2] == 10) {
        return DecodeTgaRle(file, record);
    }
    fclose(file);
    return false;
}

void LoadTgaImage(const char* path, ImageRecord* record) {
    FILE* file = OpenDataFile(path, "rb");
    TgaState.cutShort = false;
    if (file != nullptr && !LoadTgaStream(file, record)) {
        ReportUnusableFile(path, "not a whole 24- or 32-bit TGA of type 2 or 10");
    } else if (TgaState.cutShort) {
        ReportDamagedFile(path, "cut short; the missing part repeats its last pixel");
    }
}
