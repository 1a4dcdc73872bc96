// Fuzz target: any bytes as the dialog's five fields (split at newlines).
// Whatever is accepted must be usable and survive being shown again.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "setup/settings.h"

namespace {
void Require(bool holds) {
    if (!holds)
        std::abort();
}

bool SameRecord(const DemoSettingsRecord& a, const DemoSettingsRecord& b) {
    return a.width == b.width && a.height == b.height && a.colorBits == b.colorBits &&
           a.aspectNum == b.aspectNum && a.aspectDen == b.aspectDen && a.aspect == b.aspect &&
           a.brightness == b.brightness;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    DemoSettingsRecord s;
    SettingsFieldTexts texts;
    FormatSettingsFields(s, &texts);
    size_t start = 0;
    for (int field = 0; field < SettingsFieldCount && start <= input.size(); ++field) {
        size_t end = input.find('\n', start);
        if (end == std::string::npos)
            end = input.size();
        StoreSettingsFieldText(&texts, static_cast<SettingsField>(field),
                               input.substr(start, end - start).c_str());
        start = end + 1;
    }
    ParseSettingsFields(texts, &s);
    if (FindInvalidSetting(s) != SettingsFieldNone)
        return 0;
    Require(s.width >= 1 && s.width <= 16384 && s.height >= 1 && s.height <= 16384);
    Require(s.aspectNum >= 1 && s.aspectDen >= 1 && std::isfinite(s.aspect) && s.aspect > 0);
    Require(s.brightness >= -1 && s.brightness <= 1);
    // Shown with two decimals, brightness settles after one round (moving by
    // half a hundredth at most); from then on the record formats and parses
    // back to itself.
    DemoSettingsRecord accepted = s;
    FormatSettingsFields(s, &texts);
    ParseSettingsFields(texts, &s);
    Require(std::fabs(s.brightness - accepted.brightness) <= 0.0051f);
    s.brightness = accepted.brightness;
    Require(SameRecord(accepted, s));
    FormatSettingsFields(accepted, &texts);
    ParseSettingsFields(texts, &s);
    DemoSettingsRecord again = s;
    FormatSettingsFields(s, &texts);
    ParseSettingsFields(texts, &again);
    Require(SameRecord(again, s) && FindInvalidSetting(again) == SettingsFieldNone);
    return 0;
}
