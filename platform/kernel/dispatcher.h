// Waitable objects and the waits on them. Events, mutexes, timers and threads
// are dispatcher objects; a thread waits on one of them, or on the first of
// several to become signalled, with a time-out. Waiting with anything but a
// zero time-out at dispatch level fails a check (and then only looks).
#pragma once

#include "platform/kernel/status.h"
#include "platform/kernel/time.h"

#include <chrono>
#include <cstddef>
#include <initializer_list>
#include <span>

namespace kernel {

namespace detail {
struct WaitAccess;
}

class DispatcherObject {
public:
    DispatcherObject(const DispatcherObject&) = delete;
    DispatcherObject& operator=(const DispatcherObject&) = delete;

protected:
    DispatcherObject() = default;
    ~DispatcherObject() = default;

private:
    friend struct detail::WaitAccess;
    // Both are called under the dispatcher lock; `thread` names the waiter.
    virtual bool signalledFor(const void* thread) const = 0;
    virtual void satisfyWait(const void* thread) = 0; // what a successful wait takes away
};

// STATUS_SUCCESS when the object was signalled, STATUS_TIMEOUT otherwise.
NTSTATUS waitForSingleObject(DispatcherObject& object, Timeout timeout);

// STATUS_WAIT_0 + the index of the first signalled object, or STATUS_TIMEOUT.
// Only that object is satisfied. 1 to 64 objects.
NTSTATUS waitForAnyObject(std::span<DispatcherObject* const> objects, Timeout timeout);
NTSTATUS waitForAnyObject(std::initializer_list<DispatcherObject*> objects, Timeout timeout);

inline constexpr std::size_t maximumWaitObjects = 64;

// Lets the clock run on by the interval before returning (STATUS_SUCCESS).
NTSTATUS delayExecution(Duration interval);

// Threads blocked in a wait of this layer right now.
std::size_t blockedThreads();

// For tests that step other threads in lockstep: returns once at least `count`
// threads are blocked in waits, or false when that has not happened within
// the guard time (which only protects a broken test from hanging).
bool awaitBlockedThreads(std::size_t count,
                         std::chrono::milliseconds guard = std::chrono::seconds(20));

} // namespace kernel
