#include "driver/devmodel/chips/k7d2_p9f4/chip_terminals.h"

kernel::NTSTATUS CChipOutputTerminal::OnDeviceChange(std::uint8_t, std::uint8_t,
                                                     std::uint32_t* nodeId) {
    if (nodeId != nullptr) *nodeId = NoChangedNode;
    ReloadTypeItems();
    return kernel::STATUS_SUCCESS;
}
