#include "driver/devmodel/uac2_units.h"

#include "driver/devmodel/entity_controls.h"
#include "driver/devmodel/unit_controls.h"
#include "platform/usb/audio_descriptors.h"

namespace {

constexpr std::size_t MixerInputCountAt = 4;
constexpr std::size_t ExtensionInputCountAt = 6;

} // namespace

kernel::NTSTATUS CUac2MixerUnit::Parse(std::span<const std::uint8_t> bytes,
                                       kernel::IUnknown* device, CAudioHal* hal) {
    return ParseEntity(bytes, device, hal, usb::AudioRelease::uac2,
                       usb::uac2::ac_subtype::mixerUnit);
}

kernel::NTSTATUS CUac2MixerUnit::ParseExtension(std::span<const std::uint8_t> bytes,
                                                kernel::IUnknown* device, CAudioHal* hal) {
    return ParseEntity(bytes, device, hal, usb::AudioRelease::uac2,
                       usb::uac2::ac_subtype::extensionUnit);
}

kernel::NTSTATUS CUac2MixerUnit::CreateControls(CAudioHal* hal) {
    if (hal == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    const kernel::NTSTATUS status =
        StoreSourceList(GetType() == usb::uac2::ac_subtype::extensionUnit ? ExtensionInputCountAt
                                                                          : MixerInputCountAt);
    if (!kernel::succeeded(status)) return status;
    return AddEntityControl<CUacMixerControl>(
        *this, *hal, Uac2EntityTag, [&](CUacMixerControl& control) { return control.Bind(this); });
}
