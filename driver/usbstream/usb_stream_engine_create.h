// Creation of the USB stream engines, for the device-model walks: each
// returns the engine with one reference (the creator's), not yet
// initialised; InitStream is the creator's next step.
#pragma once

#include "driver/usbstream/usb_stream_engine.h"

#include <cstdint>

// effectRender: a release-1 render engine that takes multichannel clients
// and sends their first two channels.
// processingRender: a release-1 render engine that tells a chip register
// what each prepared format carries (InitProcessingStream gives the chip).
enum class UsbStreamKind {
    uac1Render,
    uac1Capture,
    uac2Render,
    uac2Capture,
    effectRender,
    processingRender
};

// `terminalId` is the terminal the streaming interface links to;
// `clockId` the clock source of a release 2 interface (ignored for release
// 1). STATUS_INSUFFICIENT_RESOURCES when the object cannot be had.
kernel::NTSTATUS CreateUsbStreamEngine(CUsbStreamEngine** engine, UsbStreamKind kind,
                                       kernel::IUnknown* outer, std::uint8_t interfaceNumber,
                                       std::uint32_t terminalId, std::uint32_t clockId = 0);
