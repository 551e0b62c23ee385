// Stream formats for the tests of the DSP host and its nodes.
#pragma once

#include "platform/ks/wave_format.h"

#include <cstdint>

// A basic record of the tag; frames hold one container of `bits` per channel.
inline ks::WaveFormatExtensible TestWaveFormat(std::uint16_t tag, std::uint16_t channels,
                                               std::uint16_t bits, std::uint32_t rate = 48000) {
    ks::WaveFormatExtensible format{};
    format.Format.wFormatTag = tag;
    format.Format.nChannels = channels;
    format.Format.nSamplesPerSec = rate;
    format.Format.wBitsPerSample = bits;
    format.Format.nBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    format.Format.nAvgBytesPerSec = format.Format.nBlockAlign * rate;
    return format;
}

inline ks::WaveFormatExtensible TestPcmFormat(std::uint16_t channels, std::uint16_t bits,
                                              std::uint32_t rate = 48000) {
    return TestWaveFormat(ks::format_tag::pcm, channels, bits, rate);
}

// The extensible record of a sub-format, with its valid bits.
inline ks::WaveFormatExtensible TestExtensibleFormat(std::uint16_t subFormatTag,
                                                     std::uint16_t channels, std::uint16_t bits,
                                                     std::uint16_t validBits) {
    ks::WaveFormatExtensible format = TestWaveFormat(ks::format_tag::extensible, channels, bits);
    format.Format.cbSize = 22;
    format.wValidBitsPerSample = validBits;
    format.SubFormat = ks::subFormatOf(subFormatTag);
    return format;
}
