#include "driver/devmodel/uac1_units.h"

#include "driver/devmodel/entity_controls.h"
#include "driver/devmodel/unit_controls.h"
#include "platform/usb/audio_requests.h"

kernel::NTSTATUS CUac1MixerUnit::Parse(std::span<const std::uint8_t> bytes,
                                       kernel::IUnknown* device, CAudioHal* hal) {
    return ParseEntity(bytes, device, hal, usb::AudioRelease::uac1,
                       usb::uac1::ac_subtype::mixerUnit);
}

kernel::NTSTATUS CUac1MixerUnit::CreateControls(CAudioHal* hal) {
    if (hal == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    const kernel::NTSTATUS status = StoreSourceList(4);
    if (!kernel::succeeded(status)) return status;
    return AddEntityControl<CUacMixerControl>(
        *this, *hal, Uac1EntityTag, [&](CUacMixerControl& control) { return control.Bind(this); });
}
