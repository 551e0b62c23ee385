// Calls into a driver the way the system makes them: at passive level on a
// system thread of their own, as the system's plug-and-play and power
// threads do, so that a driver may block there on a request it passed down
// while the deferred calls of the clock complete it. Under a manual clock the
// caller's thread settles it and takes the call's status once it has
// returned; under the real clock (no manual clock given) the caller waits
// for the return, for a bounded real time.
#pragma once

#include "platform/kernel/clock.h"
#include "platform/kernel/status.h"
#include "platform/kernel/time.h"

#include <chrono>
#include <functional>

namespace ossim {

// The call's status once it has returned; STATUS_PENDING when the driver
// still blocks in it after the clock settled (the call goes on, and its
// status is dropped when it returns later); STATUS_INSUFFICIENT_RESOURCES
// when no system thread could start. Passive level only.
kernel::NTSTATUS callOnSystemThread(kernel::ManualClock& clock,
                                    std::function<kernel::NTSTATUS()> call);

// As above with a manual clock, or under the real clock when `clock` is
// null: then STATUS_PENDING means the call had not returned within
// realTimePatience.
kernel::NTSTATUS callOnSystemThread(kernel::ManualClock* clock,
                                    std::function<kernel::NTSTATUS()> call);
inline constexpr kernel::Duration realTimePatience = std::chrono::seconds(10);

} // namespace ossim
