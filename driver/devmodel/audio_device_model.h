// The face of a USB audio device model beside its HAL: renaming endpoints
// whose terminal switched type, the HAL's control-change callback for
// followers, and the two descriptor walks a chip model may replace.
#pragma once

#include "platform/kernel/callback_object.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unknown.h"
#include "platform/usb/descriptors.h"

#include <cstdint>

class IAudioDeviceModel : public kernel::IUnknown {
public:
    // Installs again, under a new name, every endpoint whose terminal
    // switch item reports a changed selection.
    virtual kernel::NTSTATUS UpdateEndpoints(std::uint32_t nodeId) = 0;
    // The HAL's control-change callback object; no reference is added.
    virtual kernel::NTSTATUS GetCallbackObject(kernel::CallbackObject** object) = 0;
    virtual kernel::NTSTATUS ParseControlInterface(const usb::InterfaceDescriptor* interface,
                                                   std::uint32_t length) = 0;
    virtual kernel::NTSTATUS
    ParseStreamingInterfaces(const usb::ConfigurationDescriptor* configuration,
                             const usb::InterfaceDescriptor* interface, std::uint32_t length) = 0;
    // Model-specific set-up after the walks and before each return to D0.
    virtual kernel::NTSTATUS AfterParse() = 0;

protected:
    ~IAudioDeviceModel() = default;
};
