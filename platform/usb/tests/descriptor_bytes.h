// Descriptor bytes for the tests, written as a device would send them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace usbtest {

using Bytes = std::vector<std::uint8_t>;

// A descriptor of the given type whose bLength counts the body given.
inline Bytes descriptor(std::uint8_t type, std::initializer_list<std::uint8_t> body) {
    Bytes out{static_cast<std::uint8_t>(body.size() + 2), type};
    for (std::uint8_t byte : body) out.push_back(byte);
    return out;
}

// A class-specific interface descriptor (0x24) of a subtype.
inline Bytes classDescriptor(std::uint8_t subtype, std::initializer_list<std::uint8_t> body,
                             std::uint8_t type = 0x24) {
    Bytes out{static_cast<std::uint8_t>(body.size() + 3), type, subtype};
    for (std::uint8_t byte : body) out.push_back(byte);
    return out;
}

inline Bytes interface(std::uint8_t number, std::uint8_t alternate, std::uint8_t endpoints,
                       std::uint8_t interfaceClass, std::uint8_t subclass, std::uint8_t protocol) {
    return descriptor(0x04, {number, alternate, endpoints, interfaceClass, subclass, protocol, 0});
}

inline Bytes endpoint(std::uint8_t address, std::uint8_t attributes, std::uint16_t maxPacket,
                      std::uint8_t interval = 1) {
    return descriptor(0x05, {address, attributes, static_cast<std::uint8_t>(maxPacket),
                             static_cast<std::uint8_t>(maxPacket >> 8), interval});
}

// A configuration: its 9-byte header, wTotalLength covering the parts given.
inline Bytes configuration(const std::vector<Bytes>& parts, std::uint8_t interfaces = 1) {
    Bytes out{9, 0x02, 0, 0, interfaces, 1, 0, 0x80, 50};
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    out[2] = static_cast<std::uint8_t>(out.size());
    out[3] = static_cast<std::uint8_t>(out.size() >> 8);
    return out;
}

} // namespace usbtest
