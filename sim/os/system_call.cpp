#include "sim/os/system_call.h"

#include "platform/kernel/dispatcher.h"
#include "platform/kernel/thread.h"

#include <atomic>
#include <memory>
#include <utility>

namespace ossim {
namespace {

// Shared by the caller and the thread, so that a call the caller stopped
// waiting for still has somewhere to put its status.
struct SystemCall {
    std::function<kernel::NTSTATUS()> work;
    std::atomic<kernel::NTSTATUS> status{kernel::STATUS_PENDING};
};

void runCall(void* context) {
    const std::unique_ptr<std::shared_ptr<SystemCall>> call(
        static_cast<std::shared_ptr<SystemCall>*>(context));
    (*call)->status = (*call)->work();
}

} // namespace

kernel::NTSTATUS callOnSystemThread(kernel::ManualClock& clock,
                                    std::function<kernel::NTSTATUS()> call) {
    return callOnSystemThread(&clock, std::move(call), {}, 0);
}

kernel::NTSTATUS callOnSystemThread(kernel::ManualClock* clock,
                                    std::function<kernel::NTSTATUS()> call) {
    return callOnSystemThread(clock, std::move(call), {}, 0);
}

kernel::NTSTATUS callOnSystemThread(kernel::ManualClock& clock,
                                    std::function<kernel::NTSTATUS()> call,
                                    const std::function<void()>& advance, int maxSteps) {
    return callOnSystemThread(&clock, std::move(call), advance, maxSteps);
}

kernel::NTSTATUS callOnSystemThread(kernel::ManualClock* clock,
                                    std::function<kernel::NTSTATUS()> call,
                                    const std::function<void()>& advance, int maxSteps) {
    auto shared = std::make_shared<SystemCall>();
    shared->work = std::move(call);
    auto* context = new std::shared_ptr<SystemCall>(shared);
    kernel::ThreadObject* thread = nullptr;
    if (!kernel::succeeded(kernel::createSystemThread(&thread, runCall, context))) {
        delete context;
        return kernel::STATUS_INSUFFICIENT_RESOURCES;
    }
    const auto hasReturned = [thread](kernel::Duration wait) {
        return kernel::waitForSingleObject(*thread, wait) == kernel::STATUS_SUCCESS;
    };
    bool returned = false;
    if (clock == nullptr) {
        returned = hasReturned(realTimePatience);
    } else {
        clock->settle();
        returned = hasReturned(kernel::Duration::zero());
        for (int step = 0; !returned && step < maxSteps; ++step) {
            advance();
            returned = hasReturned(kernel::Duration::zero());
        }
    }
    kernel::dereferenceObject(*thread);
    return returned ? shared->status.load() : kernel::STATUS_PENDING;
}

} // namespace ossim
