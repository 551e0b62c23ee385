#include "driver/engine/terminal_type_item.h"

kernel::NTSTATUS CTerminalTypeItem::NonDelegatingQueryInterface(const kernel::Guid& id,
                                                                void** object) {
    return AnswerAfterBase(CAudioNode::NonDelegatingQueryInterface(id, object),
                           static_cast<ITerminalTypeSelection*>(this), id,
                           IID_ITerminalTypeSelection, object);
}

kernel::NTSTATUS CTerminalTypeItem::SelectType(std::uint32_t code) {
    if (code == m_Codes.Current() && m_Codes.Count() != 0) return kernel::STATUS_SUCCESS;
    const kernel::NTSTATUS status = MarkSelected(code);
    if (!kernel::succeeded(status)) return status;
    TellFollowers(code, 0);
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CTerminalTypeItem::MarkSelected(std::uint32_t code) {
    const kernel::NTSTATUS status = m_Codes.Select(code);
    if (kernel::succeeded(status)) m_ulChanged = 1;
    return status;
}

void CTerminalTypeItem::TellFollowers(std::uint32_t code, std::uint32_t value) {
    m_Followers.ForEachUntilFailure(
        [code, value](IStreamBinding* follower) { return follower->OnValueChanging(code, value); });
}

kernel::NTSTATUS CTerminalTypeItem::AddFollower(IStreamBinding* follower) {
    return m_Followers.CreateAndAppend(follower, TerminalStoreTag);
}
