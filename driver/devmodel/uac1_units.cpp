#include "driver/devmodel/uac1_units.h"

#include "driver/devmodel/entity_request.h"
#include "driver/devmodel/unit_controls.h"
#include "platform/usb/audio_requests.h"

namespace {

constexpr std::size_t InputCountAt = 4;
constexpr std::size_t SourcesAt = 5;

// The checked descriptor copied, its sources stored, the controls made and
// chained.
template <class Unit>
kernel::NTSTATUS ParseUnit(Unit& unit, std::span<const std::uint8_t> bytes,
                           kernel::IUnknown* device, CAudioHal* hal, std::uint8_t subtype) {
    if (device == nullptr || hal == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    kernel::NTSTATUS status = CheckEntityDescriptor(bytes, usb::AudioRelease::uac1, subtype);
    if (kernel::succeeded(status)) status = unit.StoreDescriptor(bytes, device);
    if (kernel::succeeded(status)) status = unit.CreateControls(hal);
    if (kernel::succeeded(status)) status = unit.ChainItems();
    return status;
}

// The descriptor's baSourceID list as the entity's sources. The descriptor
// rules have checked that the list lies within it.
kernel::NTSTATUS StoreSourceList(CUacEntity& unit, std::span<const std::uint8_t> descriptor) {
    const std::uint32_t count = descriptor[InputCountAt];
    std::uint32_t sources[255] = {};
    for (std::uint32_t i = 0; i < count; ++i) sources[i] = descriptor[SourcesAt + i];
    return unit.SetIdList(count, count != 0 ? sources : nullptr);
}

// Allocates a control with the next node id, binds it, and adds it to the
// HAL and the unit.
template <class Control, class Bind>
kernel::NTSTATUS AddOneControl(CUacEntity& unit, CAudioHal& hal, Bind bind) {
    Control* control = nullptr;
    kernel::NTSTATUS status = CreateDriverObject<Control>(
        &control, nullptr, kernel::PoolType::NonPagedNx, Uac1EntityTag, hal.GetChildCount());
    if (!kernel::succeeded(status)) return status;
    status = bind(*control);
    if (kernel::succeeded(status)) status = hal.AddChildObject(control);
    if (kernel::succeeded(status)) status = unit.AddItem(control);
    control->NonDelegatingRelease();
    return status;
}

} // namespace

kernel::NTSTATUS CUac1SelectorUnit::NonDelegatingQueryInterface(const kernel::Guid& id,
                                                                void** object) {
    return AnswerAfterBase(CUacEntity::NonDelegatingQueryInterface(id, object),
                           static_cast<ISelectorUnit*>(this), id, IID_ISelectorUnit, object);
}

kernel::NTSTATUS CUac1SelectorUnit::Parse(std::span<const std::uint8_t> bytes,
                                          kernel::IUnknown* device, CAudioHal* hal) {
    return ParseUnit(*this, bytes, device, hal, usb::uac1::ac_subtype::selectorUnit);
}

kernel::NTSTATUS CUac1SelectorUnit::CreateControls(CAudioHal* hal) {
    if (hal == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    const kernel::NTSTATUS status = StoreSourceList(*this, Descriptor());
    if (!kernel::succeeded(status)) return status;
    io::DeviceObject* settings = hal->GetDeviceObject();
    return AddOneControl<CUacSelectorControl>(*this, *hal, [&](CUacSelectorControl& control) {
        return control.Bind(static_cast<ISelectorUnit*>(this), settings);
    });
}

kernel::NTSTATUS CUac1SelectorUnit::GetCurrentInput(std::uint32_t* input) {
    if (input == nullptr || Descriptor().size() < SourcesAt)
        return kernel::STATUS_INVALID_PARAMETER;
    std::uint8_t current = 0;
    const kernel::NTSTATUS status =
        ReadEntityExactly(Device(), {false, true, usb::uac1::request::getCur, 0,
                                     static_cast<std::uint8_t>(GetId()), &current, 1});
    if (kernel::succeeded(status)) *input = current;
    return status;
}

kernel::NTSTATUS CUac1SelectorUnit::SetCurrentInput(std::uint32_t input) {
    std::uint32_t inputs = 0;
    const kernel::NTSTATUS status = GetInputCount(&inputs);
    if (!kernel::succeeded(status)) return status;
    if (input == 0 || input > inputs) return kernel::STATUS_INVALID_PARAMETER;
    std::uint8_t wire = static_cast<std::uint8_t>(input);
    return SendEntityRequest(Device(), {false, false, usb::uac1::request::setCur, 0,
                                        static_cast<std::uint8_t>(GetId()), &wire, 1});
}

kernel::NTSTATUS CUac1SelectorUnit::GetInputCount(std::uint32_t* count) {
    const std::span<const std::uint8_t> descriptor = Descriptor();
    if (count == nullptr || descriptor.size() < SourcesAt ||
        descriptor[2] != usb::uac1::ac_subtype::selectorUnit)
        return kernel::STATUS_INVALID_PARAMETER;
    *count = descriptor[InputCountAt];
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUac1MixerUnit::Parse(std::span<const std::uint8_t> bytes,
                                       kernel::IUnknown* device, CAudioHal* hal) {
    return ParseUnit(*this, bytes, device, hal, usb::uac1::ac_subtype::mixerUnit);
}

kernel::NTSTATUS CUac1MixerUnit::CreateControls(CAudioHal* hal) {
    if (hal == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    const kernel::NTSTATUS status = StoreSourceList(*this, Descriptor());
    if (!kernel::succeeded(status)) return status;
    return AddOneControl<CUacMixerControl>(
        *this, *hal, [&](CUacMixerControl& control) { return control.Bind(this); });
}
