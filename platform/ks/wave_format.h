// The wave format records that streams, pins and data ranges carry: the
// 18-byte basic record and the 40-byte extensible one, whose sub-format
// identifier names the sample encoding. Both cross the interface between the
// port layer, the driver and user mode, so they are pinned byte for byte.
#pragma once

#include "platform/kernel/guid.h"

#include <cstddef>
#include <cstdint>

namespace ks {

namespace format_tag {
inline constexpr std::uint16_t pcm = 0x0001;
inline constexpr std::uint16_t ieeeFloat = 0x0003;
inline constexpr std::uint16_t extensible = 0xFFFE;
} // namespace format_tag

#pragma pack(push, 1)
struct WaveFormatEx {
    std::uint16_t wFormatTag;
    std::uint16_t nChannels;
    std::uint32_t nSamplesPerSec;
    std::uint32_t nAvgBytesPerSec;
    std::uint16_t nBlockAlign; // bytes of one frame, every channel
    std::uint16_t wBitsPerSample;
    std::uint16_t cbSize; // bytes that follow the basic record
};
#pragma pack(pop)

struct WaveFormatExtensible {
    WaveFormatEx Format; // wFormatTag extensible, cbSize 22
    std::uint16_t wValidBitsPerSample;
    std::uint32_t dwChannelMask;
    kernel::Guid SubFormat; // the encoding; its first 16 bits are the basic format tag
};

static_assert(sizeof(WaveFormatEx) == 18 && offsetof(WaveFormatEx, nSamplesPerSec) == 4 &&
              offsetof(WaveFormatEx, nBlockAlign) == 12 && offsetof(WaveFormatEx, cbSize) == 16);
static_assert(sizeof(WaveFormatExtensible) == 40 &&
              offsetof(WaveFormatExtensible, wValidBitsPerSample) == 18 &&
              offsetof(WaveFormatExtensible, dwChannelMask) == 20 &&
              offsetof(WaveFormatExtensible, SubFormat) == 24);

// Sub-formats are the basic tag in the first 32 bits of one fixed identifier.
constexpr kernel::Guid subFormatOf(std::uint16_t tag) {
    return {tag, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}
inline constexpr kernel::Guid KSDATAFORMAT_SUBTYPE_PCM = subFormatOf(format_tag::pcm);
inline constexpr kernel::Guid KSDATAFORMAT_SUBTYPE_IEEE_FLOAT = subFormatOf(format_tag::ieeeFloat);

// The tag a record stands for: the sub-format's first 16 bits for an
// extensible record, its own tag otherwise.
inline std::uint16_t effectiveFormatTag(const WaveFormatExtensible& format) {
    if (format.Format.wFormatTag == format_tag::extensible)
        return static_cast<std::uint16_t>(format.SubFormat.data1 & 0xFFFF);
    return format.Format.wFormatTag;
}

} // namespace ks
