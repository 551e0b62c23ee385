// The power interface an adapter registers with the port driver: the port
// driver tells it every device power change before it tells the miniports.
#pragma once

#include "platform/io/device_capabilities.h"
#include "platform/io/power_state.h"
#include "platform/kernel/guid.h"
#include "platform/kernel/unknown.h"

namespace portcls {

inline constexpr kernel::Guid IID_IAdapterPowerManagement =
    kernel::makeGuid("{414C59DF-EDFC-4AE2-A5FB-04A082D35A9B}");

class IAdapterPowerManagement : public kernel::IUnknown {
public:
    // The new device state; nothing to do when it is the current one.
    virtual void PowerChangeState(io::DevicePowerState newState) = 0;
    // Whether the adapter can go to the state now; success when it can.
    virtual kernel::NTSTATUS QueryPowerChangeState(io::DevicePowerState newState) = 0;
    // Amends the capabilities the device reports.
    virtual kernel::NTSTATUS QueryDeviceCapabilities(io::DeviceCapabilities* capabilities) = 0;

protected:
    ~IAdapterPowerManagement() = default;
};

} // namespace portcls
