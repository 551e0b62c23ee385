#include "driver/usbstream/effect_render_stream_engine.h"

#include <cstring>

std::uint32_t CEffectRenderStreamEngine::ReductionFactor() const {
    const ks::WaveFormatEx& format = m_UsbFormat.Format;
    const std::uint32_t channels = format.nChannels;
    if (channels < 2 || channels % 2 != 0 || format.wBitsPerSample == 0 ||
        format.nBlockAlign != channels * (format.wBitsPerSample / 8u))
        return 1;
    return channels / 2;
}

// Frames are packed from the start of the buffer: each destination lies
// at or before its source, so moving them in order is safe.
std::uint32_t CEffectRenderStreamEngine::ShapeRenderTransfer(std::uint8_t* buffer,
                                                             usb::IsochronousTransfer* urb,
                                                             std::uint32_t bytes) {
    const std::uint32_t factor = ReductionFactor();
    if (factor == 1) return bytes;
    const std::uint32_t frameBytes = m_UsbFormat.Format.nBlockAlign;
    const std::uint32_t keptBytes = frameBytes / factor;
    const std::uint32_t frames = bytes / frameBytes;
    for (std::uint32_t frame = 1; frame < frames; ++frame)
        std::memmove(buffer + std::size_t{frame} * keptBytes,
                     buffer + std::size_t{frame} * frameBytes, keptBytes);
    for (std::uint32_t i = 0; i < urb->numberOfPackets; ++i) {
        urb->packets()[i].offset /= factor;
        urb->packets()[i].length /= factor;
    }
    return bytes / factor;
}

std::uint32_t CEffectRenderStreamEngine::ClientBytesOf(std::uint32_t deviceBytes) {
    return deviceBytes * ReductionFactor();
}
