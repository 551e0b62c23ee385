#include "driver/devmodel/chips/n3w8/n3w8_selector_unit.h"

#include "driver/devmodel/entity_request.h"

namespace {

constexpr std::size_t FirstSourceAt = 5;

struct ChipInput {
    std::uint8_t sourceId;
    std::uint8_t number;
};
// Stereo-mix record unit, microphone, line and S/PDIF record units.
constexpr ChipInput ChipInputs[] = {{2, 4}, {8, 1}, {15, 2}, {16, 3}};

} // namespace

std::uint8_t CN3W8SelectorUnit::ChipInputAt(std::uint32_t position) const {
    const std::span<const std::uint8_t> descriptor = Descriptor();
    const std::size_t at = FirstSourceAt + position - 1;
    if (position == 0 || at >= descriptor.size()) return 0;
    for (const ChipInput& input : ChipInputs)
        if (input.sourceId == descriptor[at]) return input.number;
    return 0;
}

kernel::NTSTATUS CN3W8SelectorUnit::GetCurrentInput(std::uint32_t* input) {
    if (input == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    std::uint32_t chipInput = 0;
    kernel::NTSTATUS status = CSelectorUnit::GetCurrentInput(&chipInput);
    if (!kernel::succeeded(status)) return status;
    std::uint32_t inputs = 0;
    status = GetInputCount(&inputs);
    if (!kernel::succeeded(status)) return status;
    for (std::uint32_t position = 1; position <= inputs; ++position) {
        if (ChipInputAt(position) == chipInput && chipInput != 0) {
            *input = position;
            return kernel::STATUS_SUCCESS;
        }
    }
    status = SetCurrentInput(1);
    if (kernel::succeeded(status)) *input = 1;
    return status;
}

kernel::NTSTATUS CN3W8SelectorUnit::SetCurrentInput(std::uint32_t input) {
    std::uint32_t inputs = 0;
    const kernel::NTSTATUS status = GetInputCount(&inputs);
    if (!kernel::succeeded(status)) return status;
    if (input == 0 || input > inputs) return kernel::STATUS_INVALID_PARAMETER;
    std::uint8_t chipInput = ChipInputAt(input);
    // A source the chip has no number for: the descriptor's own position.
    if (chipInput == 0) chipInput = static_cast<std::uint8_t>(input);
    return SendEntityRequest(Device(),
                             {false, false, N3W8SelectorProtocol.write, N3W8SelectorProtocol.value,
                              static_cast<std::uint8_t>(GetId()), &chipInput, 1});
}
