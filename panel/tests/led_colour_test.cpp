#include "panel/led_colour.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using panel::LedColour;

struct LedCase {
    const char* name;
    std::uint8_t enable, brightness, selected;
    std::array<std::uint8_t, 3> colour; // stored red, green, blue
    LedColour expected;
};

TEST(LedColour, SelectedColourIsScaledByBrightness) {
    const LedCase cases[] = {
        {"full brightness code", 1, 9, 0, {255, 128, 0}, {176, 88, 0}},
        {"brightness 0 is dark", 1, 0, 0, {255, 255, 255}, {0, 0, 0}},
        {"rounding half up", 1, 1, 6, {13, 12, 26}, {1, 0, 2}},
        {"LEDs off", 0, 9, 0, {255, 128, 0}, {0, 0, 0}},
        {"last colour slot", 1, 5, 6, {26, 52, 78}, {10, 20, 30}},
        {"selection beyond the block", 1, 9, 200, {255, 255, 255}, {0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::array<std::uint8_t, 256> block{};
        block[13] = c.enable;
        block[15] = c.brightness;
        block[17] = c.selected;
        const std::size_t at = 18u + 3u * (c.selected < 7 ? c.selected : 0);
        std::copy(c.colour.begin(), c.colour.end(), block.begin() + at);
        EXPECT_EQ(panel::scaledLedColour(block), c.expected);
    }
}

TEST(LedColour, ABrightnessBeyondThePagesCodesSaturates) {
    EXPECT_EQ(panel::scaleLedChannel(255, 255), 255);
    EXPECT_EQ(panel::scaleLedChannel(255, 13), 255);
}

} // namespace
