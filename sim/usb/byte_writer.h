// Appends descriptor bytes: little-endian fields, and descriptors whose
// bLength is written once their body is.
#pragma once

#include "sim/usb/function_description.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace usbsim {

class ByteWriter {
public:
    void u8(std::uint32_t v) { m_bytes.push_back(static_cast<std::uint8_t>(v)); }
    void u16(std::uint32_t v) { little(v, 2); }
    void u24(std::uint32_t v) { little(v, 3); }
    void u32(std::uint32_t v) { little(v, 4); }
    void bytes(std::span<const std::uint8_t> data) {
        m_bytes.insert(m_bytes.end(), data.begin(), data.end());
    }

    // A descriptor: bLength, bDescriptorType, then what `body` writes.
    template <class Body> void descriptor(std::uint8_t type, Body&& body) {
        const std::size_t at = m_bytes.size();
        u8(0);
        u8(type);
        body();
        const std::size_t length = m_bytes.size() - at;
        if (length > 255) throw std::invalid_argument("a descriptor longer than 255 bytes");
        m_bytes[at] = static_cast<std::uint8_t>(length);
    }

    // Writes a 16-bit value over bytes already written.
    void patch16(std::size_t at, std::size_t value) {
        if (value > 0xFFFF) throw std::invalid_argument("a total length beyond 16 bits");
        m_bytes[at] = static_cast<std::uint8_t>(value);
        m_bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
    }

    std::size_t size() const { return m_bytes.size(); }
    Bytes take() { return std::move(m_bytes); }

private:
    void little(std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) u8(v >> (8 * i));
    }
    Bytes m_bytes;
};

} // namespace usbsim
