// What the device model's tests share: the names they use, a HAL with no
// descriptors, reading a node's id list and an entity's items.
#pragma once

#include "driver/devmodel/uac_entity.h"
#include "driver/tests/engine_test_doubles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <vector>

namespace devmodel_test {

using engine_test::Held;
using engine_test::Make;
using kernel::NTSTATUS;
using kernel::STATUS_INSUFFICIENT_RESOURCES;
using kernel::STATUS_INVALID_PARAMETER;
using kernel::STATUS_SUCCESS;
using kernel::STATUS_UNSUCCESSFUL;

// One decibel as levels count it, and a refusal from the device.
inline constexpr std::int32_t Db = 65536;
inline constexpr NTSTATUS DeviceStall = kernel::statusFromBits(0xC0000001);

// A HAL with no descriptors of its own: the tests add the units.
class CPlainHal : public CAudioHal {
public:
    using CAudioHal::CAudioHal;
    kernel::NTSTATUS ParseDescriptors() override { return kernel::STATUS_SUCCESS; }
};

inline std::vector<std::uint32_t> IdsOf(IAudioNode& node) {
    std::vector<std::uint32_t> ids(node.GetIdCount() + 1, 0xEEEEEEEE);
    std::uint32_t count = static_cast<std::uint32_t>(ids.size());
    EXPECT_EQ(node.GetIdList(&count, ids.data()), kernel::STATUS_SUCCESS);
    ids.resize(count);
    return ids;
}

// An entity's items, front to back.
inline std::vector<IAudioNode*> Items(CUacEntity& entity) {
    std::vector<IAudioNode*> items;
    for (std::uint32_t index = 0;; ++index) {
        IAudioNode* item = nullptr;
        EXPECT_EQ(entity.GetItemAt(index, &item), STATUS_SUCCESS);
        if (item == nullptr) return items;
        items.push_back(item);
    }
}

// The kinds of an entity's items, front to back.
inline std::vector<std::uint32_t> ItemTypes(CUacEntity& entity) {
    std::vector<std::uint32_t> types;
    for (IAudioNode* item : Items(entity)) types.push_back(item->GetType());
    return types;
}

// The number of references an object holds now.
inline std::uint32_t References(kernel::IUnknown& object) {
    object.AddRef();
    return object.Release();
}

// Parses the unit again and again with its n-th allocation refused, until
// the parse makes fewer than n: no refused parse leaves anything behind, the
// last succeeds, and check sees the HAL's child count after each success.
template <class Unit, class Check>
void ExpectCleanUnderRefusals(std::span<const std::uint8_t> bytes, kernel::IUnknown* device,
                              io::DeviceObject* settings, Check check) {
    for (std::uint64_t n = 1;; ++n) {
        SCOPED_TRACE(n);
        const std::size_t liveBefore = kernel::poolLiveBlocks();
        bool exhausted = false;
        {
            Held<CPlainHal> hal(Make<CPlainHal>());
            ASSERT_EQ(hal->Init(nullptr, settings, nullptr, nullptr), STATUS_SUCCESS);
            Held<Unit> unit(Make<Unit>());
            const std::uint64_t start = kernel::poolRequestCount();
            kernel::failPoolRequest(n);
            const NTSTATUS status = unit->Parse(bytes, device, hal.get());
            exhausted = kernel::poolRequestCount() - start < n;
            kernel::clearPoolFaults();
            if (exhausted) {
                EXPECT_EQ(status, STATUS_SUCCESS);
            }
            if (status == STATUS_SUCCESS) check(hal->GetChildCount());
        }
        EXPECT_EQ(kernel::poolLiveBlocks(), liveBefore);
        if (exhausted) return;
    }
}

} // namespace devmodel_test
