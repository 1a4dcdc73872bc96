// Texture table: which file lands in which slot, mipmaps and filters, row order,
// and the slots that stay empty.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "../support/test_jpeg.h"
#include "frame/frame.h"
#include "resources/data_path.h"
#include "resources/images.h"

namespace {

constexpr int Width = 64;
constexpr int Height = 32;

// Runs each test in a fresh working directory with an empty data/ folder.
class TextureTableTest : public testing::Test {
   protected:
    void SetUp() override {
        char pattern[] = "/tmp/norvale-textures-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        previousFolder = std::filesystem::current_path();
        std::filesystem::create_directory(folder + "/data");
        std::filesystem::current_path(folder);
    }
    void TearDown() override {
        std::filesystem::current_path(previousFolder);
        std::filesystem::remove_all(folder);
    }
    // A solid picture whose red level tells the slot it was written for.
    static void WriteSlot(int slot, int components = 3) {
        ASSERT_TRUE(WriteTestJpeg(DataPath(TextureFiles[slot]).c_str(), Width, Height, components,
                                  [slot](int, int, int c) { return c == 0 ? slot * 20 : 40; }));
    }

    std::string folder;
    std::filesystem::path previousFolder;
};

GLint LevelParameter(unsigned int name, int level, GLenum parameter) {
    GLint value = -1;
    glBindTexture(GL_TEXTURE_2D, name);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, parameter, &value);
    return value;
}

std::vector<unsigned char> LevelZeroRgb(unsigned int name) {
    std::vector<unsigned char> pixels(size_t(Width) * Height * 3);
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

TEST_F(TextureTableTest, EachFileFillsItsSlotAndAMissingOneLeavesAGap) {
    for (int slot = 1; slot <= 10; ++slot) {
        if (slot != 3) {  // no flare.jpg
            WriteSlot(slot);
        }
    }
    EXPECT_EQ(LoadTextureTable(), 1);
    for (int slot = 1; slot <= 10; ++slot) {
        SCOPED_TRACE(TextureFiles[slot]);
        unsigned int name = TextureTable[slot];
        if (slot == 3) {
            EXPECT_EQ(LevelParameter(name, 0, GL_TEXTURE_WIDTH), 0);
            continue;
        }
        EXPECT_EQ(LevelParameter(name, 0, GL_TEXTURE_WIDTH), Width);
        EXPECT_EQ(LevelParameter(name, 0, GL_TEXTURE_HEIGHT), Height);
        EXPECT_EQ(LevelParameter(name, 6, GL_TEXTURE_WIDTH), 1);  // the whole chain
        GLint minFilter = 0, magFilter = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &magFilter);
        EXPECT_EQ(minFilter, GL_LINEAR_MIPMAP_LINEAR);
        EXPECT_EQ(magFilter, GL_LINEAR);
        EXPECT_NEAR(LevelZeroRgb(name)[0], slot * 20, 4);
    }
    EXPECT_EQ(LevelParameter(TextureTable[0], 0, GL_TEXTURE_WIDTH), 0);
    EXPECT_EQ(LevelParameter(TextureTable[11], 0, GL_TEXTURE_WIDTH), 0);
}

TEST_F(TextureTableTest, TopRowOfThePictureLiesAtTZero) {
    ASSERT_TRUE(
        WriteTestJpeg(DataPath(TextureFiles[1]).c_str(), Width, Height, 3, [](int, int y, int c) {
            bool top = y < Height / 2;
            return (c == 0 && top) || (c == 2 && !top) ? 255 : 0;
        }));
    LoadTextureTable();
    std::vector<unsigned char> pixels = LevelZeroRgb(TextureTable[1]);
    const unsigned char* first = pixels.data();
    const unsigned char* last = pixels.data() + (Height - 1) * Width * 3;
    EXPECT_GT(first[0], 200);
    EXPECT_LT(first[2], 50);
    EXPECT_LT(last[0], 50);
    EXPECT_GT(last[2], 200);
}

TEST_F(TextureTableTest, GreyscaleStaysEmptyAndFourComponentsUploadWithAlpha) {
    WriteSlot(9);
    WriteSlot(10, 1);  // greyscale detail.jpg
    WriteSlot(8, 4);   // four-component boxed.jpg
    LoadTextureTable();
    EXPECT_EQ(LevelParameter(TextureTable[10], 0, GL_TEXTURE_WIDTH), 0);
    EXPECT_EQ(LevelParameter(TextureTable[9], 0, GL_TEXTURE_WIDTH), Width);
    EXPECT_EQ(LevelParameter(TextureTable[8], 0, GL_TEXTURE_WIDTH), Width);
    EXPECT_GT(LevelParameter(TextureTable[8], 0, GL_TEXTURE_ALPHA_SIZE), 0);
    EXPECT_EQ(LevelParameter(TextureTable[9], 0, GL_TEXTURE_ALPHA_SIZE), 0);
}

TEST_F(TextureTableTest, EveryFileMissingStillGives64EmptyNames) {
    EXPECT_EQ(LoadTextureTable(), 1);
    std::set<unsigned int> names(TextureTable, TextureTable + 64);
    EXPECT_EQ(names.size(), 64u);
    EXPECT_EQ(names.count(0u), 0u);
    for (int slot = 0; slot < 64; ++slot) {
        EXPECT_EQ(LevelParameter(TextureTable[slot], 0, GL_TEXTURE_WIDTH), 0) << slot;
    }
}

}  // namespace
