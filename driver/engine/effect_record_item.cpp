#include "driver/engine/effect_record_item.h"

kernel::NTSTATUS CEffectRecordItem::NonDelegatingQueryInterface(const kernel::Guid& id,
                                                                void** object) {
    return AnswerAfterBase(CAudioNode::NonDelegatingQueryInterface(id, object),
                           static_cast<IEffectRecord*>(this), id, IID_IEffectRecord, object);
}

kernel::NTSTATUS CEffectRecordItem::SetEnable(std::uint8_t enable) {
    CMutexLockScope hold(m_Lock);
    m_bEnable = enable;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CEffectRecordItem::GetEnable(std::uint8_t* enable) {
    if (enable == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    CMutexLockScope hold(m_Lock);
    *enable = m_bEnable;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CEffectRecordItem::SetUpRecord(const kernel::Guid& identifier,
                                                std::uint32_t parameterCount,
                                                std::uint32_t sourceId) {
    const kernel::NTSTATUS status = SetSingleId(sourceId);
    if (!kernel::succeeded(status)) return status;
    m_Identifier = identifier;
    m_ulParameterCount = parameterCount;
    return kernel::STATUS_SUCCESS;
}
