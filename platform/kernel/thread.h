// System threads. A thread runs its start routine at passive level and ends
// when the routine returns; the thread object is signalled then, so others
// can wait for its end. Priority changes are recorded for tests to read.
#pragma once

#include "platform/kernel/dispatcher.h"
#include "platform/kernel/object.h"
#include "platform/kernel/status.h"

#include <cstdint>
#include <thread>
#include <vector>

namespace kernel {

using ThreadStart = void (*)(void* context);

class ThreadObject final : public Object, public DispatcherObject {
public:
    int priority() const;
    // Every priority set on the thread, in order.
    std::vector<int> priorityHistory() const;

    static constexpr int defaultPriority = 8;

private:
    friend NTSTATUS createSystemThread(ThreadObject** thread, ThreadStart start, void* context);
    friend int setThreadPriority(ThreadObject& thread, int priority);

    ThreadObject(ThreadStart start, void* context) : start_(start), context_(context) {}
    ~ThreadObject() override;
    bool start();
    static void run(ThreadObject* self);

    bool signalledFor(const void* thread) const override;
    void satisfyWait(const void* thread) override;
    int priorityLocked() const;

    const ThreadStart start_;
    void* const context_;
    std::uint64_t ordinal_ = 0; // its place in the order of starts
    std::thread thread_;
    // under the dispatcher lock
    bool ended_ = false;
    std::vector<int> priorityHistory_; // the last one is in force
};

// Starts a thread (passive level only). On success the caller holds one
// reference to the thread object (give it back with dereferenceObject); the
// running thread holds its own until it ends. STATUS_INSUFFICIENT_RESOURCES
// when the pool refuses the object or the system cannot start a thread; then
// nothing is left behind.
NTSTATUS createSystemThread(ThreadObject** thread, ThreadStart start, void* context);

// Every start of a system thread fails while on, as when the system has no
// room for another thread.
void failSystemThreadStarts(bool on);

// Returns the previous priority (0 to 31).
int setThreadPriority(ThreadObject& thread, int priority);

// Threads started and not yet ended.
std::size_t runningSystemThreads();

// System threads started so far: the next one to start is this + 1 in the
// order of starts, by which a counted pool fault may name it
// (failPoolRequestOfSystemThread).
std::uint64_t systemThreadStarts();

} // namespace kernel
