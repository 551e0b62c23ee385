// The render engine of a chip with a processing register that follows the
// stream: each prepared format tells register 0 its rate and whether it is
// PCM or a compressed bit stream. By its endpoint type the engine also
// offers a 96 kHz stereo format (headphones, S/PDIF) and AC-3 pass-through
// (S/PDIF only).
#pragma once

#include "driver/usbstream/chip_registers.h"
#include "driver/usbstream/uac1_stream_engines.h"

#include <cstdint>

inline constexpr std::uint16_t DolbyAc3SpdifTag = 0x0092;

class CUac1ProcessingRenderStreamEngine : public CUac1RenderStreamEngine {
public:
    using CUac1RenderStreamEngine::CUac1RenderStreamEngine;

    // InitStream, then the registers the prepares write (kept on success).
    kernel::NTSTATUS InitProcessingStream(std::uint32_t direction, kernel::IUnknown* adapter,
                                          IChipRegisters* registers);

    // A renaming follows every output-type switch: the formats follow the
    // endpoint type it gives. Formats already listed are not listed twice.
    kernel::NTSTATUS SetName(const char16_t* text) override;
    kernel::NTSTATUS PrepareFormat(UsbStreamClientRecord* record,
                                   std::uint32_t* frameValue) override;

private:
    kernel::NTSTATUS OfferFormat(const ks::WaveFormatExtensible& format,
                                 std::uint8_t alternateSetting);
    void WriteFormatRegister(const ks::WaveFormatExtensible& format);

    IChipRegisters* m_pRegisters = nullptr;
};
