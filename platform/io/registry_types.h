// Registry value types and the partial-information record a value query
// fills. Both cross the boundary to every registry client, so their numbers
// and layout are fixed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace io {

using RegistryValueType = std::uint32_t;

inline constexpr RegistryValueType REG_NONE = 0;
inline constexpr RegistryValueType REG_SZ = 1;
inline constexpr RegistryValueType REG_EXPAND_SZ = 2;
inline constexpr RegistryValueType REG_BINARY = 3;
inline constexpr RegistryValueType REG_DWORD = 4;
inline constexpr RegistryValueType REG_DWORD_BIG_ENDIAN = 5;
inline constexpr RegistryValueType REG_LINK = 6;
inline constexpr RegistryValueType REG_MULTI_SZ = 7;
inline constexpr RegistryValueType REG_RESOURCE_LIST = 8;
inline constexpr RegistryValueType REG_FULL_RESOURCE_DESCRIPTOR = 9;
inline constexpr RegistryValueType REG_RESOURCE_REQUIREMENTS_LIST = 10;
inline constexpr RegistryValueType REG_QWORD = 11;

// A value's type, its data length and its data. The record is declared with
// one byte of data, so it takes 16 bytes with padding, but the data starts
// at byte 12: a query needs 12 bytes for the header and 12 + data length for
// the whole value.
struct KeyValuePartialInformation {
    std::uint32_t titleIndex;
    std::uint32_t type;
    std::uint32_t dataLength;
    std::uint8_t data[1];
};

static_assert(offsetof(KeyValuePartialInformation, titleIndex) == 0);
static_assert(offsetof(KeyValuePartialInformation, type) == 4);
static_assert(offsetof(KeyValuePartialInformation, dataLength) == 8);
static_assert(offsetof(KeyValuePartialInformation, data) == 12);
static_assert(sizeof(KeyValuePartialInformation) == 16);

inline constexpr std::uint32_t partialInformationHeaderBytes =
    offsetof(KeyValuePartialInformation, data);

} // namespace io
