// The 8-byte setup packet of a control transfer, as it crosses the wire,
// and the standard requests every device answers.
#pragma once

#include "platform/usb/little_endian.h"

#include <cstddef>
#include <cstdint>

namespace usb {

struct SetupPacket {
    std::uint8_t bmRequestType; // bit 7 direction, bits 5-6 type, bits 0-4 recipient
    std::uint8_t bRequest;
    Le16 wValue;
    Le16 wIndex;
    Le16 wLength;
};
static_assert(sizeof(SetupPacket) == 8 && alignof(SetupPacket) == 1);
static_assert(offsetof(SetupPacket, wValue) == 2 && offsetof(SetupPacket, wIndex) == 4 &&
              offsetof(SetupPacket, wLength) == 6);

enum class Direction : std::uint8_t { out = 0x00, in = 0x80 };
enum class RequestType : std::uint8_t { standard = 0x00, classSpecific = 0x20, vendor = 0x40 };
enum class Recipient : std::uint8_t { device = 0, interface = 1, endpoint = 2, other = 3 };

constexpr std::uint8_t requestTypeByte(Direction direction, RequestType type, Recipient recipient) {
    return static_cast<std::uint8_t>(static_cast<unsigned>(direction) |
                                     static_cast<unsigned>(type) |
                                     static_cast<unsigned>(recipient));
}

constexpr SetupPacket makeSetupPacket(Direction direction, RequestType type, Recipient recipient,
                                      std::uint8_t request, std::uint16_t value,
                                      std::uint16_t index, std::uint16_t length) {
    return {requestTypeByte(direction, type, recipient), request, Le16::of(value), Le16::of(index),
            Le16::of(length)};
}

constexpr Direction directionOf(const SetupPacket& setup) {
    return static_cast<Direction>(setup.bmRequestType & 0x80);
}
// Type 3 is reserved; it reads as itself and matches no named type.
constexpr RequestType typeOf(const SetupPacket& setup) {
    return static_cast<RequestType>(setup.bmRequestType & 0x60);
}
// Recipients 4 to 31 are reserved; they read as themselves.
constexpr Recipient recipientOf(const SetupPacket& setup) {
    return static_cast<Recipient>(setup.bmRequestType & 0x1F);
}

namespace standard_request {
inline constexpr std::uint8_t getStatus = 0;
inline constexpr std::uint8_t clearFeature = 1;
inline constexpr std::uint8_t setFeature = 3;
inline constexpr std::uint8_t setAddress = 5;
inline constexpr std::uint8_t getDescriptor = 6;
inline constexpr std::uint8_t setDescriptor = 7;
inline constexpr std::uint8_t getConfiguration = 8;
inline constexpr std::uint8_t setConfiguration = 9;
inline constexpr std::uint8_t getInterface = 10;
inline constexpr std::uint8_t setInterface = 11;
inline constexpr std::uint8_t synchFrame = 12;
} // namespace standard_request

namespace feature_selector {
inline constexpr std::uint16_t endpointHalt = 0;
inline constexpr std::uint16_t deviceRemoteWakeup = 1;
} // namespace feature_selector

// Language of the strings the driver reads.
inline constexpr std::uint16_t languageEnglishUs = 0x0409;

} // namespace usb
