// The reference counting of the tests' toy objects, and a count of those
// alive, so a test sees that the port layer let every one of them go.
#pragma once

#include "platform/kernel/unknown.h"

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <utility>

namespace portcls::testing {

inline std::atomic<int> liveToys{0};

class ToyCounted {
public:
    ToyCounted() { ++liveToys; }
    virtual ~ToyCounted() { --liveToys; }
    ToyCounted(const ToyCounted&) = delete;
    ToyCounted& operator=(const ToyCounted&) = delete;

protected:
    std::uint32_t addRef() { return ++refs_; }
    std::uint32_t release() {
        const std::uint32_t left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    // Answers the first identifier that matches, with a reference.
    kernel::NTSTATUS answer(const kernel::Guid& id, void** object,
                            std::initializer_list<std::pair<kernel::Guid, void*>> interfaces) {
        for (const auto& [known, pointer] : interfaces) {
            if (known != id) continue;
            addRef();
            *object = pointer;
            return kernel::STATUS_SUCCESS;
        }
        *object = nullptr;
        return kernel::STATUS_INVALID_PARAMETER;
    }

private:
    std::atomic<std::uint32_t> refs_{1};
};

#define TOY_UNKNOWN(...)                                                                           \
    kernel::NTSTATUS QueryInterface(const kernel::Guid& id, void** object) override {              \
        return answer(id, object, {__VA_ARGS__});                                                  \
    }                                                                                              \
    std::uint32_t AddRef() override { return addRef(); }                                           \
    std::uint32_t Release() override { return release(); }

} // namespace portcls::testing
