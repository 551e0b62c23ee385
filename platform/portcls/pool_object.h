// The port layer's objects live in the pool under their own tags, so one
// that is never released shows as a leak; an object is made with
// `new Class(...)`, which gives null (and constructs nothing) when the pool
// refuses the block. RefCount is the count behind AddRef and Release.
#pragma once

#include "platform/kernel/guid.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unknown.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace portcls {

template <kernel::PoolTag Tag> class PoolAllocated {
public:
    static void* operator new(std::size_t bytes) noexcept {
        return kernel::allocatePool(kernel::PoolType::NonPagedNx, bytes, Tag);
    }
    static void operator delete(void* block) { kernel::freePoolWithTag(block, Tag); }
};

class RefCount {
public:
    std::uint32_t add() { return ++count_; }
    // Adds one unless the count already reached 0 (the owner is going).
    bool addIfAlive() {
        std::uint32_t count = count_.load();
        while (count != 0)
            if (count_.compare_exchange_weak(count, count + 1)) return true;
        return false;
    }
    // The count left; the owner deletes itself at 0.
    std::uint32_t drop() { return --count_; }

private:
    std::atomic<std::uint32_t> count_{1};
};

// An object of the port layer with one interface, answered under
// IUnknown and under each of the identifiers given; it lives in the pool
// under the tag and goes with its last reference.
template <class Interface, kernel::PoolTag Tag, const kernel::Guid&... Ids>
class PortLayerObject : public Interface, public PoolAllocated<Tag> {
public:
    kernel::NTSTATUS QueryInterface(const kernel::Guid& id, void** object) override {
        if (id == kernel::IID_IUnknown || ((id == Ids) || ...)) {
            AddRef();
            *object = static_cast<Interface*>(this);
            return kernel::STATUS_SUCCESS;
        }
        *object = nullptr;
        return kernel::STATUS_INVALID_PARAMETER;
    }
    std::uint32_t AddRef() override { return refs_.add(); }
    std::uint32_t Release() override {
        const std::uint32_t left = refs_.drop();
        if (left == 0) delete this;
        return left;
    }

protected:
    virtual ~PortLayerObject() = default;

private:
    RefCount refs_;
};

namespace pool_tag {
inline constexpr kernel::PoolTag adapterDevice = kernel::poolTag("PcAd");
inline constexpr kernel::PoolTag port = kernel::poolTag("PcPo");
inline constexpr kernel::PoolTag serviceGroup = kernel::poolTag("PcSg");
inline constexpr kernel::PoolTag registryKey = kernel::poolTag("PcRk");
inline constexpr kernel::PoolTag filter = kernel::poolTag("PcFi");
inline constexpr kernel::PoolTag pin = kernel::poolTag("PcPi");
inline constexpr kernel::PoolTag eventEntry = kernel::poolTag("PcEv");
} // namespace pool_tag

} // namespace portcls
