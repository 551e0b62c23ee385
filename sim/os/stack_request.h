// Requests the system makes itself and sends to the top of a device's
// stack: plug-and-play and power. The sending thread blocks until the
// request has completed, so these run on a system thread (system_call.h)
// while another thread settles the clock.
#pragma once

#include "platform/io/device_object.h"
#include "platform/io/irp.h"
#include "platform/io/power_state.h"
#include "platform/kernel/status.h"

#include <cstdint>

namespace ossim {

// A plug-and-play request with the location's parameters, sent to the top
// of the physical device's stack; it reads STATUS_NOT_SUPPORTED until a
// driver completes it otherwise. Its completion status, or
// STATUS_INSUFFICIENT_RESOURCES when the pool refuses it.
kernel::NTSTATUS sendPnpRequest(io::DeviceObject* physicalDevice, std::uint8_t minorFunction,
                                const io::IoStackLocation::Parameters& parameters);

// A device power request through the installed power manager (the host's
// routine takes it down the stack). Its completion status, or the refusal
// of io::requestDevicePowerState.
kernel::NTSTATUS sendDevicePowerRequest(io::DeviceObject* physicalDevice,
                                        io::DevicePowerState state);

} // namespace ossim
