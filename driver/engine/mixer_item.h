// The mixer item of mixer and extension units: its input table is its id
// list, one entry per source of the unit, zero until the sources are linked.
// It also carries the jack switch: a capture endpoint sets the flag on each
// of its mixer items, which clears the two state words; clearing the flag
// puts back the switched state (5 and the stored value).
#pragma once

#include "driver/engine/input_table_item.h"

#include <cstdint>

class IJackSwitch : public kernel::IUnknown {
public:
    virtual kernel::NTSTATUS SetJackSwitch(std::uint32_t flag) = 0;

protected:
    ~IJackSwitch() = default;
};

class CMixerItem : public CForwardingUnknown<CInputTableItem, IJackSwitch> {
public:
    CMixerItem(kernel::IUnknown* outer, std::uint32_t id)
        : CForwardingUnknown(outer, id, item_type::mixer) {}

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    kernel::NTSTATUS SetJackSwitch(std::uint32_t flag) override;

    // The value the second state word takes when the flag is cleared.
    void SetSwitchedValue(std::uint32_t value) { m_ulSwitchedValue = value; }
    std::uint32_t GetJackSwitchFlag() const { return m_ulFlag; }
    std::uint32_t GetSwitchState(std::uint32_t word) const { return m_ulState[word & 1]; }

private:
    std::uint32_t m_ulFlag = 0;
    std::uint32_t m_ulState[2] = {};
    std::uint32_t m_ulSwitchedValue = 0;
};
