// The stream engines of USB Audio Class 2 streaming interfaces: the sample
// rate is set on the clock source that clocks the interface, the device
// tells which alternate settings it can run now, the render engine sizes its
// packets from the rate the device's feedback endpoint asks for, and render
// recovery resets the pipes instead of selecting the interface again.
#pragma once

#include "driver/usbstream/usb_stream_engine.h"

#include <cstdint>

inline constexpr kernel::PoolTag Uac2CaptureRingTag = kernel::poolTag("US20");

// The base of both: the clock source's id, the prepare and the
// alternate-setting query.
class CUac2StreamEngine : public CUsbStreamEngine {
public:
    CUac2StreamEngine(kernel::IUnknown* outer, std::uint8_t interfaceNumber,
                      std::uint32_t terminalId, std::uint32_t clockId)
        : CUsbStreamEngine(outer, interfaceNumber, terminalId), m_ulClockId(clockId) {}

    kernel::NTSTATUS PrepareFormat(UsbStreamClientRecord* record,
                                   std::uint32_t* frameValue) override {
        return PrepareStream(record, frameValue);
    }
    // Setting 0 always; any other when the device's valid-alternate-settings
    // control has its bit set. A reply too short to hold the bit, or a
    // refused request, says no.
    bool QueryReady(std::uint8_t alternateSetting) override;

    std::uint32_t GetClockId() const { return m_ulClockId; }

protected:
    // The clock source among the HAL's children takes the format's rate; a
    // missing clock or a refused rate fails the prepare.
    kernel::NTSTATUS PrepareDevice(const UsbStreamClientRecord& record) override;
    kernel::PoolTag CaptureRingTag() const override { return Uac2CaptureRingTag; }

private:
    const std::uint32_t m_ulClockId;
};

class CUac2RenderStreamEngine : public CUac2StreamEngine {
public:
    using CUac2StreamEngine::CUac2StreamEngine;

    kernel::NTSTATUS PrepareFormat(UsbStreamClientRecord* record,
                                   std::uint32_t* frameValue) override;
    kernel::NTSTATUS BuildTransfer() override;
    kernel::NTSTATUS OnTransferComplete(io::DeviceObject*, io::Irp* irp, void* context) override {
        return CompleteRender(irp, static_cast<TransferContext*>(context));
    }
    kernel::NTSTATUS Recover() override;
    kernel::NTSTATUS AbortPipe() override;

    std::uint32_t GetMeasuredRate() const;

protected:
    kernel::NTSTATUS CreateExtraContexts(IUsbDevice& usb) override;
    void FreeExtraContexts() override { m_Feedback.Free(); }

private:
    static kernel::NTSTATUS FeedbackCompletion(io::DeviceObject* device, io::Irp* irp,
                                               void* context);
    kernel::NTSTATUS SubmitFeedback(IUsbDevice& usb);
    void CompleteFeedback(io::Irp* irp, TransferContext* context);
    std::uint32_t FeedbackPacketBytes(IUsbDevice& usb) const;

    CTransferContextSet m_Feedback;
    std::uint32_t m_ulMeasuredRate = 0;
    std::uint32_t m_ulFeedbackPacketBytes = 3;
};

class CUac2CaptureStreamEngine : public CUac2StreamEngine {
public:
    using CUac2StreamEngine::CUac2StreamEngine;

    kernel::NTSTATUS BuildTransfer() override { return BuildCaptureTransfer(); }
    kernel::NTSTATUS OnTransferComplete(io::DeviceObject*, io::Irp* irp, void* context) override {
        return CompleteCapture(irp, static_cast<TransferContext*>(context), true);
    }
};
