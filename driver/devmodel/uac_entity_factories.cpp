// The entity class of each AudioControl subtype, per release.
#include "driver/devmodel/control_walk.h"
#include "driver/devmodel/input_terminal.h"
#include "driver/devmodel/output_terminal.h"
#include "driver/devmodel/uac1_feature_unit.h"
#include "driver/devmodel/uac1_units.h"
#include "driver/devmodel/uac2_clock_source.h"
#include "driver/devmodel/uac2_feature_unit.h"
#include "driver/devmodel/uac2_units.h"
#include "driver/devmodel/uac_device.h"

namespace {

// The parser is given the device twice over: as the USB face its requests
// go through and as the HAL its controls join. An extension unit is a mixer
// entity with the extension parser.
template <class Entity, bool Extension = false>
kernel::NTSTATUS CreateParsed(CUacDevice& device, std::span<const std::uint8_t> descriptor,
                              IAudioNode** result) {
    auto* entity = new (kernel::PoolType::NonPagedNx, device.Tag()) Entity(nullptr);
    if (entity == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    entity->NonDelegatingAddRef();
    kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    if constexpr (Extension)
        status = entity->ParseExtension(descriptor, device.UsbDevice(), &device);
    else
        status = entity->Parse(descriptor, device.UsbDevice(), &device);
    if (!kernel::succeeded(status)) {
        entity->NonDelegatingRelease();
        return status;
    }
    *result = static_cast<IAudioNode*>(entity);
    return kernel::STATUS_SUCCESS;
}

} // namespace

kernel::NTSTATUS CreateUac1Entity(CUacDevice& device, std::span<const std::uint8_t> descriptor,
                                  IAudioNode** entity) {
    namespace subtype = usb::uac1::ac_subtype;
    switch (descriptor[2]) {
    case subtype::inputTerminal:
        return CreateParsed<CUac1InputTerminal>(device, descriptor, entity);
    case subtype::outputTerminal:
        return CreateParsed<CUac1OutputTerminal>(device, descriptor, entity);
    case subtype::mixerUnit:
        return CreateParsed<CUac1MixerUnit>(device, descriptor, entity);
    case subtype::selectorUnit:
        return CreateParsed<CUac1SelectorUnit>(device, descriptor, entity);
    case subtype::featureUnit:
        return CreateParsed<CUac1FeatureUnit>(device, descriptor, entity);
    default:
        return kernel::STATUS_UNSUCCESSFUL;
    }
}

// Clock selectors and every subtype without a class end the walk.
kernel::NTSTATUS CreateUac2Entity(CUacDevice& device, std::span<const std::uint8_t> descriptor,
                                  IAudioNode** entity) {
    namespace subtype = usb::uac2::ac_subtype;
    switch (descriptor[2]) {
    case subtype::inputTerminal:
        return CreateParsed<CUac2InputTerminal>(device, descriptor, entity);
    case subtype::outputTerminal:
        return CreateParsed<CUac2OutputTerminal>(device, descriptor, entity);
    case subtype::mixerUnit:
        return CreateParsed<CUac2MixerUnit>(device, descriptor, entity);
    case subtype::selectorUnit:
        return CreateParsed<CUac2SelectorUnit>(device, descriptor, entity);
    case subtype::featureUnit:
        return CreateParsed<CUac2FeatureUnit>(device, descriptor, entity);
    case subtype::extensionUnit:
        return CreateParsed<CUac2MixerUnit, true>(device, descriptor, entity);
    case subtype::clockSource:
        return CreateParsed<CUac2ClockSource>(device, descriptor, entity);
    default:
        return kernel::STATUS_UNSUCCESSFUL;
    }
}
