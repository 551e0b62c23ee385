// For the platform's own senders of requests (user-mode I/O, power
// requests): what runs when their request leaves its top, and a send to a
// routine of their choice that may finish, on the sending thread, a request
// completed during the call.
#pragma once

#include "platform/io/irp.h"

namespace io {

// Set before the first send; runs when completion leaves the top location,
// and owns the request from then on.
void setTopCompletion(Irp* irp, TopCompletion completion, void* context);

// Takes the place of a dispatch routine.
using SendRoutine = kernel::NTSTATUS (*)(void* context, DeviceObject* device, Irp* irp);

// The routine callDriver sends to: the dispatch routine of the device's
// driver for the request's major function.
kernel::NTSTATUS dispatchToDriver(void* unused, DeviceObject* device, Irp* irp);

enum class CompletedDuringCall {
    GoOnLater,  // as callDriver: completion goes on in a deferred call
    FinishHere, // completion goes on here, before the send returns
};

// Sends the request like callDriver, to routine. With FinishHere, a request
// completed during the call climbs the rest of the way (which the sender
// keeps free of completion routines) before this returns, and *finished
// says so; the status returned is then the routine's.
kernel::NTSTATUS sendRequest(DeviceObject* device, Irp* irp, SendRoutine routine, void* context,
                             CompletedDuringCall completed, bool* finished = nullptr);

} // namespace io
