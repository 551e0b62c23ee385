// Power requests. A driver asks the power manager to set a device power
// state and learns the outcome from a completion function. The power
// manager's part is the host's (a test, or the simulated system): it installs
// a routine that receives each request as a power request (major::Power,
// minorPower::SetPower, parameters.power) addressed to the device, with a
// stack location of its own, and passes it down the device's stack or
// completes it like any request. When the request has completed, the
// driver's completion function runs in the request's completion, never inside
// the call that asked for it.
#pragma once

#include "platform/io/device_object.h"
#include "platform/io/io_status_block.h"
#include "platform/io/power_state.h"
#include "platform/kernel/status.h"

#include <cstdint>

namespace io {

using PowerCompletion = void (*)(DeviceObject* device, std::uint8_t minorFunction,
                                 DevicePowerState state, void* context,
                                 const IoStatusBlock& ioStatus);

// The host's routine: like a dispatch routine, with the host's context. The
// request reads STATUS_NOT_SUPPORTED until someone completes it otherwise.
using PowerRequestRoutine = kernel::NTSTATUS (*)(void* hostContext, DeviceObject* device, Irp* irp);

// Installs the host's routine (null: none). Taken away before each test.
void setPowerRequestRoutine(PowerRequestRoutine routine, void* hostContext);

// Asks for the device power state: STATUS_PENDING once the request is with
// the host; then completion runs when it completes. Otherwise it never runs:
// STATUS_INVALID_PARAMETER for no device or a state other than D0 to D3,
// STATUS_NOT_SUPPORTED without a host routine, STATUS_INSUFFICIENT_RESOURCES.
// Up to dispatch level.
kernel::NTSTATUS requestDevicePowerState(DeviceObject* device, DevicePowerState state,
                                         PowerCompletion completion, void* context);

} // namespace io
