// The stream engines of USB Audio Class 1 streaming interfaces: the
// sampling frequency is set on the data endpoint, packets are sized from the
// nominal rate.
#pragma once

#include "driver/usbstream/usb_stream_engine.h"

#include <cstdint>

inline constexpr kernel::PoolTag Uac1CaptureRingTag = kernel::poolTag("US10");

// What both directions share: the prepare and the endpoint's rate.
class CUac1StreamEngine : public CUsbStreamEngine {
public:
    CUac1StreamEngine(kernel::IUnknown* outer, std::uint8_t interfaceNumber,
                      std::uint32_t terminalId)
        : CUsbStreamEngine(outer, interfaceNumber, terminalId) {}

    kernel::NTSTATUS PrepareFormat(UsbStreamClientRecord* record,
                                   std::uint32_t* frameValue) override {
        return PrepareStream(record, frameValue);
    }

protected:
    bool SetsEndpointRate() const override { return true; }
    kernel::PoolTag CaptureRingTag() const override { return Uac1CaptureRingTag; }
};

class CUac1RenderStreamEngine : public CUac1StreamEngine {
public:
    using CUac1StreamEngine::CUac1StreamEngine;

    kernel::NTSTATUS BuildTransfer() override { return BuildRenderTransfer(m_ulSampleRate); }
    kernel::NTSTATUS OnTransferComplete(io::DeviceObject*, io::Irp* irp, void* context) override {
        return CompleteRender(irp, static_cast<TransferContext*>(context));
    }
};

class CUac1CaptureStreamEngine : public CUac1StreamEngine {
public:
    using CUac1StreamEngine::CUac1StreamEngine;

    kernel::NTSTATUS BuildTransfer() override { return BuildCaptureTransfer(); }
    kernel::NTSTATUS OnTransferComplete(io::DeviceObject*, io::Irp* irp, void* context) override {
        return CompleteCapture(irp, static_cast<TransferContext*>(context), false);
    }
};
