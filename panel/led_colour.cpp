#include "panel/led_colour.h"

namespace panel {

std::uint8_t scaleLedChannel(std::uint8_t channel, std::uint8_t brightness) {
    const unsigned scaled = (10u * channel * brightness + 5u) / 130u;
    return static_cast<std::uint8_t>(scaled > 255u ? 255u : scaled);
}

LedColour scaledLedColour(std::span<const std::uint8_t, 256> b) {
    if (b[13] == 0) return {};
    const std::size_t at = 18u + 3u * b[17];
    if (at + 2 >= b.size()) return {};
    const std::uint8_t brightness = b[15];
    return {scaleLedChannel(b[at], brightness), scaleLedChannel(b[at + 1], brightness),
            scaleLedChannel(b[at + 2], brightness)};
}

} // namespace panel
