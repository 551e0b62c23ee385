// Deferred procedure calls. A Dpc is queued with two arguments, or by the
// expiry of a timer that names it (with two nulls), and its routine runs
// later at dispatch level. Calls run one at a time in the order they were
// queued: under the real clock on the clock's service thread, under a manual
// clock on the thread that advances, settles or flushes it, so a test knows
// when each runs. A call may queue its own Dpc again.
#pragma once

#include <cstddef>

namespace kernel {

class Dpc {
public:
    using Routine = void (*)(Dpc& dpc, void* context, void* argument1, void* argument2);
    Dpc(Routine routine, void* context) : routine_(routine), context_(context) {}
    ~Dpc(); // destroying a queued call fails a check and takes it out of the queue
    Dpc(const Dpc&) = delete;
    Dpc& operator=(const Dpc&) = delete;

private:
    friend struct DpcQueue;
    const Routine routine_;
    void* const context_;
    // under the kernel's lock
    bool queued_ = false;
    void* argument1_ = nullptr;
    void* argument2_ = nullptr;
};

// Queues the call with its arguments; false, and the arguments of the
// queued call stay, when it is queued already. Up to dispatch level.
bool queueDpc(Dpc& dpc, void* argument1, void* argument2);

// Takes a call out of the queue before it starts; false when it was not
// queued (never queued, or already started). Up to dispatch level.
bool removeQueuedDpc(Dpc& dpc);

// Returns once every call queued before has run (for an owner about to free a
// call or its context). Under a manual clock this thread runs them, taking
// its turn with advances and settles. Below dispatch level.
void flushQueuedDpcs();

// Calls queued and not yet started.
std::size_t queuedDpcs();

} // namespace kernel
