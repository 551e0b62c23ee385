// The entity class of each AudioControl subtype, per release.
#include "driver/devmodel/control_walk.h"
#include "driver/devmodel/input_terminal.h"
#include "driver/devmodel/output_terminal.h"
#include "driver/devmodel/parsed_entity.h"
#include "driver/devmodel/uac1_feature_unit.h"
#include "driver/devmodel/uac1_units.h"
#include "driver/devmodel/uac2_clock_source.h"
#include "driver/devmodel/uac2_feature_unit.h"
#include "driver/devmodel/uac2_units.h"
#include "driver/devmodel/uac_device.h"

kernel::NTSTATUS CreateUac1Entity(CUacDevice& device, std::span<const std::uint8_t> descriptor,
                                  IAudioNode** entity) {
    namespace subtype = usb::uac1::ac_subtype;
    switch (descriptor[2]) {
    case subtype::inputTerminal:
        return CreateParsedEntity<CUac1InputTerminal>(device, descriptor, entity);
    case subtype::outputTerminal:
        return CreateParsedEntity<CUac1OutputTerminal>(device, descriptor, entity);
    case subtype::mixerUnit:
        return CreateParsedEntity<CUac1MixerUnit>(device, descriptor, entity);
    case subtype::selectorUnit:
        return CreateParsedEntity<CUac1SelectorUnit>(device, descriptor, entity);
    case subtype::featureUnit:
        return CreateParsedEntity<CUac1FeatureUnit>(device, descriptor, entity);
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
        return CreateParsedEntity<CUac2InputTerminal>(device, descriptor, entity);
    case subtype::outputTerminal:
        return CreateParsedEntity<CUac2OutputTerminal>(device, descriptor, entity);
    case subtype::mixerUnit:
        return CreateParsedEntity<CUac2MixerUnit>(device, descriptor, entity);
    case subtype::selectorUnit:
        return CreateParsedEntity<CUac2SelectorUnit>(device, descriptor, entity);
    case subtype::featureUnit:
        return CreateParsedEntity<CUac2FeatureUnit>(device, descriptor, entity);
    case subtype::extensionUnit:
        return CreateParsedEntity<CUac2MixerUnit, true>(device, descriptor, entity);
    case subtype::clockSource:
        return CreateParsedEntity<CUac2ClockSource>(device, descriptor, entity);
    default:
        return kernel::STATUS_UNSUCCESSFUL;
    }
}
