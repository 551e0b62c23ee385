#include "platform/kernel/mutex.h"

#include "platform/kernel/check.h"
#include "platform/kernel/detail/dispatcher.h"
#include "platform/kernel/detail/irql.h"
#include "platform/kernel/irql.h"

namespace kernel {

Mutex::~Mutex() {
    auto lock = detail::lockDispatcher();
    check(owner_ == nullptr, "mutex destroyed while owned");
}

NTSTATUS Mutex::acquire(Timeout timeout) { return waitForSingleObject(*this, timeout); }

void Mutex::release() {
    auto lock = detail::lockDispatcher();
    if (!check(owner_ == detail::currentThreadKey(),
               "mutex released by a thread that does not own it"))
        return;
    if (--depth_ == 0) {
        owner_ = nullptr;
        detail::wakeWaiters();
    }
}

bool Mutex::ownedByCurrentThread() const {
    auto lock = detail::lockDispatcher();
    return owner_ == detail::currentThreadKey();
}

bool Mutex::readState() const {
    auto lock = detail::lockDispatcher();
    return owner_ == nullptr;
}

bool Mutex::signalledFor(const void* thread) const { return owner_ == nullptr || owner_ == thread; }

void Mutex::satisfyWait(const void* thread) {
    owner_ = thread;
    ++depth_;
}

} // namespace kernel
