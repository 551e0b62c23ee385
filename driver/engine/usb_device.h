// The face through which the device model reaches its USB function: the
// configuration it runs, the AudioControl interface number its class
// requests carry, and the requests it sends down the stack. The USB audio
// adapter implements it as the outer object of the device model.
#pragma once

#include "driver/common/interface_ids.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unknown.h"
#include "platform/usb/descriptors.h"
#include "platform/usb/requests.h"

#include <cstdint>

namespace io {
class DeviceObject;
class Irp;
} // namespace io

class IUsbDevice : public kernel::IUnknown {
public:
    // The whole configuration descriptor the adapter selected.
    virtual const usb::ConfigurationDescriptor* GetConfigurationDescriptor() = 0;
    virtual usb::ConfigurationHandle GetConfigurationHandle() = 0;
    // The low byte of wIndex in every class request to a unit or terminal.
    virtual std::uint8_t GetControlInterfaceNumber() = 0;
    virtual kernel::NTSTATUS SetDevicePresent(std::uint8_t present) = 0;
    // Passes a prepared request to the lower device; its status, which may
    // be pending.
    virtual kernel::NTSTATUS SendIrp(io::Irp* irp) = 0;
    // Sends a request record down and waits for it (passive level); the
    // request's status.
    virtual kernel::NTSTATUS SubmitUrb(usb::RequestHeader* request) = 0;
    virtual kernel::NTSTATUS QueryBusTime(std::uint32_t* frame) = 0;
    // A request sized for the adapter's stack; null when none can be had.
    virtual io::Irp* AllocateIrp() = 0;
    virtual kernel::NTSTATUS FreeIrp(io::Irp* irp) = 0;
    virtual bool IsHighSpeed() = 0;
    virtual bool IsDeviceGone() = 0;
    virtual kernel::NTSTATUS CyclePort() = 0;
    // Resets the port (the function keeps its address and configuration) and
    // waits for it; what a stream engine does when it cannot bring a stream
    // back by selecting its interface again.
    virtual kernel::NTSTATUS ResetPort() = 0;
    virtual io::DeviceObject* GetLowerDevice() = 0;
    // The active-stream count after the change.
    virtual std::int32_t AddActiveStream() = 0;
    virtual std::int32_t ReleaseActiveStream() = 0;
    virtual kernel::NTSTATUS CreateAudioDevice() = 0;

protected:
    ~IUsbDevice() = default;
};
