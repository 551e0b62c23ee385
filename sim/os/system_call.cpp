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
    return callOnSystemThread(&clock, std::move(call));
}

kernel::NTSTATUS callOnSystemThread(kernel::ManualClock* clock,
                                    std::function<kernel::NTSTATUS()> call) {
    auto shared = std::make_shared<SystemCall>();
    shared->work = std::move(call);
    auto* context = new std::shared_ptr<SystemCall>(shared);
    kernel::ThreadObject* thread = nullptr;
    if (!kernel::succeeded(kernel::createSystemThread(&thread, runCall, context))) {
        delete context;
        return kernel::STATUS_INSUFFICIENT_RESOURCES;
    }
    if (clock != nullptr) clock->settle();
    const kernel::Duration wait = clock != nullptr ? kernel::Duration::zero() : realTimePatience;
    const bool returned = kernel::waitForSingleObject(*thread, wait) == kernel::STATUS_SUCCESS;
    kernel::dereferenceObject(*thread);
    return returned ? shared->status.load() : kernel::STATUS_PENDING;
}

} // namespace ossim
