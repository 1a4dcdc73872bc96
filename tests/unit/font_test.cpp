// Bitmap font: descriptor parsing by character positions, glyph table and text layout.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "resources/font.h"

namespace {

const char* const Descriptor =
    "info face=\"Norvale Sans\" size=32 bold=0 italic=0\n"
    "common lineHeight=40 base=26 scaleW=256 scaleH=128 pages=1\n"
    "page id=0 file=\"font.jpg\"\n"
    "chars count=3\n"
    "char id=65 x=16 y=32 width=10 height=20 xoffset=1 yoffset=4 xadvance=12 page=0\n"
    "char id=220 x=100 y=0 width=8 height=8 xoffset=0 yoffset=0 xadvance=9 page=0\n"
    "\n"
    "kernings count=1\n"
    "kerning first=65 second=65 amount=-3\n";

void ParseText(const std::string& text) {
    FILE* file = tmpfile();
    fwrite(text.data(), 1, text.size(), file);
    rewind(file);
    ParseFontDescriptor(file);
}

std::vector<GlyphRecord> GlyphTable() {
    return std::vector<GlyphRecord>(BitmapFont.glyphs, BitmapFont.glyphs + 256);
}

bool SameTable(const std::vector<GlyphRecord>& a, const std::vector<GlyphRecord>& b) {
    return memcmp(a.data(), b.data(), 256 * sizeof(GlyphRecord)) == 0;
}

int GlyphCount() {
    int count = 0;
    for (int i = 0; i < 256; ++i) {
        count += BitmapFont.glyphs[i].id != 0;
    }
    return count;
}

TEST(FontDescriptor, ReadsEveryLineKind) {
    ParseText(Descriptor);
    EXPECT_STREQ(BitmapFont.face, "Norvale Sans");
    EXPECT_EQ(BitmapFont.size, 32);
    EXPECT_EQ(BitmapFont.lineHeight, 40);
    EXPECT_EQ(BitmapFont.base, 26);
    EXPECT_EQ(BitmapFont.scaleW, 256);
    EXPECT_EQ(BitmapFont.scaleH, 128);
    EXPECT_EQ(BitmapFont.count, 3);
    EXPECT_EQ(GlyphCount(), 2);
    const GlyphRecord& a = BitmapFont.glyphs[65];
    EXPECT_EQ(a.xadvance, 12);
    EXPECT_FLOAT_EQ(a.s0, 16.0f / 256);
    EXPECT_FLOAT_EQ(a.t0, 32.0f / 128);
    EXPECT_FLOAT_EQ(a.s1, 26.0f / 256);
    EXPECT_FLOAT_EQ(a.t1, 52.0f / 128);
}

TEST(FontDescriptor, OutOfRangeIdsChangeNothingAndLaterIdsReplace) {
    ParseText(Descriptor);
    std::vector<GlyphRecord> plain = GlyphTable();
    ParseText(std::string(Descriptor) +
              "char id=300 x=1 y=1 width=1 height=1 xoffset=1 yoffset=1 xadvance=1\n"
              "char id=-1 x=1 y=1 width=1 height=1 xoffset=1 yoffset=1 xadvance=1\n"
              "char id=-200 x=1 y=1 width=1 height=1 xoffset=1 yoffset=1 xadvance=1\n");
    EXPECT_TRUE(SameTable(GlyphTable(), plain));

    ParseText(std::string(Descriptor) +
              "char id=65 x=0 y=0 width=5 height=5 xoffset=0 yoffset=0 xadvance=99\n");
    EXPECT_EQ(BitmapFont.glyphs[65].xadvance, 99);
    EXPECT_EQ(BitmapFont.glyphs[65].width, 5);
}

TEST(FontDescriptor, MissingOrMisorderedInputLeavesAnEmptyTable) {
    ASSERT_TRUE(LoadFontDescriptorFrom("/nonexistent/font.fnt"));
    ASSERT_NE(BitmapFont.glyphs, nullptr);
    EXPECT_EQ(GlyphCount(), 0);
    EXPECT_TRUE(LayoutText(&BitmapFont, "ABC"));
    EXPECT_EQ(TextLayoutCount, 0);

    ParseText(
        "common lineHeight=40 base=26 scaleW=256 scaleH=128\n"
        "char id=65 x=16 y=32 width=10 height=20 xoffset=1 yoffset=4 xadvance=12\n");
    ASSERT_NE(BitmapFont.glyphs, nullptr);
    EXPECT_EQ(GlyphCount(), 0);
}

TEST(FontDescriptor, LongLinesArriveIn510CharacterPieces) {
    // The piece after the first 510 characters starts a line of its own.
    std::string filler(510, 'x');
    ParseText(std::string(Descriptor) + filler +
              "char id=66 x=0 y=0 width=3 height=3 xoffset=0 yoffset=0 xadvance=4\n");
    EXPECT_EQ(BitmapFont.glyphs[66].id, 66);
    EXPECT_EQ(BitmapFont.glyphs[66].xadvance, 4);

    std::string longFace(300, 'F');
    ParseText("info face=\"" + longFace + "\" size=32\n");
    ASSERT_NE(BitmapFont.face, nullptr);
    EXPECT_EQ(strlen(BitmapFont.face), 255u);
}

TEST(TextLayout, PlacesGlyphsInFontUnitsFromTheBaseline) {
    ParseText(Descriptor);
    BitmapFont.scale = 2.0f;
    ASSERT_TRUE(LayoutText(&BitmapFont, "AA"));
    ASSERT_EQ(TextLayoutCount, 2);
    const GlyphQuad& q = TextLayoutQuads[0];
    EXPECT_FLOAT_EQ(q.x0, 0.0625f);
    EXPECT_FLOAT_EQ(q.y0, -1.375f);
    EXPECT_FLOAT_EQ(q.x1, 0.6875f);
    EXPECT_FLOAT_EQ(q.y1, -0.125f);
    EXPECT_FLOAT_EQ(q.s0, 16.0f / 256);
    EXPECT_FLOAT_EQ(q.t1, 52.0f / 128);
    EXPECT_FLOAT_EQ(TextLayoutQuads[1].x0, 0.0625f + 0.75f);
    EXPECT_FLOAT_EQ(TextLayoutQuads[1].x1, 0.6875f + 0.75f);
    EXPECT_FLOAT_EQ(TextLayoutQuads[1].y0, -1.375f);
}

TEST(TextLayout, SkipsMissingGlyphsAndReadsCodesUnsigned) {
    ParseText(Descriptor);
    BitmapFont.scale = 2.0f;
    ASSERT_TRUE(LayoutText(&BitmapFont, "zA?"));
    ASSERT_EQ(TextLayoutCount, 1);
    EXPECT_FLOAT_EQ(TextLayoutQuads[0].x0, 0.0625f);  // no advance for the skipped 'z'

    ASSERT_TRUE(LayoutText(&BitmapFont, "\xDC"));
    ASSERT_EQ(TextLayoutCount, 1);
    EXPECT_FLOAT_EQ(TextLayoutQuads[0].s0, 100.0f / 256);

    ASSERT_TRUE(LayoutText(&BitmapFont, "xyz"));
    EXPECT_EQ(TextLayoutCount, 0);
    EXPECT_FALSE(LayoutText(&BitmapFont, nullptr));
}

}  // namespace
