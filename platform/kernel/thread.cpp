#include "platform/kernel/thread.h"

#include "platform/kernel/check.h"
#include "platform/kernel/detail/dispatcher.h"
#include "platform/kernel/interlocked.h"
#include "platform/kernel/irql.h"

#include <atomic>
#include <exception>

namespace kernel {
namespace {

constexpr PoolTag threadTag = poolTag("Thre");
std::atomic<std::size_t> running{0};

} // namespace

ThreadObject::~ThreadObject() {
    if (std::this_thread::get_id() == thread_.get_id())
        thread_.detach(); // the thread itself dropped the last reference
    else if (thread_.joinable())
        thread_.join(); // it has ended; this only waits for its last instructions
}

void ThreadObject::run(ThreadObject* self) {
    self->start_(self->context_);
    check(currentIrql() == Irql::Passive && spinLocksHeld() == 0,
          "system thread ended above passive level or holding a spin lock");
    // Ending and dropping the thread's own reference is one step for the
    // waiters, so whoever saw the end holds the only references left. When
    // that was the last one, the object goes here (it takes no dispatcher lock).
    auto lock = detail::lockDispatcher();
    self->ended_ = true;
    --running;
    detail::wakeWaiters();
    dereferenceObject(*self);
}

NTSTATUS createSystemThread(ThreadObject** thread, ThreadStart start, void* context) {
    if (thread == nullptr || start == nullptr) return STATUS_INVALID_PARAMETER;
    *thread = nullptr;
    ThreadObject* object = detail::newPoolObject<ThreadObject>(threadTag, start, context);
    if (object == nullptr) return STATUS_INSUFFICIENT_RESOURCES;

    referenceObject(*object); // the running thread's own reference
    ++running;
    {
        // The new thread may end and drop its reference before thread_ is
        // assigned here; hold the dispatcher lock so it cannot finish first.
        auto lock = detail::lockDispatcher();
        object->thread_ = std::thread(&ThreadObject::run, object);
    }
    *thread = object;
    return STATUS_SUCCESS;
}

int ThreadObject::priorityLocked() const {
    return priorityHistory_.empty() ? defaultPriority : priorityHistory_.back();
}

int ThreadObject::priority() const {
    auto lock = detail::lockDispatcher();
    return priorityLocked();
}

std::vector<int> ThreadObject::priorityHistory() const {
    auto lock = detail::lockDispatcher();
    return priorityHistory_;
}

int setThreadPriority(ThreadObject& thread, int priority) {
    check(priority >= 0 && priority <= 31, "thread priority out of range");
    auto lock = detail::lockDispatcher();
    const int previous = thread.priorityLocked();
    thread.priorityHistory_.push_back(priority);
    return previous;
}

bool ThreadObject::signalledFor(const void*) const { return ended_; }

void ThreadObject::satisfyWait(const void*) {}

std::size_t runningSystemThreads() { return running.load(); }

} // namespace kernel
