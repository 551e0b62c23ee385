// Data formats and data ranges: the head every format and range starts with
// (size, flags, sample size, major format, sub-format, specifier), the audio
// range a streaming pin offers, the format a pin is created with (the head
// followed by a wave format record), and the attribute list that may follow
// a range or a format (the audio signal-processing mode). The head is
// aligned to 8 bytes, so a record built on it is padded to a multiple of 8;
// the size a record announces counts only its bytes.
#pragma once

#include "platform/kernel/guid.h"
#include "platform/ks/wave_format.h"

#include <cstddef>
#include <cstdint>

namespace ks {

// Flags of a format or a range.
namespace data_flags {
// An attribute list follows: after a range in the pin's range table, after a
// format at its size rounded up to 8.
inline constexpr std::uint32_t attributes = 0x00000002;
} // namespace data_flags

struct alignas(8) DataFormat {
    std::uint32_t FormatSize; // bytes of the whole record
    std::uint32_t Flags;
    std::uint32_t SampleSize; // bytes of one frame; 0 when it varies
    std::uint32_t Reserved;
    kernel::Guid MajorFormat;
    kernel::Guid SubFormat;
    kernel::Guid Specifier; // how the bytes after the head read
};
static_assert(sizeof(DataFormat) == 64 && offsetof(DataFormat, MajorFormat) == 16 &&
              offsetof(DataFormat, SubFormat) == 32 && offsetof(DataFormat, Specifier) == 48);

using DataRange = DataFormat;

// What a pin offers of audio formats: a channel limit and bit and rate spans.
struct DataRangeAudio {
    ks::DataRange DataRange;
    std::uint32_t MaximumChannels;
    std::uint32_t MinimumBitsPerSample;
    std::uint32_t MaximumBitsPerSample;
    std::uint32_t MinimumSampleFrequency;
    std::uint32_t MaximumSampleFrequency;
};
static_assert(sizeof(DataRangeAudio) == 88 && offsetof(DataRangeAudio, MaximumChannels) == 64 &&
              offsetof(DataRangeAudio, MaximumSampleFrequency) == 80);

// A format with the basic wave record after the head: 82 bytes announced.
struct DataFormatWaveFormatEx {
    ks::DataFormat DataFormat;
    ks::WaveFormatEx WaveFormatEx;
};
inline constexpr std::uint32_t dataFormatWaveFormatExSize = 64 + sizeof(WaveFormatEx);
static_assert(offsetof(DataFormatWaveFormatEx, WaveFormatEx) == 64 &&
              dataFormatWaveFormatExSize == 82);

// A format with the extensible wave record after the head: 104 bytes.
struct DataFormatWaveFormatExtensible {
    ks::DataFormat DataFormat;
    WaveFormatExtensible WaveFormatExt;
};
static_assert(sizeof(DataFormatWaveFormatExtensible) == 104 &&
              offsetof(DataFormatWaveFormatExtensible, WaveFormatExt) == 64);

// A list of items: its whole size in bytes, then the count; the items follow.
struct MultipleItem {
    std::uint32_t Size;
    std::uint32_t Count;
};
static_assert(sizeof(MultipleItem) == 8);

// One attribute of a format or range; its data follows in Size bytes.
struct Attribute {
    std::uint32_t Size;
    std::uint32_t Flags;
    kernel::Guid Attribute;
};
static_assert(sizeof(Attribute) == 24 && offsetof(Attribute, Attribute) == 8);

// Flags of an attribute.
namespace attribute_flags {
inline constexpr std::uint32_t required = 0x00000001;
} // namespace attribute_flags

// The signal-processing mode a stream asks for.
struct AudioSignalProcessingModeAttribute {
    Attribute AttributeHeader;
    kernel::Guid SignalProcessingMode;
};
static_assert(sizeof(AudioSignalProcessingModeAttribute) == 40 &&
              offsetof(AudioSignalProcessingModeAttribute, SignalProcessingMode) == 24);

inline constexpr kernel::Guid KSATTRIBUTEID_AUDIOSIGNALPROCESSING_MODE =
    kernel::makeGuid("{E1F89EB5-5F46-419B-967B-FF6770B98401}");
// The mode without processing; the only one the driver's streams offer.
inline constexpr kernel::Guid AUDIO_SIGNALPROCESSING_MODE_RAW =
    kernel::makeGuid("{9E90EA20-B493-4FD1-A1A8-7E1361A956CF}");

// Major formats, sub-formats besides the wave ones, and specifiers.
inline constexpr kernel::Guid KSDATAFORMAT_TYPE_AUDIO =
    kernel::makeGuid("{113C45DB-9958-4579-9F9A-0C887C0C523A}");
// The format of a bridge pin: an analog connection, no samples.
inline constexpr kernel::Guid KSDATAFORMAT_SUBTYPE_ANALOG =
    kernel::makeGuid("{B49DD754-9EF8-4441-8558-07F1C022C2DA}");
inline constexpr kernel::Guid KSDATAFORMAT_SPECIFIER_NONE =
    kernel::makeGuid("{D8B6E0D0-18C7-4A75-9875-E7748C7F3C5A}");
// A wave format record follows the head.
inline constexpr kernel::Guid KSDATAFORMAT_SPECIFIER_WAVEFORMATEX =
    kernel::makeGuid("{412FBB04-9ACB-417B-BEA9-D52182951487}");
// A sound-buffer description follows the head (not offered by the driver).
inline constexpr kernel::Guid KSDATAFORMAT_SPECIFIER_DSOUND =
    kernel::makeGuid("{6F205D90-A989-4AF3-B7B5-771E9B0FD5B1}");

// Multiples of 8 at which lists follow a record.
constexpr std::uint32_t alignUp8(std::uint32_t bytes) { return (bytes + 7u) & ~7u; }

} // namespace ks
