// The render engine of the chip models whose devices play two channels but
// whose clients play up to eight: the clients' packets are built at their
// format, run through the DSP chains and the limiter at that format, then
// only the first two channels of each frame go to the device. The clients
// hear of each transfer in their own format's bytes.
#pragma once

#include "driver/usbstream/uac1_stream_engines.h"

#include <cstdint>

class CEffectRenderStreamEngine : public CUac1RenderStreamEngine {
public:
    using CUac1RenderStreamEngine::CUac1RenderStreamEngine;

    // Every format the engine took: its multichannel formats are its point,
    // whatever endpoint type it plays as.
    std::uint32_t GetFormatCount() override { return AllFormats().Count(); }
    kernel::NTSTATUS GetFormat(std::uint32_t index, ks::WaveFormatExtensible* record) override {
        return AllFormats().Get(index, record);
    }

protected:
    std::uint32_t ShapeRenderTransfer(std::uint8_t* buffer, usb::IsochronousTransfer* urb,
                                      std::uint32_t bytes) override;
    std::uint32_t ClientBytesOf(std::uint32_t deviceBytes) override;

private:
    // How many times larger a client frame is than the device's: channels
    // / 2 for an even count of at least two, else 1 (sent as it is).
    std::uint32_t ReductionFactor() const;
};
