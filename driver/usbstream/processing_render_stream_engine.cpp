#include "driver/usbstream/processing_render_stream_engine.h"

#include "driver/engine/endpoint_terminals.h"

namespace {

constexpr std::uint32_t SpeakerEndpointType = 1;
constexpr std::uint32_t FormatRegister = 0;
constexpr std::uint16_t RateMask = 0x7000;
constexpr std::uint16_t BitStreamMask = 0x0002;
constexpr std::uint8_t AnySpeakerSetting = 5; // the playback setting of 96 kHz
constexpr std::uint8_t Ac3Setting = 2;

struct RateCode {
    std::uint32_t rate;
    std::uint16_t code;
};
constexpr RateCode RateCodes[] = {{44100, 0x0000}, {48000, 0x2000}, {96000, 0x6000}};

// Stereo, 16 bits in 4-byte frames, extensible.
ks::WaveFormatExtensible StereoFormat(std::uint32_t rate, std::uint16_t subFormatTag,
                                      std::uint16_t cbSize, std::uint32_t channelMask) {
    ks::WaveFormatExtensible format{};
    format.Format.wFormatTag = ks::format_tag::extensible;
    format.Format.nChannels = 2;
    format.Format.nSamplesPerSec = rate;
    format.Format.nAvgBytesPerSec = rate * 4;
    format.Format.nBlockAlign = 4;
    format.Format.wBitsPerSample = 16;
    format.Format.cbSize = cbSize;
    format.wValidBitsPerSample = 16;
    format.dwChannelMask = channelMask;
    format.SubFormat = ks::subFormatOf(subFormatTag);
    return format;
}

// The AC-3 entries have cbSize 0: a request matches them on its first 18
// bytes.
ks::WaveFormatExtensible Ac3Format(std::uint32_t rate) {
    return StereoFormat(rate, DolbyAc3SpdifTag, 0, 0);
}

constexpr std::uint32_t FrontPair = 0x3;

} // namespace

kernel::NTSTATUS CUac1ProcessingRenderStreamEngine::InitProcessingStream(
    std::uint32_t direction, kernel::IUnknown* adapter, IChipRegisters* registers) {
    const kernel::NTSTATUS status = InitStream(direction, adapter);
    if (kernel::succeeded(status)) m_pRegisters = registers;
    return status;
}

kernel::NTSTATUS
CUac1ProcessingRenderStreamEngine::OfferFormat(const ks::WaveFormatExtensible& format,
                                               std::uint8_t alternateSetting) {
    if (HasUsbFormat(format, alternateSetting)) return kernel::STATUS_SUCCESS;
    return AddUsbFormat(&format, alternateSetting);
}

kernel::NTSTATUS CUac1ProcessingRenderStreamEngine::SetName(const char16_t* text) {
    kernel::NTSTATUS status = CUac1RenderStreamEngine::SetName(text);
    if (!kernel::succeeded(status)) return status;
    const std::uint32_t type = GetEndpointType();
    if (type != SpeakerEndpointType && type != endpoint_type::headphones &&
        type != endpoint_type::digitalOut)
        return status;
    RemoveUsbFormatsOfTag(DolbyAc3SpdifTag);
    if (type == endpoint_type::digitalOut)
        for (std::uint32_t rate : {44100u, 48000u, 96000u}) {
            const std::uint8_t setting = rate == 96000 ? AnySpeakerSetting : Ac3Setting;
            if (kernel::succeeded(status)) status = OfferFormat(Ac3Format(rate), setting);
        }
    if (type != SpeakerEndpointType && kernel::succeeded(status))
        status =
            OfferFormat(StereoFormat(96000, ks::format_tag::pcm, 22, FrontPair), AnySpeakerSetting);
    return status;
}

void CUac1ProcessingRenderStreamEngine::WriteFormatRegister(
    const ks::WaveFormatExtensible& format) {
    if (m_pRegisters == nullptr) return;
    for (const RateCode& entry : RateCodes)
        if (entry.rate == format.Format.nSamplesPerSec)
            m_pRegisters->WriteRegister(FormatRegister, entry.code, RateMask);
    const bool pcm = ks::effectiveFormatTag(format) == ks::format_tag::pcm;
    m_pRegisters->WriteRegister(FormatRegister, pcm ? 0 : BitStreamMask, BitStreamMask);
}

kernel::NTSTATUS CUac1ProcessingRenderStreamEngine::PrepareFormat(UsbStreamClientRecord* record,
                                                                  std::uint32_t* frameValue) {
    const kernel::NTSTATUS status = CUac1RenderStreamEngine::PrepareFormat(record, frameValue);
    if (kernel::succeeded(status)) WriteFormatRegister(record->Format);
    return status;
}
