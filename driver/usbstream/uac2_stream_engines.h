// The stream engines of USB Audio Class 2 streaming interfaces: the sample
// rate is set on the clock source that clocks the interface, and the device
// tells which alternate settings it can run now.
#pragma once

#include "driver/usbstream/usb_stream_engine.h"

#include <cstdint>

// The base of both: the clock source's id and the alternate-setting query.
class CUac2StreamEngine : public CUsbStreamEngine {
public:
    CUac2StreamEngine(kernel::IUnknown* outer, std::uint8_t interfaceNumber,
                      std::uint32_t terminalId, std::uint32_t clockId)
        : CUsbStreamEngine(outer, interfaceNumber, terminalId), m_ulClockId(clockId) {}

    // Setting 0 always; any other when the device's valid-alternate-settings
    // control has its bit set. A reply too short to hold the bit, or a
    // refused request, says no.
    bool QueryReady(std::uint8_t alternateSetting) override;

    std::uint32_t GetClockId() const { return m_ulClockId; }

private:
    const std::uint32_t m_ulClockId;
};

class CUac2RenderStreamEngine : public CUac2StreamEngine {
public:
    using CUac2StreamEngine::CUac2StreamEngine;
};

class CUac2CaptureStreamEngine : public CUac2StreamEngine {
public:
    using CUac2StreamEngine::CUac2StreamEngine;
};
