// For the sources of platform/io: the inner state of requests and the lock
// that guards where their completion stands.
#pragma once

#include "platform/io/irp.h"

#include <mutex>

namespace io {

struct IrpAccess {
    // Flags of a location's control byte.
    static constexpr std::uint8_t invokeOnSuccess = 0x40;
    static constexpr std::uint8_t invokeOnError = 0x80;
    static constexpr std::uint8_t invokeOnCancel = 0x20;
    static constexpr std::uint8_t pendingMarked = 0x01;

    static Irp* make(void* block, std::int8_t stackCount);
    static void destroy(Irp& irp) { irp.~Irp(); }

    static IoStackLocation& location(Irp& irp, int index) { return irp.locations_[index]; }
    static auto& current(Irp& irp) { return irp.current_; }
    static auto& pendingReturned(Irp& irp) { return irp.pendingReturned_; }
    static auto& cancel(Irp& irp) { return irp.cancel_; }
    static auto& cancelRoutine(Irp& irp) { return irp.cancelRoutine_; }
    static auto& inFlight(Irp& irp) { return irp.inFlight_; }
    static auto& completing(Irp& irp) { return irp.completing_; }
    static auto& parkedAt(Irp& irp) { return irp.parkedAt_; }
    static auto& topCompletion(Irp& irp) { return irp.topCompletion_; }
    static auto& topContext(Irp& irp) { return irp.topContext_; }
    static kernel::Dpc& completionDpc(Irp& irp) { return irp.completionDpc_; }

    static auto& completionRoutine(IoStackLocation& at) { return at.completionRoutine_; }
    static auto& completionContext(IoStackLocation& at) { return at.completionContext_; }
    static auto& control(IoStackLocation& at) { return at.control_; }
    static auto& callsInProgress(IoStackLocation& at) { return at.callsInProgress_; }
};

// Guards every request's place in its completion (inFlight_, completing_,
// parkedAt_, the locations' calls in progress) and the count in flight.
std::mutex& requestLock();

// The routine of a request's own deferred call: completion goes on where it
// stopped for a call in progress.
void continueCompletion(kernel::Dpc& dpc, void* irp, void* argument1, void* argument2);

// Under the request lock: counts the request in or out of flight.
void setInFlight(Irp& irp, bool inFlight);

// Whether a request is anywhere between its first send and its return to
// its owner (under the request lock).
inline bool busy(Irp& irp) {
    return IrpAccess::inFlight(irp) || IrpAccess::completing(irp) || IrpAccess::parkedAt(irp) >= 0;
}

} // namespace io
