#include "driver/engine/effect_parameters_item.h"

kernel::NTSTATUS CEffectParametersItem::NonDelegatingQueryInterface(const kernel::Guid& id,
                                                                    void** object) {
    return AnswerAfterBase(CAudioNode::NonDelegatingQueryInterface(id, object),
                           static_cast<IEffectParameters*>(this), id, IID_IEffectParameters,
                           object);
}
