#include "platform/kernel/thread.h"

#include "platform/kernel/check.h"
#include "platform/kernel/detail/dispatcher.h"
#include "platform/kernel/detail/irql.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/pool.h"

#include <atomic>
#include <new>
#include <system_error>

namespace kernel {
namespace {

constexpr PoolTag threadTag = poolTag("Thre");
std::atomic<std::size_t> running{0};
std::atomic<bool> startsFail{false};
std::atomic<std::uint64_t> starts{0}; // changed under the kernel's lock

} // namespace

ThreadObject::~ThreadObject() {
    if (std::this_thread::get_id() == thread_.get_id())
        thread_.detach(); // the thread itself dropped the last reference
    else if (thread_.joinable())
        thread_.join(); // it has ended; this only waits for its last instructions
}

bool ThreadObject::start() {
    if (startsFail.load()) return false;
    try {
        thread_ = std::thread(&ThreadObject::run, this);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void ThreadObject::run(ThreadObject* self) {
    detail::markKernelThread();
    detail::noteSystemThreadOrdinal(self->ordinal_);
    self->start_(self->context_);
    check(currentIrql() == Irql::Passive && spinLocksHeld() == 0,
          "system thread ended above passive level or holding a spin lock");
    // Ending and dropping the thread's own reference is one step for the
    // waiters, so whoever saw the end holds the only references left. When
    // that was the last one, the object goes here (it takes no kernel lock).
    auto lock = detail::lockDispatcher();
    self->ended_ = true;
    --running;
    detail::withdrawKernelThreadLocked(); // wakes the waiters
    dereferenceObject(*self);
}

NTSTATUS createSystemThread(ThreadObject** thread, ThreadStart start, void* context) {
    if (thread == nullptr || start == nullptr) return STATUS_INVALID_PARAMETER;
    *thread = nullptr;
    if (!requireIrql(Irql::Passive, "system thread creation")) return STATUS_UNSUCCESSFUL;
    void* block = allocatePool(PoolType::NonPagedNx, sizeof(ThreadObject), threadTag);
    if (block == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
    auto* object = new (block) ThreadObject(start, context);

    referenceObject(*object); // the running thread's own reference
    {
        // The new thread may end and drop its reference before thread_ is
        // assigned here; hold the kernel's lock so it cannot finish first.
        auto lock = detail::lockDispatcher();
        ++running;
        object->ordinal_ = ++starts;
        detail::enrolKernelThreadLocked();
        if (!object->start()) {
            --running;
            --starts;
            detail::withdrawKernelThreadLocked();
            lock.unlock();
            dereferenceObject(*object); // the thread's own
            dereferenceObject(*object); // the creator's: the block goes
            return STATUS_INSUFFICIENT_RESOURCES;
        }
    }
    *thread = object;
    return STATUS_SUCCESS;
}

void failSystemThreadStarts(bool on) { startsFail.store(on); }

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

std::uint64_t systemThreadStarts() { return starts.load(); }

} // namespace kernel
