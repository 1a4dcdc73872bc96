// TGA decoder: byte order, packets, row order, ID bytes, truncation and hostile headers.
#include <dirent.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "resources/tga.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes TgaHeader(int type, int width, int height, int depth, int idLength = 0, int descriptor = 0) {
    Bytes h(18, 0);
    h[0] = idLength;
    h[2] = type;
    h[12] = width & 255, h[13] = width >> 8;
    h[14] = height & 255, h[15] = height >> 8;
    h[16] = depth, h[17] = descriptor;
    return h;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Decoded {
    bool ok;
    ImageRecord image;
    Bytes pixels;  // a copy of the first width x height x depth/8 bytes
};

Decoded Decode(const Bytes& file) {
    FILE* stream = tmpfile();
    fwrite(file.data(), 1, file.size(), stream);
    rewind(stream);
    Decoded d{};
    d.ok = LoadTgaStream(stream, &d.image);
    if (d.image.pixels != nullptr) {
        size_t n = size_t(d.image.width) * d.image.height * (d.image.bitsPerPixel / 8);
        d.pixels.assign(d.image.pixels, d.image.pixels + n);
        free(d.image.pixels);
    }
    return d;
}

int OpenDescriptorCount() {
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    while (readdir(dir) != nullptr) {
        ++count;
    }
    closedir(dir);
    return count;
}

TEST(TgaDecode, RawPixelsSwapBlueAndRed) {
    Decoded d = Decode(TgaHeader(2, 2, 1, 24) + Bytes{10, 20, 30, 40, 50, 60});
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.image.width, 2);
    EXPECT_EQ(d.image.height, 1);
    EXPECT_EQ(d.image.bitsPerPixel, 24);
    EXPECT_EQ(d.pixels, (Bytes{30, 20, 10, 60, 50, 40}));

    Decoded alpha = Decode(TgaHeader(2, 1, 1, 32) + Bytes{1, 2, 3, 4});
    ASSERT_TRUE(alpha.ok);
    EXPECT_EQ(alpha.pixels, (Bytes{3, 2, 1, 4}));
}

TEST(TgaDecode, RunPacketRepeatsOnePixelWithAlphaLast) {
    Decoded d = Decode(TgaHeader(10, 2, 1, 32) + Bytes{0x81, 1, 2, 3, 4});
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.pixels, (Bytes{3, 2, 1, 4, 3, 2, 1, 4}));
}

TEST(TgaDecode, LongestRawAndRunPacketsCarry128PixelsEach) {
    Bytes raw{0x7F};
    for (int i = 0; i < 128; ++i) {
        raw = raw + Bytes{0, 0, static_cast<unsigned char>(i)};
    }
    Decoded d = Decode(TgaHeader(10, 256, 1, 24) + raw + Bytes{0xFF, 7, 8, 9});
    ASSERT_TRUE(d.ok);
    for (int i = 0; i < 128; ++i) {
        ASSERT_EQ(d.pixels[i * 3], i) << "raw pixel " << i;
    }
    for (int i = 128; i < 256; ++i) {
        ASSERT_EQ(d.pixels[i * 3], 9) << "run pixel " << i;
        ASSERT_EQ(d.pixels[i * 3 + 2], 7) << "run pixel " << i;
    }
}

TEST(TgaDecode, FirstFileRowIsRowZeroWhateverTheOrigin) {
    Bytes rows{1, 1, 1, 2, 2, 2};  // 1x2: first file row 1s, second 2s
    Decoded bottomLeft = Decode(TgaHeader(2, 1, 2, 24, 0, 0x00) + rows);
    Decoded topLeft = Decode(TgaHeader(2, 1, 2, 24, 0, 0x20) + rows);
    ASSERT_TRUE(bottomLeft.ok && topLeft.ok);
    EXPECT_EQ(bottomLeft.pixels, rows);
    EXPECT_EQ(topLeft.pixels, rows);
}

TEST(TgaDecode, IdBytesAreSkipped) {
    Bytes id(255, 0xEE);
    Decoded raw = Decode(TgaHeader(2, 1, 1, 24, 255) + id + Bytes{1, 2, 3});
    Decoded rle = Decode(TgaHeader(10, 1, 1, 24, 255) + id + Bytes{0x00, 1, 2, 3});
    ASSERT_TRUE(raw.ok && rle.ok);
    EXPECT_EQ(raw.pixels, (Bytes{3, 2, 1}));
    EXPECT_EQ(rle.pixels, (Bytes{3, 2, 1}));
}

TEST(TgaDecode, TruncatedRunLengthFileRepeatsTheLastPixel) {
    Decoded d = Decode(TgaHeader(10, 4, 1, 24) + Bytes{0x01, 1, 2, 3, 4, 5, 6});
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.pixels, (Bytes{3, 2, 1, 6, 5, 4, 6, 5, 4, 6, 5, 4}));
}

TEST(TgaDecode, PacketsCrossingTheImageEndStopAtTheLastPixel) {
    // Run of 128 and raw of 4 over a 3-pixel image; what follows is not read.
    Decoded run = Decode(TgaHeader(10, 3, 1, 24) + Bytes{0xFF, 1, 2, 3});
    ASSERT_TRUE(run.ok);
    EXPECT_EQ(run.pixels, (Bytes{3, 2, 1, 3, 2, 1, 3, 2, 1}));
    Decoded raw =
        Decode(TgaHeader(10, 3, 1, 24) + Bytes{0x81, 1, 2, 3, 0x03, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    ASSERT_TRUE(raw.ok);
    EXPECT_EQ(raw.pixels, (Bytes{3, 2, 1, 3, 2, 1, 6, 5, 4}));
}

TEST(TgaReject, UnsupportedFilesLeaveTheRecordEmpty) {
    ImageRecord missing;
    LoadTgaImage("/nonexistent/logo.tga", &missing);
    EXPECT_EQ(missing.pixels, nullptr);
    EXPECT_EQ(missing.width, 0);

    Decoded grey = Decode(TgaHeader(3, 1, 1, 8) + Bytes{1});
    EXPECT_FALSE(grey.ok);
    EXPECT_EQ(grey.image.pixels, nullptr);
    EXPECT_EQ(grey.image.width, 0);

    Decoded depth16 = Decode(TgaHeader(2, 2, 1, 16) + Bytes{1, 2, 3, 4});
    EXPECT_FALSE(depth16.ok);
    EXPECT_EQ(depth16.image.pixels, nullptr);
    EXPECT_EQ(depth16.image.width, 2);  // sizes are stored before the check
    EXPECT_EQ(depth16.image.bitsPerPixel, 16);

    Decoded empty = Decode(TgaHeader(10, 0, 5, 24));
    EXPECT_FALSE(empty.ok);
    EXPECT_EQ(empty.image.pixels, nullptr);
}

TEST(TgaReject, ShortRawFileFailsWithItsBytesUnswapped) {
    // 4x1 promises 12 bytes, 4 arrive.
    Decoded d = Decode(TgaHeader(2, 4, 1, 24) + Bytes{1, 2, 3, 4});
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.image.width, 4);
    ASSERT_EQ(d.pixels.size(), 12u);
    EXPECT_EQ(Bytes(d.pixels.begin(), d.pixels.begin() + 4), (Bytes{1, 2, 3, 4}));
}

TEST(TgaReject, HeadersPromisingMoreThanTheFileHoldsAllocateNothing) {
    // 32768 x 32768 x 4 bytes is exactly 2^32: a 32-bit product would wrap to 0.
    for (int type : {2, 10}) {
        Decoded wrap = Decode(TgaHeader(type, 32768, 32768, 32) + Bytes(64, 0));
        EXPECT_FALSE(wrap.ok) << "type " << type;
        EXPECT_EQ(wrap.image.pixels, nullptr) << "type " << type;
        Decoded huge = Decode(TgaHeader(type, 65535, 65535, 32));
        EXPECT_FALSE(huge.ok) << "type " << type;
        EXPECT_EQ(huge.image.pixels, nullptr) << "type " << type;
    }
    // Run-length data may expand up to 128 times: 40x40x3 = 4800 bytes from 41.
    Decoded dense = Decode(TgaHeader(10, 40, 40, 24) + Bytes{0xFF, 1, 2, 3} + Bytes(19, 0));
    EXPECT_TRUE(dense.ok);
    EXPECT_NE(dense.pixels.size(), 0u);
}

TEST(TgaReject, EveryPathClosesTheFile) {
    int before = OpenDescriptorCount();
    const Bytes files[] = {
        TgaHeader(2, 1, 1, 24) + Bytes{1, 2, 3},
        TgaHeader(10, 1, 1, 24) + Bytes{0, 1, 2, 3},
        TgaHeader(3, 1, 1, 8),
        TgaHeader(2, 1, 1, 16),
        TgaHeader(2, 9, 9, 24) + Bytes(100, 0),
        TgaHeader(10, 65535, 65535, 32),
        Bytes{1, 2},
    };
    for (const Bytes& file : files) {
        Decode(file);
    }
    EXPECT_EQ(OpenDescriptorCount(), before);
}

}  // namespace
