#include "driver/engine/effect_parameters_item.h"

kernel::NTSTATUS ReportIdentifier(const kernel::Guid& identifier, kernel::Guid* out) {
    if (out == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *out = identifier;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CEffectParametersItem::NonDelegatingQueryInterface(const kernel::Guid& id,
                                                                    void** object) {
    return AnswerAfterBase(CAudioNode::NonDelegatingQueryInterface(id, object),
                           static_cast<IEffectParameters*>(this), id, IID_IEffectParameters,
                           object);
}

kernel::NTSTATUS CEffectParametersItem::GetIdentifier(kernel::Guid* identifier) {
    return ReportIdentifier(m_Identifier, identifier);
}
