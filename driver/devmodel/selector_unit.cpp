#include "driver/devmodel/selector_unit.h"

#include "driver/devmodel/entity_controls.h"
#include "driver/devmodel/entity_request.h"
#include "driver/devmodel/unit_controls.h"

namespace {

constexpr std::size_t InputCountAt = 4;

} // namespace

kernel::NTSTATUS CSelectorUnit::NonDelegatingQueryInterface(const kernel::Guid& id, void** object) {
    return AnswerAfterBase(CUacEntity::NonDelegatingQueryInterface(id, object),
                           static_cast<ISelectorUnit*>(this), id, IID_ISelectorUnit, object);
}

kernel::NTSTATUS CSelectorUnit::Parse(std::span<const std::uint8_t> bytes, kernel::IUnknown* device,
                                      CAudioHal* hal) {
    return ParseEntity(bytes, device, hal, m_Protocol.release, m_Protocol.subtype);
}

kernel::NTSTATUS CSelectorUnit::CreateControls(CAudioHal* hal) {
    if (hal == nullptr || !HoldsSelector()) return kernel::STATUS_INVALID_PARAMETER;
    const kernel::NTSTATUS status = StoreSourceList(InputCountAt);
    if (!kernel::succeeded(status)) return status;
    io::DeviceObject* settings = hal->GetDeviceObject();
    return AddEntityControl<CUacSelectorControl>(
        *this, *hal, m_Protocol.tag, [&](CUacSelectorControl& control) {
            return control.Bind(static_cast<ISelectorUnit*>(this), settings);
        });
}

bool CSelectorUnit::HoldsSelector() const {
    const std::span<const std::uint8_t> descriptor = Descriptor();
    return descriptor.size() > InputCountAt && descriptor[1] == 0x24 &&
           descriptor[2] == m_Protocol.subtype;
}

kernel::NTSTATUS CSelectorUnit::GetCurrentInput(std::uint32_t* input) {
    if (input == nullptr || !HoldsSelector()) return kernel::STATUS_INVALID_PARAMETER;
    std::uint8_t current = 0;
    const kernel::NTSTATUS status =
        ReadEntityExactly(Device(), {false, true, m_Protocol.read, m_Protocol.value,
                                     static_cast<std::uint8_t>(GetId()), &current, 1});
    if (kernel::succeeded(status)) *input = current;
    return status;
}

kernel::NTSTATUS CSelectorUnit::SetCurrentInput(std::uint32_t input) {
    std::uint32_t inputs = 0;
    const kernel::NTSTATUS status = GetInputCount(&inputs);
    if (!kernel::succeeded(status)) return status;
    if (input == 0 || input > inputs) return kernel::STATUS_INVALID_PARAMETER;
    std::uint8_t wire = static_cast<std::uint8_t>(input);
    return SendEntityRequest(Device(), {false, false, m_Protocol.write, m_Protocol.value,
                                        static_cast<std::uint8_t>(GetId()), &wire, 1});
}

kernel::NTSTATUS CSelectorUnit::GetInputCount(std::uint32_t* count) {
    if (count == nullptr || !HoldsSelector()) return kernel::STATUS_INVALID_PARAMETER;
    *count = Descriptor()[InputCountAt];
    return kernel::STATUS_SUCCESS;
}
