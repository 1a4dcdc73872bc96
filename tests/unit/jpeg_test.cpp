// JPEG loader: row order, depths, refusals, and undecodable or cut files that come back.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "../support/test_jpeg.h"
#include "resources/images.h"

namespace {

class JpegLoad : public testing::Test {
   protected:
    void SetUp() override {
        char pattern[] = "/tmp/norvale-jpeg-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::string Path(const char* name) const { return folder + "/" + name; }

    std::string folder;
};

// Top half red, bottom half blue.
unsigned char RedOverBlue(int, int y, int c, int height) {
    bool top = y < height / 2;
    return (c == 0 && top) || (c == 2 && !top) ? 255 : 0;
}

TEST_F(JpegLoad, FirstDecodedRowIsTheTopOfThePicture) {
    std::string path = Path("rows.jpg");
    ASSERT_TRUE(WriteTestJpeg(path.c_str(), 32, 16, 3,
                              [](int x, int y, int c) { return RedOverBlue(x, y, c, 16); }));
    ImageRecord image;
    ASSERT_TRUE(LoadJpegImage(path.c_str(), &image));
    EXPECT_EQ(image.width, 32);
    EXPECT_EQ(image.height, 16);
    EXPECT_EQ(image.bitsPerPixel, 24);
    const unsigned char* first = image.pixels;
    const unsigned char* last = image.pixels + 15 * 32 * 3;
    EXPECT_GT(first[0], 200);  // red at row 0
    EXPECT_LT(first[2], 50);
    EXPECT_LT(last[0], 50);  // blue at the last row
    EXPECT_GT(last[2], 200);
    free(image.pixels);
}

TEST_F(JpegLoad, DepthFollowsTheComponentCount) {
    std::string path = Path("grey.jpg");
    ASSERT_TRUE(
        WriteTestJpeg(path.c_str(), 16, 8, 1, [](int x, int, int) { return x < 8 ? 20 : 230; }));
    ImageRecord image;
    ASSERT_TRUE(LoadJpegImage(path.c_str(), &image));
    EXPECT_EQ(image.bitsPerPixel, 8);
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_NEAR(image.pixels[7 * 16 + 0], 20, 12);  // last row, left and right
    EXPECT_NEAR(image.pixels[7 * 16 + 15], 230, 12);
    free(image.pixels);

    std::string four = Path("cmyk.jpg");
    ASSERT_TRUE(WriteTestJpeg(four.c_str(), 8, 8, 4, [](int, int, int c) { return c * 60; }));
    ImageRecord quad;
    ASSERT_TRUE(LoadJpegImage(four.c_str(), &quad));
    EXPECT_EQ(quad.bitsPerPixel, 32);
    EXPECT_NEAR(quad.pixels[3], 180, 12);
    free(quad.pixels);
}

TEST_F(JpegLoad, MissingFileLeavesTheRecordAlone) {
    ImageRecord image;
    EXPECT_FALSE(LoadJpegImage(Path("absent.jpg").c_str(), &image));
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.width, 0);
}

TEST_F(JpegLoad, PicturesWiderOrTallerThan16384AreRefused) {
    auto black = [](int, int, int) -> unsigned char { return 0; };
    std::string wide = Path("wide.jpg"), tall = Path("tall.jpg"), edge = Path("edge.jpg");
    ASSERT_TRUE(WriteTestJpeg(wide.c_str(), 16385, 8, 1, black));
    ASSERT_TRUE(WriteTestJpeg(tall.c_str(), 8, 16385, 1, black));
    ASSERT_TRUE(WriteTestJpeg(edge.c_str(), 16384, 8, 1, black));
    ImageRecord image;
    EXPECT_FALSE(LoadJpegImage(wide.c_str(), &image));
    EXPECT_FALSE(LoadJpegImage(tall.c_str(), &image));
    EXPECT_EQ(image.pixels, nullptr);
    ASSERT_TRUE(LoadJpegImage(edge.c_str(), &image));
    EXPECT_EQ(image.width, 16384);
    free(image.pixels);
}

// Not a JPEG, or one cut short: the loader returns instead of ending the
// process; what decoded of a cut file is kept.
TEST_F(JpegLoad, UndecodableOrCutFilesComeBackInsteadOfEndingTheProcess) {
    std::string path = Path("text.jpg");
    FILE* file = fopen(path.c_str(), "wb");
    fputs("this is not a picture\n", file);
    fclose(file);
    ImageRecord image;
    EXPECT_FALSE(LoadJpegImage(path.c_str(), &image));
    EXPECT_EQ(image.pixels, nullptr);
    std::string whole = Path("whole.jpg");
    ASSERT_TRUE(WriteTestJpeg(whole.c_str(), 256, 256, 3, [](int x, int y, int c) {
        return static_cast<unsigned char>(x * 7 + y * y * 13 + c * 50);
    }));
    std::ifstream in(whole, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream(Path("half.jpg"), std::ios::binary) << bytes.substr(0, bytes.size() / 2);
    ASSERT_TRUE(LoadJpegImage(Path("half.jpg").c_str(), &image));
    EXPECT_EQ(image.width, 256);
    free(image.pixels);
}

}  // namespace
