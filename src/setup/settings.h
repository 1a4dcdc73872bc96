// The settings chosen in the dialog, read everywhere, and the dialog's
// text logic (filling and parsing the fields) kept apart from any toolkit.
#pragma once

#include <cstdint>

struct DemoSettingsRecord {
    int32_t width = 1024;  // pixels; replaced by the screen size, then the client size
    int32_t height = 768;  // pixels
    int32_t colorBits = 32;
    int32_t aspectNum = 4;
    int32_t aspectDen = 3;
    float aspect = 1024.0f / 768.0f;  // projection aspect, from the dialog, not the window
    float brightness = 0.0f;          // [-1, 1] after the dialog
    bool fullscreen = true;
    bool loop = false;
    bool zBuffer32 = true;
    bool vSync = true;  // shown and stored only; no swap interval is set
    bool demoPlus = false;
};

extern DemoSettingsRecord DemoSettings;

// The five edit fields of the dialog, in tab order.
enum SettingsField {
    SettingsFieldWidth,
    SettingsFieldHeight,
    SettingsFieldColorBits,
    SettingsFieldAspect,
    SettingsFieldBrightness,
    SettingsFieldCount,
    SettingsFieldNone = SettingsFieldCount
};

// What the fields hold: the dialog reads each back into 255 bytes, so at
// most 254 characters and the terminator; the rest of a longer text is lost.
constexpr int SettingsFieldChars = 255;
struct SettingsFieldTexts {
    char text[SettingsFieldCount][SettingsFieldChars];
};

// Stores what was typed into a field as the dialog reads it back (cut to fit).
void StoreSettingsFieldText(SettingsFieldTexts* texts, SettingsField field, const char* typed);

// Euclid with truncating remainder; GreatestCommonDivisor(a, 0) is a.
int32_t GreatestCommonDivisor(int32_t a, int32_t b);

// aspectNum:aspectDen reduced from width:height (8:5 shown as 16:10) and
// aspect from them, as when the dialog opens.
void ComputeDialogAspect(DemoSettingsRecord* s);

// The field texts for s: "%d", "%d", "%d", "%d:%d", "%2.2f".
void FormatSettingsFields(const DemoSettingsRecord& s, SettingsFieldTexts* texts);

// Reads the texts back into s the way sscanf does: a field that does not
// start with a number keeps its value, text after the number is ignored,
// brightness is limited to [-1, 1] and aspect becomes aspectNum / aspectDen.
void ParseSettingsFields(const SettingsFieldTexts& texts, DemoSettingsRecord* s);

// The first field whose value must not reach the window (size outside
// 1..16384, depth not 16/24/32, aspect or brightness not usable), or
// SettingsFieldNone.
SettingsField FindInvalidSetting(const DemoSettingsRecord& s);

// The sentence that tells the user what is wrong with that field.
const char* InvalidSettingMessage(SettingsField field);
