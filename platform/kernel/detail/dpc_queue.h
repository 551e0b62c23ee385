// Inside the kernel layer: the queue of deferred procedure calls.
#pragma once

#include "platform/kernel/dpc.h"

#include <mutex>

namespace kernel::detail {

// Queues under the kernel's lock; false when the call is queued already.
bool queueDpcLocked(Dpc& dpc, void* argument1, void* argument2);

// Runs the queued calls in order at dispatch level, each without the lock,
// until none is left (calls they queue included). Returns whether any ran.
bool runQueuedDpcs(std::unique_lock<std::mutex>& lock);

bool dpcsQueuedLocked();

} // namespace kernel::detail
