#include "driver/devmodel/level_wire.h"

#include "driver/devmodel/feature_unit.h"
#include "platform/usb/audio_requests.h"
#include "platform/usb/little_endian.h"

#include <algorithm>

namespace {

std::int32_t Saturate(std::int64_t value, std::int32_t low, std::int32_t high) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, low, high));
}

} // namespace

std::uint32_t LevelBytes(std::uint8_t selector) {
    const bool tone = selector == feature_selector::bass || selector == feature_selector::mid ||
                      selector == feature_selector::treble;
    return tone ? 1 : 2;
}

std::int32_t ReadLevel(const std::uint8_t* bytes, std::uint32_t length, bool current) {
    if (length == 1) return static_cast<std::int8_t>(bytes[0]) * 16384;
    const auto raw = static_cast<std::uint16_t>(usb::readLittleEndian<2>({bytes, 2}, 0));
    if (current && raw == usb::volumeSilence) return MinusInfinity;
    return static_cast<std::int16_t>(raw) * 256;
}

std::uint32_t WriteLevel(std::uint8_t selector, std::int32_t value, std::uint8_t* bytes) {
    if (LevelBytes(selector) == 1) {
        bytes[0] = static_cast<std::uint8_t>(Saturate(value >> 14, -128, 127));
        return 1;
    }
    const std::uint16_t wire =
        value == MinusInfinity ? usb::volumeSilence
                               : static_cast<std::uint16_t>(Saturate(value >> 8, -0x7FFF, 0x7FFF));
    bytes[0] = static_cast<std::uint8_t>(wire);
    bytes[1] = static_cast<std::uint8_t>(wire >> 8);
    return 2;
}
