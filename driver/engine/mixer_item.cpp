#include "driver/engine/mixer_item.h"

kernel::NTSTATUS CMixerItem::NonDelegatingQueryInterface(const kernel::Guid& id, void** object) {
    return AnswerAfterBase(CInputTableItem::NonDelegatingQueryInterface(id, object),
                           static_cast<IJackSwitch*>(this), id, IID_IJackSwitch, object);
}

kernel::NTSTATUS CMixerItem::SetJackSwitch(std::uint32_t flag) {
    constexpr std::uint32_t switchedState = 5;
    if (flag != 0) {
        m_ulState[0] = 0;
        m_ulState[1] = 0;
    } else {
        m_ulState[0] = switchedState;
        m_ulState[1] = m_ulSwitchedValue;
    }
    m_ulFlag = flag;
    return kernel::STATUS_SUCCESS;
}
