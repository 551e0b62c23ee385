#include "driver/engine/on_off_item.h"

kernel::NTSTATUS COnOffItem::NonDelegatingQueryInterface(const kernel::Guid& id, void** object) {
    return AnswerAfterBase(CChannelItem::NonDelegatingQueryInterface(id, object),
                           static_cast<IOnOffControl*>(this), id, IID_IOnOffControl, object);
}

kernel::NTSTATUS COnOffItem::GetOnOff(std::uint32_t channel, std::uint8_t* value) {
    if (value == nullptr || channel >= m_ulChannels) return kernel::STATUS_INVALID_PARAMETER;
    *value = m_Values.Get<std::uint8_t>()[channel];
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS COnOffItem::SetOnOff(std::uint32_t channel, std::uint8_t value) {
    if (channel >= m_ulChannels) return kernel::STATUS_INVALID_PARAMETER;
    m_Values.Get<std::uint8_t>()[channel] = value;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS COnOffItem::AllocateOnOff(std::uint32_t sourceId, std::uint32_t channels) {
    return AllocateValues(sourceId, channels, sizeof(std::uint8_t), m_ValueTag);
}
