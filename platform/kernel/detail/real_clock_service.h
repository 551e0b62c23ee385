// Inside the kernel layer: the real clock's service thread, which fires
// timers as they fall due and runs queued deferred procedure calls.
#pragma once

namespace kernel::detail {

// Starts the service once, when the real clock is in force (lock held);
// anything queued for it then runs without a further call.
void startRealClockServiceLocked();

} // namespace kernel::detail
