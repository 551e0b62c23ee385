// Spin locks. Acquiring raises the thread to dispatch level and lowering back
// happens at release. They are not recursive: a thread that acquires a lock it
// already holds, or releases one it does not hold, fails a check. Waiters are
// served in arrival order, which is also what an in-stack queued acquisition
// promises.
#pragma once

#include "platform/kernel/irql.h"

#include <atomic>
#include <cstdint>

namespace kernel {

class SpinLock {
public:
    SpinLock() = default;
    SpinLock(const SpinLock&) = delete;
    SpinLock& operator=(const SpinLock&) = delete;

    // Raises to dispatch level, returns the level to give back to release.
    Irql acquire();
    void release(Irql previous);

    // For code already at dispatch level (a deferred procedure call).
    void acquireAtDispatchLevel();
    void releaseFromDispatchLevel();

    bool heldByCurrentThread() const;

private:
    friend class QueuedSpinLockHandle;
    bool take();
    void give();

    std::atomic<std::uint32_t> nextTicket_{0};
    std::atomic<std::uint32_t> nowServing_{0};
    std::atomic<const void*> owner_{nullptr};
};

// The in-stack queued form: the handle lives on the caller's stack and
// carries the level to return to.
class QueuedSpinLockHandle {
public:
    QueuedSpinLockHandle() = default;
    QueuedSpinLockHandle(const QueuedSpinLockHandle&) = delete;
    QueuedSpinLockHandle& operator=(const QueuedSpinLockHandle&) = delete;

    void acquire(SpinLock& lock);
    void release();

private:
    SpinLock* lock_ = nullptr;
    Irql previous_ = Irql::Passive;
};

// Holds a spin lock for a scope.
class SpinLockGuard {
public:
    explicit SpinLockGuard(SpinLock& lock) : lock_(lock), previous_(lock.acquire()) {}
    ~SpinLockGuard() { lock_.release(previous_); }
    SpinLockGuard(const SpinLockGuard&) = delete;
    SpinLockGuard& operator=(const SpinLockGuard&) = delete;

private:
    SpinLock& lock_;
    Irql previous_;
};

} // namespace kernel
