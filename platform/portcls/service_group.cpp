#include "platform/portcls/service_group.h"

#include "platform/kernel/dpc.h"
#include "platform/kernel/spin_lock.h"
#include "platform/portcls/pool_object.h"

#include <algorithm>
#include <vector>

namespace portcls {
namespace {

class ServiceGroup final : public PortLayerObject<IServiceGroup, pool_tag::serviceGroup,
                                                  IID_IServiceSink, IID_IServiceGroup> {
public:
    // A queued call holds a reference, so the group outlives it.
    void RequestService() override {
        AddRef();
        if (!kernel::queueDpc(dpc_, nullptr, nullptr)) Release();
    }

    kernel::NTSTATUS AddMember(IServiceSink* sink) override {
        if (sink == nullptr) return kernel::STATUS_INVALID_PARAMETER;
        kernel::SpinLockGuard guard(lock_);
        if (std::find(members_.begin(), members_.end(), sink) != members_.end())
            return kernel::STATUS_INVALID_PARAMETER;
        sink->AddRef();
        members_.push_back(sink);
        return kernel::STATUS_SUCCESS;
    }

    void RemoveMember(IServiceSink* sink) override {
        {
            kernel::SpinLockGuard guard(lock_);
            const auto found = std::find(members_.begin(), members_.end(), sink);
            if (found == members_.end()) return;
            members_.erase(found);
        }
        sink->Release(); // outside the lock: the sink may leave other groups as it goes
    }

private:
    ~ServiceGroup() override {
        for (IServiceSink* sink : members_) sink->Release();
    }

    // Runs every member once, each held for the call, none under the lock.
    static void serve(kernel::Dpc&, void* context, void*, void*) {
        auto* self = static_cast<ServiceGroup*>(context);
        std::vector<IServiceSink*> members;
        {
            kernel::SpinLockGuard guard(self->lock_);
            members = self->members_;
            for (IServiceSink* sink : members) sink->AddRef();
        }
        for (IServiceSink* sink : members) {
            sink->RequestService();
            sink->Release();
        }
        self->Release();
    }

    kernel::SpinLock lock_;
    std::vector<IServiceSink*> members_; // each with a reference
    kernel::Dpc dpc_{&ServiceGroup::serve, this};
};

} // namespace

kernel::NTSTATUS PcNewServiceGroup(IServiceGroup** serviceGroup, kernel::IUnknown* outerUnknown) {
    if (serviceGroup == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *serviceGroup = nullptr;
    if (outerUnknown != nullptr) return kernel::STATUS_INVALID_PARAMETER;
    auto* group = new ServiceGroup;
    if (group == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    *serviceGroup = group;
    return kernel::STATUS_SUCCESS;
}

} // namespace portcls
