#pragma once

// The LED colour the headset gets from an option block: the selected colour
// scaled by the brightness, or black while the LEDs are off.

#include <array>
#include <cstdint>
#include <span>

namespace panel {

struct LedColour {
    std::uint8_t red = 0, green = 0, blue = 0;
    bool operator==(const LedColour&) const = default;
};

// Option block bytes: 13 LED enable, 15 brightness, 17 selected colour,
// colour k at 18 + 3k (red, green, blue). A selected colour beyond the block
// gives black.
LedColour scaledLedColour(std::span<const std::uint8_t, 256> optionBlock);

// (10 x c x brightness + 5) / 130.
std::uint8_t scaleLedChannel(std::uint8_t channel, std::uint8_t brightness);

} // namespace panel
