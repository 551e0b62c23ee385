#include "driver/effects/float_format.h"

ks::WaveFormatExtensible FloatDescription(const ks::WaveFormatExtensible& format) {
    if (ks::effectiveFormatTag(format) == ks::format_tag::ieeeFloat) return format;
    ks::WaveFormatExtensible described = format;
    if (format.Format.wFormatTag == ks::format_tag::extensible) {
        described.SubFormat = ks::KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
        described.wValidBitsPerSample = 32;
    } else {
        described.Format.wFormatTag = ks::format_tag::ieeeFloat;
    }
    described.Format.wBitsPerSample = 32;
    described.Format.nBlockAlign = static_cast<std::uint16_t>(format.Format.nChannels * 4u);
    described.Format.nAvgBytesPerSec =
        static_cast<std::uint32_t>(described.Format.nBlockAlign) * format.Format.nSamplesPerSec;
    return described;
}
