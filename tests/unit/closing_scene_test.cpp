// Scene 4's placement logic: camera glide, credit choice and pulse, greeting
// layout and texts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "frame/frame.h"
#include "geometry/random.h"
#include "scenes/scenes.h"

namespace {

void ExpectPose(float x, float y, float z, float ax, float ay, float az) {
    EXPECT_FLOAT_EQ(CameraPose.position[0], x);
    EXPECT_FLOAT_EQ(CameraPose.position[1], y);
    EXPECT_FLOAT_EQ(CameraPose.position[2], z);
    EXPECT_FLOAT_EQ(CameraPose.angles[0], ax);
    EXPECT_FLOAT_EQ(CameraPose.angles[1], ay);
    EXPECT_NEAR(CameraPose.angles[2], az, 1e-6);
}

}  // namespace

TEST(ClosingScene, CameraGlidesFromItsStartToItsEndAndExtrapolates) {
    PlaceClosingCamera(0.0f);
    ExpectPose(0, 1, 86, 1, 0, -10);
    PlaceClosingCamera(54.0f);
    ExpectPose(0, -1, 32, 0, 0, 0);
    PlaceClosingCamera(-54.0f);  // a counter before the scene's start
    ExpectPose(0, 3, 140, 2, 0, -20);
}

TEST(ClosingScene, CreditsChangeEveryFourUnitsWithAPulseThatSinksToNothing) {
    EXPECT_STREQ(CreditLines[CreditLineIndex(5.0f)].text, "pixel - Tam");
    EXPECT_NEAR(CreditPulse(5.0f), 0.70710678f, 1e-6);
    EXPECT_STREQ(CreditLines[CreditLineIndex(8.0f)].text, "music - Brennick");
    EXPECT_NEAR(CreditPulse(8.0f), 0.0f, 1e-6);
    EXPECT_NEAR(CreditPulse(14.0f), 1.0f, 1e-6);  // full yellow halfway through a line
    EXPECT_STREQ(CreditLines[CreditLineIndex(16.0f)].text, "");
    // A counter jump past the section stays on the empty line, inside the table.
    EXPECT_EQ(CreditLineIndex(20.0f), CreditLineCount - 1);
    EXPECT_EQ(CreditLineIndex(1.0e6f), CreditLineCount - 1);
    EXPECT_EQ(CreditLineIndex(-7.0f), 0);
}

TEST(ClosingScene, GreetingsStandFiveUnitsApartAndScrollLeft) {
    EXPECT_FLOAT_EQ(GreetingBaseX(0, 22.0f), 15.5f);
    EXPECT_FLOAT_EQ(GreetingBaseX(GreetingCount - 1, 22.0f), 100.5f);
    float at22[GreetingCount][3], at23[GreetingCount][3];
    ComputeGreetingPositions(22.0f, at22);
    ComputeGreetingPositions(23.0f, at23);
    const float heights[4] = {-2, 0, 2, 4};  // drawn mirrored: world 2, 0, -2, -4
    for (int i = 0; i < GreetingCount; ++i) {
        EXPECT_LE(std::fabs(at22[i][0] - GreetingBaseX(i, 22.0f)), 3.0f) << i;
        EXPECT_LE(at23[i][0] - at22[i][0], -3.25f) << i;  // wobble moves at most 1.5
        EXPECT_FLOAT_EQ(at22[i][1], heights[i % 4]) << i;
        EXPECT_NEAR(at22[i][2], 40 - 1.15f * i, 1e-5) << i;
    }
    // The first draw after seeding with 6 is 58: the wobble's phase.
    EXPECT_NEAR(at22[0][0], 15.5f + 3 * std::sin(58 + 11.0), 1e-4);
    // The last name's phase is its draw plus its index.
    SeedRandom(6);
    int r = 0;
    for (int i = 0; i < GreetingCount; ++i) r = NextRandom();
    EXPECT_NEAR(at22[17][0], 100.5f + 3 * std::sin(r + 17 + 11.0), 1e-3);
}

TEST(ClosingScene, GreetingLayoutIsTheSameOnEveryPassWhateverDrewBefore) {
    float first[GreetingCount][3], second[GreetingCount][3];
    ComputeGreetingPositions(37.25f, first);
    SeedRandom(44);
    for (int i = 0; i < 500; ++i) NextRandom();
    ComputeGreetingPositions(37.25f, second);
    EXPECT_EQ(std::memcmp(first, second, sizeof first), 0);
}

// A name written in UTF-8 by mistake would show two wrong glyphs per letter.
TEST(ClosingScene, GreetingNamesAreShortLatin1Lines) {
    int accented = 0;
    for (const char* name : GreetingNames) {
        ASSERT_NE(name, nullptr);
        size_t length = std::strlen(name);
        EXPECT_GT(length, 0u);
        EXPECT_LE(length, 18u) << name;
        for (size_t k = 0; k < length; ++k) {
            unsigned char c = static_cast<unsigned char>(name[k]);
            unsigned char next = static_cast<unsigned char>(name[k + 1]);
            bool utf8Lead = c >= 0xC2 && c <= 0xDF && next >= 0x80 && next <= 0xBF;
            EXPECT_FALSE(utf8Lead) << name;
            EXPECT_TRUE(c >= 0x20 && (c < 0x7F || c >= 0xA0)) << name;
            accented += c >= 0xC0;
        }
    }
    EXPECT_GE(accented, 3);
}
