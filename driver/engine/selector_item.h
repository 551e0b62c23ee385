// The selector item: the current input (1-based, 1 after construction) among
// the inputs of its input table, and the nodes that follow the selection.
// A change first tells every follower what is coming (new and old value),
// then stores the value, then tells every follower the value now current;
// each round stops at the first follower that fails, and the change stands.
#pragma once

#include "driver/engine/input_table_item.h"
#include "driver/engine/reference_list.h"
#include "driver/engine/stream_binding.h"

#include <cstdint>

inline constexpr kernel::PoolTag SelectorStoreTag = kernel::poolTag("SelT");

// The selector item's face. Its id is shared: a selector unit (an entity)
// answers ISelectorUnit (driver/devmodel/unit_faces.h) under the same id,
// with other slots (no AddListener). Only items are children of the HAL, so
// a caller that queries this face takes its object from the HAL, never from
// an entity list.
class ISelectorControl : public kernel::IUnknown {
public:
    virtual kernel::NTSTATUS GetCurrentInput(std::uint32_t* input) = 0;
    virtual kernel::NTSTATUS SetCurrentInput(std::uint32_t input) = 0;
    virtual kernel::NTSTATUS GetInputCount(std::uint32_t* count) = 0;
    // The follower is kept with a reference.
    virtual kernel::NTSTATUS AddListener(IStreamBinding* listener) = 0;

protected:
    ~ISelectorControl() = default;
};

class CSelectorItem : public CForwardingUnknown<CInputTableItem, ISelectorControl> {
public:
    CSelectorItem(kernel::IUnknown* outer, std::uint32_t id)
        : CForwardingUnknown(outer, id, item_type::selector) {}

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    kernel::NTSTATUS GetCurrentInput(std::uint32_t* input) override;
    // Inputs are numbered from 1 to the number of inputs.
    kernel::NTSTATUS SetCurrentInput(std::uint32_t input) override;
    kernel::NTSTATUS GetInputCount(std::uint32_t* count) override;
    kernel::NTSTATUS AddListener(IStreamBinding* listener) override;

private:
    std::uint32_t m_ulCurrent = 1;
    CReferenceList<IStreamBinding> m_Listeners;
};
