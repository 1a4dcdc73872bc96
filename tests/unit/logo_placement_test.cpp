// Logo placement: whole magnification, the pixel-exact test and the centred rectangle.
#include <gtest/gtest.h>

#include "show/intro.h"

namespace {
constexpr float Aspect4x3 = 4.0f / 3.0f;
constexpr float Aspect16x9 = 16.0f / 9.0f;
}  // namespace

TEST(LogoPlacement, PixelExactWhenScreenMatchesAspect) {
    LogoPlacement p = ComputeLogoPlacement(1024, 768, Aspect4x3);
    EXPECT_EQ(p.k, 1);
    EXPECT_TRUE(p.pixelExact);
    EXPECT_FLOAT_EQ(p.x0, 0.15625f);  // (1024 - 704) / 2048
    EXPECT_NEAR(p.y0, 0.16667f, 1e-5);
    EXPECT_FLOAT_EQ(p.x1, 1.0f - p.x0);
    EXPECT_FLOAT_EQ(p.y1, 1.0f - p.y0);

    LogoPlacement wide = ComputeLogoPlacement(1920, 1080, Aspect16x9);
    EXPECT_EQ(wide.k, 2);  // min(3, 2)
    EXPECT_TRUE(wide.pixelExact);
    EXPECT_FLOAT_EQ(wide.x0, (1920.0f - 1408.0f) / 3840.0f);
    EXPECT_FLOAT_EQ(wide.y0, (1080.0f - 1024.0f) / 2160.0f);
}

// 640 / 633.6 and 480 / 460.8 are both just above 1: the logo overhangs.
TEST(LogoPlacement, SlightlyTooSmallScreenCutsTheLogo) {
    LogoPlacement p = ComputeLogoPlacement(640, 480, Aspect4x3);
    EXPECT_EQ(p.k, 1);
    EXPECT_TRUE(p.pixelExact);
    EXPECT_NEAR(p.x0, -0.05f, 1e-6);
    EXPECT_NEAR(p.y0, -0.033333f, 1e-5);
    EXPECT_NEAR(p.x1, 1.05f, 1e-6);
}

TEST(LogoPlacement, ShapeMismatchFillsTheScreenHeight) {
    LogoPlacement p = ComputeLogoPlacement(1280, 1024, Aspect16x9);
    EXPECT_EQ(p.k, 2);
    EXPECT_FALSE(p.pixelExact);
    EXPECT_NEAR(p.x0, -0.05f, 1e-6);  // width 1.375 x 1024 = 1408
    EXPECT_FLOAT_EQ(p.y0, 0.0f);
    EXPECT_FLOAT_EQ(p.y1, 1.0f);

    // Just inside and just outside the 0.03 tolerance.
    EXPECT_TRUE(ComputeLogoPlacement(1024, 768, 1.36f).pixelExact);
    EXPECT_FALSE(ComputeLogoPlacement(1024, 768, 1.37f).pixelExact);
}

TEST(LogoPlacement, SmallScreensGetNoWholeMagnification) {
    for (auto size : {std::pair<int, int>{633, 480}, {800, 460}, {320, 240}}) {
        LogoPlacement p =
            ComputeLogoPlacement(size.first, size.second, float(size.first) / float(size.second));
        EXPECT_EQ(p.k, 0) << size.first << "x" << size.second;
        EXPECT_FALSE(p.pixelExact);
        EXPECT_FLOAT_EQ(p.y0, 0.0f);
        EXPECT_NEAR(p.x1 - p.x0, 1.375f * size.second / size.first, 1e-5);
    }
    EXPECT_EQ(ComputeLogoPlacement(634, 461, 634.0f / 461.0f).k, 1);
}

TEST(LogoPlacement, EmptyClientAreaIsHarmless) {
    LogoPlacement p = ComputeLogoPlacement(0, 0, Aspect4x3);
    EXPECT_EQ(p.k, 0);
    EXPECT_FALSE(p.pixelExact);
    EXPECT_FLOAT_EQ(p.x0, 0.0f);
    EXPECT_FLOAT_EQ(p.x1, 1.0f);
}
