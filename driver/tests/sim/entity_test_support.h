// What the device model's tests share: making entities from descriptor bytes
// and reading a node's id list.
#pragma once

#include "driver/devmodel/uac_entity.h"
#include "driver/tests/engine_test_doubles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace devmodel_test {

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

// The kinds of an entity's items, front to back.
inline std::vector<std::uint32_t> ItemTypes(CUacEntity& entity) {
    std::vector<std::uint32_t> types;
    for (std::uint32_t index = 0;; ++index) {
        IAudioNode* item = nullptr;
        EXPECT_EQ(entity.GetItemAt(index, &item), kernel::STATUS_SUCCESS);
        if (item == nullptr) return types;
        types.push_back(item->GetType());
    }
}

// The number of references an object holds now.
inline std::uint32_t References(kernel::IUnknown& object) {
    object.AddRef();
    return object.Release();
}

} // namespace devmodel_test
