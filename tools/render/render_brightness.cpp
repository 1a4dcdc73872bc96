// Brightness of captures through the engine's own ramp tables.
#include "render_brightness.h"

#include "setup/render_state.h"

BrightnessTable MakeBrightnessTable(float b) {
    BrightnessTable table;
    table.identity = b == 0.0f;
    uint16_t ramp[256];
    BuildBrightnessRamp(b, ramp);
    for (int i = 0; i < 256; ++i)
        table.level[i] = static_cast<uint8_t>(table.identity ? i : (ramp[i] + 128) / 257);
    return table;
}

void ApplyBrightness(const BrightnessTable& table, Picture* picture) {
    if (table.identity)
        return;
    for (uint8_t& byte : picture->rgb) byte = table.level[byte];
}
