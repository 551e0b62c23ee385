#include "driver/engine/level_item.h"

kernel::NTSTATUS CLevelItem::NonDelegatingQueryInterface(const kernel::Guid& id, void** object) {
    return AnswerAfterBase(CChannelItem::NonDelegatingQueryInterface(id, object),
                           static_cast<ILevelControl*>(this), id, IID_ILevelControl, object);
}

kernel::NTSTATUS CLevelItem::GetLevel(std::uint32_t index, std::int32_t* value) {
    if (value == nullptr || !m_Values.IsValid() || index > m_ulChannels)
        return kernel::STATUS_INVALID_PARAMETER;
    *value = m_Values.Get<std::int32_t>()[index];
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CLevelItem::SetLevel(std::uint32_t index, std::int32_t value) {
    if (!m_Values.IsValid() || index > m_ulChannels) return kernel::STATUS_INVALID_PARAMETER;
    m_Values.Get<std::int32_t>()[index] = value;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CLevelItem::GetLevelRange(std::int32_t* maximum, std::int32_t* minimum,
                                           std::int32_t* step) {
    if (maximum == nullptr || minimum == nullptr || step == nullptr)
        return kernel::STATUS_INVALID_PARAMETER;
    *maximum = m_lMaximum;
    *minimum = m_lMinimum;
    *step = m_lStep;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CLevelItem::AllocateLevel(std::uint32_t sourceId, std::uint32_t channels,
                                           std::int32_t maximum, std::int32_t minimum,
                                           std::int32_t step) {
    const kernel::NTSTATUS status =
        AllocateValues(sourceId, channels, sizeof(std::int32_t), LevelValueTag);
    if (!kernel::succeeded(status)) return status;
    m_lMaximum = maximum;
    m_lMinimum = minimum;
    m_lStep = step;
    return kernel::STATUS_SUCCESS;
}
