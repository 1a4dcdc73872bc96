// The brightness ramp's tables: a line through 0, clipped at 65535.
#include <gtest/gtest.h>

#include "setup/render_state.h"

namespace {
struct RampCase {
    float brightness;
    int step;
    int firstClipped;  // 256 when no level reaches 65535
};
}  // namespace

TEST(BrightnessRamp, StepsAndClippingFollowBrightness) {
    const RampCase cases[] = {
        {0.5f, 319, 206}, {-0.5f, 191, 256}, {1.0f, 383, 172}, {-1.0f, 128, 256}, {0.0f, 255, 256}};
    for (const RampCase& c : cases) {
        SCOPED_TRACE(c.brightness);
        uint16_t ramp[256];
        BuildBrightnessRamp(c.brightness, ramp);
        for (int i = 0; i < 256; ++i) {
            int expected = i < c.firstClipped ? i * c.step : 65535;
            ASSERT_EQ(ramp[i], expected) << "level " << i;
        }
    }
}
