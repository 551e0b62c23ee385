#include "driver/engine/mixer_item.h"

kernel::NTSTATUS CMixerItem::NonDelegatingQueryInterface(const kernel::Guid& id, void** object) {
    return AnswerAfterBase(CAudioNode::NonDelegatingQueryInterface(id, object),
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

kernel::NTSTATUS CMixerItem::SetInputs(std::uint32_t count, const std::uint32_t* ids) {
    if (ids == nullptr || count == 0 || count != GetIdCount())
        return kernel::STATUS_INVALID_PARAMETER;
    return SetIdList(count, ids);
}
