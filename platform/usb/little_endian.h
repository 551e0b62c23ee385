// Multi-byte fields of records that cross the wire: stored as little-endian
// bytes whatever the host order, so a record made of them has alignment 1,
// no padding, and the same bytes on every platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace usb {

// Reads an N-byte little-endian value at `at`; the caller has checked that
// the bytes are there.
template <std::size_t N>
constexpr std::uint32_t readLittleEndian(std::span<const std::uint8_t> bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < N; ++i) v |= static_cast<std::uint32_t>(bytes[at + i]) << (8 * i);
    return v;
}

template <std::size_t N> struct LittleEndian {
    static_assert(N >= 2 && N <= 4);
    std::uint8_t bytes[N];

    constexpr std::uint32_t value() const { return readLittleEndian<N>(bytes, 0); }
    // Bits above the field's width are dropped.
    constexpr void set(std::uint32_t v) {
        for (std::size_t i = 0; i < N; ++i) bytes[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    static constexpr LittleEndian of(std::uint32_t v) {
        LittleEndian field{};
        field.set(v);
        return field;
    }
};

using Le16 = LittleEndian<2>;
using Le24 = LittleEndian<3>; // the 3-byte sampling frequencies of audio class 1
using Le32 = LittleEndian<4>;

static_assert(sizeof(Le16) == 2 && alignof(Le16) == 1);
static_assert(sizeof(Le24) == 3 && sizeof(Le32) == 4);

} // namespace usb
