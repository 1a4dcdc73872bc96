// The settings dialog's text logic: what the fields show, how typed text is
// read back, and which values are refused before they reach the window.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "setup/settings.h"

namespace {
DemoSettingsRecord ScreenSettings(int w, int h) {
    DemoSettingsRecord s;
    s.width = w;
    s.height = h;
    ComputeDialogAspect(&s);
    return s;
}

SettingsFieldTexts TextsOf(const DemoSettingsRecord& s) {
    SettingsFieldTexts texts;
    FormatSettingsFields(s, &texts);
    return texts;
}

// Parses one typed field over otherwise unchanged texts of s.
DemoSettingsRecord AfterTyping(DemoSettingsRecord s, SettingsField field, const char* typed) {
    SettingsFieldTexts texts = TextsOf(s);
    std::strcpy(texts.text[field], typed);
    ParseSettingsFields(texts, &s);
    return s;
}
}  // namespace

TEST(SettingsDialogFill, FieldsForAFullHdScreen) {
    SettingsFieldTexts texts = TextsOf(ScreenSettings(1920, 1080));
    EXPECT_STREQ(texts.text[SettingsFieldWidth], "1920");
    EXPECT_STREQ(texts.text[SettingsFieldHeight], "1080");
    EXPECT_STREQ(texts.text[SettingsFieldColorBits], "32");
    EXPECT_STREQ(texts.text[SettingsFieldAspect], "16:9");
    EXPECT_STREQ(texts.text[SettingsFieldBrightness], "0.00");
}

TEST(SettingsDialogFill, AspectReducedFromCommonScreens) {
    struct Case {
        int w, h;
        const char* shown;
    } cases[] = {{1920, 1080, "16:9"},   {1440, 900, "16:10"}, {1280, 1024, "5:4"},
                 {1366, 768, "683:384"}, {1024, 768, "4:3"},   {1680, 1050, "16:10"},
                 {2560, 1080, "64:27"},  {800, 500, "16:10"},  {1600, 1000, "16:10"}};
    for (const Case& c : cases) {
        DemoSettingsRecord s = ScreenSettings(c.w, c.h);
        EXPECT_STREQ(TextsOf(s).text[SettingsFieldAspect], c.shown) << c.w << "x" << c.h;
        EXPECT_FLOAT_EQ(s.aspect, static_cast<float>(s.aspectNum) / s.aspectDen);
    }
}

TEST(SettingsDialogFill, OnlyEightToFiveIsRewritten) {
    DemoSettingsRecord s = ScreenSettings(1280, 800);  // 8:5
    EXPECT_EQ(s.aspectNum, 16);
    EXPECT_EQ(s.aspectDen, 10);
    s = ScreenSettings(800, 1280);  // 5:8 stays
    EXPECT_EQ(s.aspectNum, 5);
    EXPECT_EQ(s.aspectDen, 8);
}

TEST(SettingsDialogFill, BrightnessShowsTwoDecimals) {
    DemoSettingsRecord s;
    s.brightness = 0.5f;
    EXPECT_STREQ(TextsOf(s).text[SettingsFieldBrightness], "0.50");
    s.brightness = -1.0f;
    EXPECT_STREQ(TextsOf(s).text[SettingsFieldBrightness], "-1.00");
}

TEST(SettingsDialogFill, GreatestCommonDivisor) {
    EXPECT_EQ(GreatestCommonDivisor(1080, 1920 % 1080), 120);
    EXPECT_EQ(GreatestCommonDivisor(768, 1366 % 768), 2);
    EXPECT_EQ(GreatestCommonDivisor(7, 0), 7);
    EXPECT_EQ(GreatestCommonDivisor(0, 5), 5);
}

TEST(SettingsDialogFill, ZeroSizedScreenDoesNotDivideByZero) {
    DemoSettingsRecord s = ScreenSettings(0, 0);
    EXPECT_EQ(s.aspectNum, 0);
    EXPECT_EQ(s.aspectDen, 0);
}

TEST(SettingsDialogParse, BrightnessIsLimited) {
    DemoSettingsRecord s = ScreenSettings(1920, 1080);
    EXPECT_EQ(AfterTyping(s, SettingsFieldBrightness, "2").brightness, 1.0f);
    EXPECT_EQ(AfterTyping(s, SettingsFieldBrightness, "-3").brightness, -1.0f);
    EXPECT_EQ(AfterTyping(s, SettingsFieldBrightness, "0.5").brightness, 0.5f);
    EXPECT_EQ(AfterTyping(s, SettingsFieldBrightness, "inf").brightness, 1.0f);
}

TEST(SettingsDialogParse, TextThatIsNotANumberKeepsTheOldValue) {
    DemoSettingsRecord s = ScreenSettings(1920, 1080);
    s.brightness = 0.25f;
    SettingsFieldTexts texts;
    for (int i = 0; i < SettingsFieldCount; ++i) {
        std::strcpy(texts.text[i], "abc");
    }
    DemoSettingsRecord after = s;
    ParseSettingsFields(texts, &after);
    EXPECT_EQ(after.width, 1920);
    EXPECT_EQ(after.height, 1080);
    EXPECT_EQ(after.colorBits, 32);
    EXPECT_EQ(after.aspectNum, 16);
    EXPECT_EQ(after.aspectDen, 9);
    EXPECT_EQ(after.brightness, 0.25f);
    EXPECT_EQ(AfterTyping(s, SettingsFieldWidth, "").width, 1920);
}

TEST(SettingsDialogParse, LeadingBlanksSkippedTrailingTextIgnored) {
    DemoSettingsRecord s = ScreenSettings(1920, 1080);
    EXPECT_EQ(AfterTyping(s, SettingsFieldWidth, "  640").width, 640);
    EXPECT_EQ(AfterTyping(s, SettingsFieldHeight, "480px").height, 480);
    EXPECT_EQ(AfterTyping(s, SettingsFieldColorBits, "16 bits").colorBits, 16);
    EXPECT_EQ(AfterTyping(s, SettingsFieldBrightness, "0.5 bright").brightness, 0.5f);
}

// The dialog reads 254 characters of a field: a number that starts later is lost.
TEST(SettingsDialogParse, OnlyTheFirst254CharactersOfAFieldAreRead) {
    DemoSettingsRecord s = ScreenSettings(1920, 1080);
    SettingsFieldTexts texts = TextsOf(s);
    std::string typed(253, ' ');
    StoreSettingsFieldText(&texts, SettingsFieldWidth, (typed + "640").c_str());
    StoreSettingsFieldText(&texts, SettingsFieldHeight, (typed + " 480").c_str());
    ParseSettingsFields(texts, &s);
    EXPECT_EQ(s.width, 6);
    EXPECT_EQ(s.height, 1080);
}

TEST(SettingsDialogParse, AspectFromTypedRatioNotFromSize) {
    DemoSettingsRecord s = ScreenSettings(1920, 1080);
    DemoSettingsRecord after = AfterTyping(s, SettingsFieldAspect, "4:3");
    EXPECT_EQ(after.aspect, 1.3333334f);
    EXPECT_EQ(after.width, 1920);
}

TEST(SettingsDialogParse, PartialRatioKeepsWhatDidNotParse) {
    DemoSettingsRecord s = ScreenSettings(1920, 1080);
    DemoSettingsRecord after = AfterTyping(s, SettingsFieldAspect, "21");
    EXPECT_EQ(after.aspectNum, 21);
    EXPECT_EQ(after.aspectDen, 9);
    EXPECT_FLOAT_EQ(after.aspect, 21.0f / 9.0f);
    after = AfterTyping(s, SettingsFieldAspect, "4/3");
    EXPECT_EQ(after.aspectNum, 4);
    EXPECT_EQ(after.aspectDen, 9);
}

TEST(SettingsDialogParse, FilledTextsReadBackUnchanged) {
    DemoSettingsRecord s = ScreenSettings(1366, 768);
    s.brightness = -0.75f;
    DemoSettingsRecord after = s;
    ParseSettingsFields(TextsOf(s), &after);
    EXPECT_EQ(after.width, 1366);
    EXPECT_EQ(after.height, 768);
    EXPECT_EQ(after.aspectNum, 683);
    EXPECT_EQ(after.aspectDen, 384);
    EXPECT_EQ(after.brightness, -0.75f);
}

TEST(SettingsValidation, SizeLimits) {
    DemoSettingsRecord s = ScreenSettings(1920, 1080);
    EXPECT_EQ(FindInvalidSetting(s), SettingsFieldNone);
    for (const char* bad : {"0", "-640", "16385"}) {
        EXPECT_EQ(FindInvalidSetting(AfterTyping(s, SettingsFieldWidth, bad)), SettingsFieldWidth)
            << bad;
        EXPECT_EQ(FindInvalidSetting(AfterTyping(s, SettingsFieldHeight, bad)), SettingsFieldHeight)
            << bad;
    }
    for (const char* good : {"1", "16384"}) {
        EXPECT_EQ(FindInvalidSetting(AfterTyping(s, SettingsFieldWidth, good)), SettingsFieldNone);
        EXPECT_EQ(FindInvalidSetting(AfterTyping(s, SettingsFieldHeight, good)), SettingsFieldNone);
    }
}

TEST(SettingsValidation, ColorDepthMustBeADisplayDepth) {
    DemoSettingsRecord s = ScreenSettings(1920, 1080);
    for (const char* good : {"16", "24", "32"}) {
        EXPECT_EQ(FindInvalidSetting(AfterTyping(s, SettingsFieldColorBits, good)),
                  SettingsFieldNone);
    }
    for (const char* bad : {"0", "8", "15", "64", "288"}) {
        EXPECT_EQ(FindInvalidSetting(AfterTyping(s, SettingsFieldColorBits, bad)),
                  SettingsFieldColorBits)
            << bad;
    }
}

TEST(SettingsValidation, AspectMustBeFiniteAndPositive) {
    DemoSettingsRecord s = ScreenSettings(1920, 1080);
    for (const char* bad : {"4:0", "0:0", "0:3", "-4:3", "4:-3", "-16:-9"}) {
        EXPECT_EQ(FindInvalidSetting(AfterTyping(s, SettingsFieldAspect, bad)), SettingsFieldAspect)
            << bad;
    }
    EXPECT_EQ(FindInvalidSetting(AfterTyping(s, SettingsFieldAspect, "21:9")), SettingsFieldNone);
}

TEST(SettingsValidation, BrightnessThatIsNotANumberIsRefused) {
    DemoSettingsRecord s = ScreenSettings(1920, 1080);
    DemoSettingsRecord after = AfterTyping(s, SettingsFieldBrightness, "nan");
    EXPECT_EQ(FindInvalidSetting(after), SettingsFieldBrightness);
}

TEST(SettingsValidation, FirstWrongFieldIsNamedInItsMessage) {
    DemoSettingsRecord s = ScreenSettings(1920, 1080);
    s.height = 0;
    s.colorBits = 7;
    EXPECT_EQ(FindInvalidSetting(s), SettingsFieldHeight);
    const char* names[SettingsFieldCount] = {"Width", "Height", "Color Depth", "Aspect Ratio",
                                             "Brightness"};
    for (int i = 0; i < SettingsFieldCount; ++i) {
        EXPECT_NE(std::strstr(InvalidSettingMessage(static_cast<SettingsField>(i)), names[i]),
                  nullptr);
    }
}
