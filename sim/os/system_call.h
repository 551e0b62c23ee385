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

// The same, for a call that waits on what only moving time completes (a
// request on the bus): while it has not returned after the clock settled,
// the caller calls advance (which moves time on by a step and settles), at
// most maxSteps times. STATUS_PENDING when it still blocks after that.
kernel::NTSTATUS callOnSystemThread(kernel::ManualClock& clock,
                                    std::function<kernel::NTSTATUS()> call,
                                    const std::function<void()>& advance, int maxSteps);
// Both in one: a null clock waits under the real clock as above (advance
// and maxSteps are not used then).
kernel::NTSTATUS callOnSystemThread(kernel::ManualClock* clock,
                                    std::function<kernel::NTSTATUS()> call,
                                    const std::function<void()>& advance, int maxSteps);

} // namespace ossim
