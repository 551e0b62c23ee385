#include "sim/os/pcm_format.h"

#include "platform/ks/wave_format.h"

namespace ossim {

ks::DataFormatWaveFormatExtensible pcmFormat(std::uint32_t rate, std::uint16_t bits,
                                             std::uint16_t channels, std::uint16_t validBits,
                                             std::uint32_t channelMask) {
    ks::DataFormatWaveFormatExtensible format{};
    const auto block = static_cast<std::uint16_t>(channels * bits / 8);
    format.DataFormat = {sizeof(ks::DataFormatWaveFormatExtensible),
                         0,
                         0,
                         0,
                         ks::KSDATAFORMAT_TYPE_AUDIO,
                         ks::KSDATAFORMAT_SUBTYPE_PCM,
                         ks::KSDATAFORMAT_SPECIFIER_WAVEFORMATEX};
    format.WaveFormatExt.Format = {
        ks::format_tag::extensible, channels, rate, rate * block, block, bits, 22};
    format.WaveFormatExt.wValidBitsPerSample = validBits != 0 ? validBits : bits;
    const std::uint32_t front = channels >= 32 ? ~0u : (1u << channels) - 1;
    format.WaveFormatExt.dwChannelMask = channelMask != 0 ? channelMask : front;
    format.WaveFormatExt.SubFormat = ks::KSDATAFORMAT_SUBTYPE_PCM;
    return format;
}

} // namespace ossim
