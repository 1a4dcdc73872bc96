// Command-line parsing: the forms the renderer accepts and the ones it refuses.
#include <gtest/gtest.h>

#include <vector>

#include "render_brightness.h"
#include "render_options.h"

namespace {

bool Parse(std::vector<const char*> args, RenderOptions* o, std::string* error) {
    args.insert(args.begin(), "norvale-render");
    return ParseRenderOptions(static_cast<int>(args.size()), const_cast<char**>(args.data()), o,
                              error);
}

TEST(RenderOptions, FrameRatesAreExactFractions) {
    FrameRate r;
    ASSERT_TRUE(ParseFrameRate("60000/1001", &r));
    EXPECT_EQ(r.num, 60000);
    EXPECT_EQ(r.den, 1001);
    ASSERT_TRUE(ParseFrameRate("50/2", &r));
    EXPECT_EQ(r.num, 25);
    EXPECT_EQ(r.den, 1);
    for (const char* bad : {"0", "60/0", "-30", "abc", "60fps", "1/", "/2", "2000"})
        EXPECT_FALSE(ParseFrameRate(bad, &r)) << bad;
}

TEST(RenderOptions, SizesAndAspects) {
    int w = 0, h = 0;
    ASSERT_TRUE(ParseSize("160x90", &w, &h));
    EXPECT_EQ(w, 160);
    EXPECT_EQ(h, 90);
    for (const char* bad : {"160x", "x90", "-160x90", "160x90x3", "160*90", "0x90"})
        EXPECT_FALSE(ParseSize(bad, &w, &h)) << bad;
    EXPECT_TRUE(ParseAspect("16:9", &w, &h));
    EXPECT_FALSE(ParseAspect("16:0", &w, &h));
}

TEST(RenderOptions, WholeCommandLines) {
    RenderOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"--size", "320x180", "--fps", "10", "--from", "2.5", "--to", "16",
                       "--skip-intro", "--loop", "--wav", "a.wav"},
                      &o, &error))
        << error;
    EXPECT_EQ(o.width, 320);
    EXPECT_DOUBLE_EQ(o.fromSeconds, 2.5);
    EXPECT_DOUBLE_EQ(o.toSeconds, 16.0);
    EXPECT_TRUE(o.skipIntro);
    EXPECT_TRUE(o.loop);
    EXPECT_EQ(o.wavPath, "a.wav");
    EXPECT_FLOAT_EQ(o.brightness, 0.0f);
    ASSERT_TRUE(Parse({"--brightness", "-0.5"}, &o, &error)) << error;
    EXPECT_FLOAT_EQ(o.brightness, -0.5f);
    EXPECT_EQ(o.depthBits, 24);
    ASSERT_TRUE(Parse({"--depth-bits", "16", "--plain-draw"}, &o, &error)) << error;
    EXPECT_EQ(o.depthBits, 16);
    EXPECT_TRUE(o.plainDraw);
    RenderOptions joined;
    ASSERT_TRUE(Parse({"--size=320x180", "--to", "3", "--pix-fmt=yuv444p"}, &joined, &error));
    EXPECT_EQ(joined.height, 180);
    EXPECT_DOUBLE_EQ(joined.toSeconds, 3.0);
    EXPECT_EQ(joined.pixFmt, "yuv444p");

    std::vector<std::vector<const char*>> refused = {{"--from", "5", "--to", "5"},
                                                     {"--out", "film.avi"},
                                                     {"--size", "161x90", "--out", "a.mp4"},
                                                     {"--fps"},
                                                     {"--loop"},  // never ends without --to
                                                     {"--brightness", "1.5"},
                                                     {"--brightness", "nan"},
                                                     {"--depth-bits", "15"},
                                                     {"--depth-bits", "016"},
                                                     {"--bogus", "1"},
                                                     {"--wav", "a.wav", "--wav=b.wav"},
                                                     {"--loop=1", "--to", "5"},
                                                     {"--crf", "52"},
                                                     {"--lossless", "--crf", "10"},
                                                     {"stray"}};
    for (auto& args : refused) {
        RenderOptions fresh;
        EXPECT_FALSE(Parse(args, &fresh, &error)) << args[0];
        EXPECT_FALSE(error.empty());
    }
}

// Refused before the first frame, each with a reason that names the limit.
TEST(RenderOptions, PlansThatWouldWriteNothingOrCollideAreRefused) {
    const std::vector<std::pair<std::vector<const char*>, const char*>> refused = {
        {{"--to", "1"}, "--null"},
        {{"--from", "238", "--wav", "a.wav"}, "ends at about 237.0 s"},
        {{"--skip-intro", "--from", "216", "--png", "f"}, "215.0 s with --skip-intro"},
        {{"--out", "x.mp4", "--wav", "./x.mp4"}, "both name"},
        {{"--png", "f", "--frame-log", "f/log.csv"}, "inside the --png folder"},
        {{"--null", "--wav", "a.wav"}, "writes nothing"}};
    for (const auto& [args, reason] : refused) {
        RenderOptions o;
        std::string error;
        ASSERT_TRUE(Parse(args, &o, &error)) << error;
        EXPECT_FALSE(CheckRenderPlan(o, &error)) << args[0];
        EXPECT_NE(error.find(reason), std::string::npos) << error;
    }
    RenderOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"--from", "236", "--png", "f", "--frame-log", "f.csv"}, &o, &error));
    EXPECT_TRUE(CheckRenderPlan(o, &error)) << error;
    ASSERT_FALSE(Parse({"--size", "0x9"}, &o, &error));
    EXPECT_NE(error.find("1 to 16384"), std::string::npos) << error;
}

// The display ramp's effect on captured levels: -1 halves, 1 saturates from
// level 172 on, 0 changes nothing at all (the demo sets no ramp at 0).
TEST(RenderOptions, BrightnessTablesFollowTheDisplayRamp) {
    Picture p;
    p.rgb = {0, 1, 100, 171, 172, 255};
    std::vector<uint8_t> drawn = p.rgb;
    ApplyBrightness(MakeBrightnessTable(0.0f), &p);
    EXPECT_EQ(p.rgb, drawn);
    ApplyBrightness(MakeBrightnessTable(-1.0f), &p);
    EXPECT_EQ(p.rgb, (std::vector<uint8_t>{0, 0, 50, 85, 86, 127}));
    p.rgb = drawn;
    ApplyBrightness(MakeBrightnessTable(1.0f), &p);
    EXPECT_EQ(p.rgb, (std::vector<uint8_t>{0, 1, 149, 255, 255, 255}));
    BrightnessTable half = MakeBrightnessTable(0.5f);
    EXPECT_EQ(half.level[100], 124);  // step 319
    for (int i = 1; i < 256; ++i) EXPECT_GE(half.level[i], half.level[i - 1]) << i;
}

}  // namespace
