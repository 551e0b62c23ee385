// The faces of a USB stream engine besides IStreamEngine: the client
// interface through which wave streams and the ASIO table share the device,
// with the engine's own steps in the slots after the client operations, and
// the content-protection face.
#pragma once

#include "driver/common/dsp_node.h"
#include "driver/usbstream/usb_stream_records.h"
#include "platform/kernel/callback_object.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unknown.h"

#include <cstdint>

namespace io {
class DeviceObject;
class Irp;
} // namespace io

class IUsbStreamControl : public kernel::IUnknown {
public:
    // The format must pass the engine's format check (which rewrites a basic
    // one); values A and B must not be 0. The record names the client: its
    // registration handle is the handle of every later call.
    virtual kernel::NTSTATUS RegisterClient(std::uint32_t priority,
                                            const ks::WaveFormatExtensible* format,
                                            std::uint32_t valueA, std::uint32_t valueB,
                                            kernel::CallbackFunction callback, void* context,
                                            UsbStreamClientRecord** record) = 0;
    virtual kernel::NTSTATUS UnregisterClient(const void* handle) = 0;
    // Values A and B come back of the running client.
    virtual kernel::NTSTATUS StartClient(const void* handle, std::uint32_t startFrame,
                                         std::uint32_t* valueA, std::uint32_t* valueB,
                                         IDspNode* node) = 0;
    virtual kernel::NTSTATUS StopClient(const void* handle, IDspNode* node) = 0;
    // Values A and B come back of the open client; the frame value is the
    // bus frame at which the device was prepared (0 when it was not now).
    virtual kernel::NTSTATUS OpenClient(const void* handle, std::uint32_t* valueA,
                                        std::uint32_t* valueB, std::uint32_t* frameValue) = 0;
    virtual kernel::NTSTATUS CloseClient(const void* handle) = 0;
    // The next start begins with the limiter's silence: the frames its
    // look-ahead holds are of a stream that does not go on. Without this a
    // start in the same format plays them first, so a pause loses nothing.
    virtual void DiscardHeldFrames() = 0;

    virtual kernel::NTSTATUS SelectInterface(std::uint8_t alternateSetting,
                                             UsbStreamClientRecord* record) = 0;
    virtual void FreeTransferContexts() = 0;
    virtual kernel::NTSTATUS AbortPipe() = 0;
    virtual kernel::NTSTATUS Recover() = 0;
    virtual kernel::NTSTATUS SelectZeroBandwidth() = 0;
    virtual kernel::NTSTATUS RestartStreaming() = 0;
    virtual kernel::NTSTATUS BuildTransfer() = 0;
    virtual kernel::NTSTATUS OnTransferComplete(io::DeviceObject* device, io::Irp* irp,
                                                void* context) = 0;
    virtual void WorkerLoop() = 0;
    virtual kernel::NTSTATUS PrepareFormat(UsbStreamClientRecord* record,
                                           std::uint32_t* frameValue) = 0;
    virtual kernel::NTSTATUS Teardown() = 0;
    virtual kernel::NTSTATUS StartStream(std::uint32_t startFrame, bool explicitStartFrame) = 0;
    virtual kernel::NTSTATUS StopStream() = 0;
    virtual bool QueryReady(std::uint8_t alternateSetting) = 0;

protected:
    ~IUsbStreamControl() = default;
};

class IUsbStreamDrm : public kernel::IUnknown {
public:
    // Forwards the content id to the device below, with the data pipe.
    virtual kernel::NTSTATUS SetContentId(std::uint32_t contentId) = 0;

protected:
    ~IUsbStreamDrm() = default;
};
