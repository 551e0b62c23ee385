#include "driver/engine/selector_item.h"

kernel::NTSTATUS CSelectorItem::NonDelegatingQueryInterface(const kernel::Guid& id, void** object) {
    return AnswerAfterBase(CInputTableItem::NonDelegatingQueryInterface(id, object),
                           static_cast<ISelectorControl*>(this), id, IID_ISelectorControl, object);
}

kernel::NTSTATUS CSelectorItem::GetCurrentInput(std::uint32_t* input) {
    return ReportValue(m_ulCurrent, input);
}

kernel::NTSTATUS CSelectorItem::SetCurrentInput(std::uint32_t input) {
    if (input == 0 || input > GetIdCount()) return kernel::STATUS_INVALID_PARAMETER;
    const std::uint32_t previous = m_ulCurrent;
    m_Listeners.ForEachUntilFailure(
        [&](IStreamBinding* listener) { return listener->OnValueChanging(input, previous); });
    m_ulCurrent = input;
    m_Listeners.ForEachUntilFailure(
        [&](IStreamBinding* listener) { return listener->SetCurrentValue(input); });
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CSelectorItem::GetInputCount(std::uint32_t* count) {
    return ReportValue(GetIdCount(), count);
}

kernel::NTSTATUS CSelectorItem::AddListener(IStreamBinding* listener) {
    return m_Listeners.CreateAndAppend(listener, SelectorStoreTag);
}
