// The dialog's settings and the text logic of its five fields.
#include "setup/settings.h"

#include <cmath>
#include <cstdio>

DemoSettingsRecord DemoSettings;

int32_t GreatestCommonDivisor(int32_t a, int32_t b) {
    while (b != 0) {
        int32_t r = a % b;
        a = b;
        b = r;
    }
    return a;
}

void ComputeDialogAspect(DemoSettingsRecord* s) {
    int32_t g = s->height != 0 ? GreatestCommonDivisor(s->height, s->width % s->height) : s->width;
    if (g == 0) {
        g = 1;  // a 0x0 screen would otherwise divide by zero
    }
    s->aspectNum = s->width / g;
    s->aspectDen = s->height / g;
    if (s->aspectNum == 8) {  // 8:5 reads better as 16:10; nothing else is rewritten
        s->aspectNum = 16;
        s->aspectDen *= 2;
    }
    s->aspect = static_cast<float>(s->aspectNum) / static_cast<float>(s->aspectDen);
}

void FormatSettingsFields(const DemoSettingsRecord& s, SettingsFieldTexts* texts) {
    std::snprintf(texts->text[SettingsFieldWidth], SettingsFieldChars, "%d", s.width);
    std::snprintf(texts->text[SettingsFieldHeight], SettingsFieldChars, "%d", s.height);
    std::snprintf(texts->text[SettingsFieldColorBits], SettingsFieldChars, "%d", s.colorBits);
    std::snprintf(texts->text[SettingsFieldAspect], SettingsFieldChars, "%d:%d", s.aspectNum,
                  s.aspectDen);
    std::snprintf(texts->text[SettingsFieldBrightness], SettingsFieldChars, "%2.2f",
                  static_cast<double>(s.brightness));
}

void StoreSettingsFieldText(SettingsFieldTexts* texts, SettingsField field, const char* typed) {
    std::snprintf(texts->text[field], SettingsFieldChars, "%s", typed);
}

void ParseSettingsFields(const SettingsFieldTexts& texts, DemoSettingsRecord* s) {
    std::sscanf(texts.text[SettingsFieldWidth], "%d", &s->width);
    std::sscanf(texts.text[SettingsFieldHeight], "%d", &s->height);
    std::sscanf(texts.text[SettingsFieldColorBits], "%d", &s->colorBits);
    std::sscanf(texts.text[SettingsFieldAspect], "%d:%d", &s->aspectNum, &s->aspectDen);
    s->aspect = static_cast<float>(static_cast<double>(s->aspectNum) / s->aspectDen);
    std::sscanf(texts.text[SettingsFieldBrightness], "%f", &s->brightness);
    if (s->brightness > 1.0f) {
        s->brightness = 1.0f;
    }
    if (s->brightness < -1.0f) {
        s->brightness = -1.0f;
    }
}

SettingsField FindInvalidSetting(const DemoSettingsRecord& s) {
    constexpr int32_t MaxSize = 16384;
    if (s.width < 1 || s.width > MaxSize) {
        return SettingsFieldWidth;
    }
    if (s.height < 1 || s.height > MaxSize) {
        return SettingsFieldHeight;
    }
    if (s.colorBits != 16 && s.colorBits != 24 && s.colorBits != 32) {
        return SettingsFieldColorBits;
    }
    // Both parts positive: -16:-9 gives a positive ratio but is no ratio.
    if (s.aspectNum < 1 || s.aspectDen < 1 || !std::isfinite(s.aspect) || !(s.aspect > 0.0f)) {
        return SettingsFieldAspect;
    }
    if (std::isnan(s.brightness)) {  // "nan" passes %f and would poison the gamma ramp
        return SettingsFieldBrightness;
    }
    return SettingsFieldNone;
}

const char* InvalidSettingMessage(SettingsField field) {
    switch (field) {
        case SettingsFieldWidth:
            return "Width must be a whole number from 1 to 16384.";
        case SettingsFieldHeight:
            return "Height must be a whole number from 1 to 16384.";
        case SettingsFieldColorBits:
            return "Color Depth must be 16, 24 or 32.";
        case SettingsFieldAspect:
            return "Aspect Ratio must be two positive whole numbers, such as 16:9.";
        case SettingsFieldBrightness:
            return "Brightness must be a number from -1 to 1.";
        default:
            return "";
    }
}
