// The stream engines of USB Audio Class 1 streaming interfaces: the
// sampling frequency is set on the data endpoint, packets are sized from the
// nominal rate.
#pragma once

#include "driver/usbstream/usb_stream_engine.h"

#include <cstdint>

class CUac1RenderStreamEngine : public CUsbStreamEngine {
public:
    CUac1RenderStreamEngine(kernel::IUnknown* outer, std::uint8_t interfaceNumber,
                            std::uint32_t terminalId)
        : CUsbStreamEngine(outer, interfaceNumber, terminalId) {}
};

class CUac1CaptureStreamEngine : public CUsbStreamEngine {
public:
    CUac1CaptureStreamEngine(kernel::IUnknown* outer, std::uint8_t interfaceNumber,
                             std::uint32_t terminalId)
        : CUsbStreamEngine(outer, interfaceNumber, terminalId) {}
};
