#include "platform/kernel/spin_lock.h"

#include "platform/kernel/check.h"
#include "platform/kernel/detail/irql.h"

#include <thread>

namespace kernel {
using detail::currentThreadKey;

bool SpinLock::heldByCurrentThread() const {
    return owner_.load(std::memory_order_relaxed) == currentThreadKey();
}

bool SpinLock::take() {
    if (!check(!heldByCurrentThread(), "spin lock re-entered by its owner")) return false;
    const std::uint32_t ticket = nextTicket_.fetch_add(1, std::memory_order_relaxed);
    while (nowServing_.load(std::memory_order_acquire) != ticket) std::this_thread::yield();
    owner_.store(currentThreadKey(), std::memory_order_relaxed);
    detail::noteSpinLockAcquired();
    return true;
}

void SpinLock::give() {
    if (!check(heldByCurrentThread(), "spin lock released by a thread that does not hold it"))
        return;
    owner_.store(nullptr, std::memory_order_relaxed);
    detail::noteSpinLockReleased();
    nowServing_.fetch_add(1, std::memory_order_release);
}

Irql SpinLock::acquire() {
    const Irql previous = raiseIrql(Irql::Dispatch);
    take();
    return previous;
}

void SpinLock::release(Irql previous) {
    give();
    lowerIrql(previous);
}

void SpinLock::acquireAtDispatchLevel() {
    check(currentIrql() >= Irql::Dispatch, "spin lock taken at dispatch level from below it");
    take();
}

void SpinLock::releaseFromDispatchLevel() { give(); }

void QueuedSpinLockHandle::acquire(SpinLock& lock) {
    previous_ = raiseIrql(Irql::Dispatch);
    lock_ = lock.take() ? &lock : nullptr;
}

void QueuedSpinLockHandle::release() {
    if (!check(lock_ != nullptr, "queued spin lock handle released without its lock")) return;
    lock_->give();
    lock_ = nullptr;
    lowerIrql(previous_);
}

} // namespace kernel
