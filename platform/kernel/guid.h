// 16-byte identifiers in their registry text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
// The layout crosses outside boundaries (property sets, interface classes,
// format records), so it is pinned byte for byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kernel {

struct Guid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::array<std::uint8_t, 8> data4;

    friend constexpr bool operator==(const Guid&, const Guid&) = default;
};

static_assert(sizeof(Guid) == 16);
static_assert(offsetof(Guid, data2) == 4 && offsetof(Guid, data3) == 6 &&
              offsetof(Guid, data4) == 8);

namespace detail {

constexpr int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

constexpr std::optional<std::uint64_t> hexField(std::string_view text, std::size_t at,
                                                std::size_t digits) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const int digit = hexValue(text[at + i]);
        if (digit < 0) return std::nullopt;
        value = value * 16 + static_cast<std::uint64_t>(digit);
    }
    return value;
}

void guidTextIsMalformed(); // never defined: reaching it in a constant expression fails the build

} // namespace detail

// Parses the braced text form; nothing else (no missing braces, no blanks) is accepted.
constexpr std::optional<Guid> parseGuid(std::string_view text) {
    if (text.size() != 38 || text[0] != '{' || text[37] != '}') return std::nullopt;
    for (std::size_t dash : {9u, 14u, 19u, 24u})
        if (text[dash] != '-') return std::nullopt;

    const auto d1 = detail::hexField(text, 1, 8);
    const auto d2 = detail::hexField(text, 10, 4);
    const auto d3 = detail::hexField(text, 15, 4);
    if (!d1 || !d2 || !d3) return std::nullopt;

    Guid guid{static_cast<std::uint32_t>(*d1),
              static_cast<std::uint16_t>(*d2),
              static_cast<std::uint16_t>(*d3),
              {}};
    constexpr std::size_t byteAt[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (std::size_t i = 0; i < 8; ++i) {
        const auto byte = detail::hexField(text, byteAt[i], 2);
        if (!byte) return std::nullopt;
        guid.data4[i] = static_cast<std::uint8_t>(*byte);
    }
    return guid;
}

// For identifiers written in the source: malformed text does not compile.
consteval Guid makeGuid(std::string_view text) {
    const std::optional<Guid> guid = parseGuid(text);
    if (!guid) detail::guidTextIsMalformed();
    return *guid;
}

} // namespace kernel
