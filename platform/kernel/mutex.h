// Kernel mutexes: taken by waiting on them, recursive for the thread that
// owns them, released once per successful wait. Only the owner may release.
#pragma once

#include "platform/kernel/dispatcher.h"

namespace kernel {

class Mutex final : public DispatcherObject {
public:
    Mutex() = default;
    ~Mutex(); // destroying an owned mutex fails a check

    // Waits for the mutex (STATUS_SUCCESS or STATUS_TIMEOUT).
    NTSTATUS acquire(Timeout timeout = Timeout::infinite());
    // Gives back one acquisition; the mutex is free after the last. Releasing
    // a mutex the caller does not own fails a check.
    void release();

    bool ownedByCurrentThread() const;
    bool readState() const; // true when free

private:
    bool signalledFor(const void* thread) const override;
    void satisfyWait(const void* thread) override;

    const void* owner_ = nullptr; // under the dispatcher lock
    int depth_ = 0;
};

// Owns a mutex for a scope (waits without time-out).
class MutexGuard {
public:
    explicit MutexGuard(Mutex& mutex) : mutex_(mutex) { mutex_.acquire(); }
    ~MutexGuard() { mutex_.release(); }
    MutexGuard(const MutexGuard&) = delete;
    MutexGuard& operator=(const MutexGuard&) = delete;

private:
    Mutex& mutex_;
};

} // namespace kernel
