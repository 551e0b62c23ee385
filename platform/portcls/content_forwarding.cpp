#include "platform/portcls/content_forwarding.h"

#include "platform/kernel/test_checks.h"

#include <mutex>

namespace portcls {
namespace {

std::mutex& forwardedLock() {
    static std::mutex lock;
    return lock;
}
std::vector<ForwardedContent>& forwarded() {
    static std::vector<ForwardedContent> records;
    return records;
}

// Each test starts with nothing forwarded.
const kernel::TestCheckRegistrar forwardedCheck({"forwarded content",
                                                 [] {
                                                     std::lock_guard guard(forwardedLock());
                                                     forwarded().clear();
                                                 },
                                                 nullptr});

} // namespace

kernel::NTSTATUS PcForwardContentToDeviceObject(std::uint32_t contentId, void*,
                                                const DrmForward* forward) {
    if (forward == nullptr || forward->DeviceObject == nullptr || forward->Flags != 0)
        return kernel::STATUS_INVALID_PARAMETER;
    std::lock_guard guard(forwardedLock());
    forwarded().push_back(
        {contentId, forward->DeviceObject, forward->FileObject, forward->Context});
    return kernel::STATUS_SUCCESS;
}

std::vector<ForwardedContent> forwardedContents() {
    std::lock_guard guard(forwardedLock());
    return forwarded();
}

} // namespace portcls
