// Inside the kernel layer: the queue of set timers, for the clocks that fire them.
#pragma once

#include "platform/kernel/time.h"

#include <cstddef>
#include <optional>

namespace kernel::detail {

// Everything here runs under the kernel's lock.
std::optional<Duration> nextTimerExpiryLocked();
// When the real clock's service must wake at the latest: the earliest due
// time plus tolerable delay of any timer.
std::optional<Duration> nextTimerWakeLocked();

// Expires every timer due by `now`, in order: signals it, sets a periodic one
// again one period on, and queues its deferred procedure call.
void expireTimersLocked(Duration now);

std::size_t timersQueuedLocked();
void dropAllTimersLocked();

} // namespace kernel::detail
