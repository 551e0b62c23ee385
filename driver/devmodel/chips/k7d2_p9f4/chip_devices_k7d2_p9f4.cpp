#include "driver/devmodel/chips/chip_device_create.h"
#include "driver/devmodel/chips/chip_devices.h"
#include "driver/devmodel/chips/k7d2_p9f4/chip_feature_units.h"
#include "driver/devmodel/chips/k7d2_p9f4/chip_terminals.h"
#include "driver/devmodel/control_walk.h"
#include "driver/devmodel/parsed_entity.h"

namespace {

namespace subtype = usb::uac1::ac_subtype;

constexpr ChipEntityRow K7D2Entities[] = {
    {subtype::inputTerminal, 0, CreateParsedEntity<CK7D2InputTerminal>},
    {subtype::outputTerminal, 0, CreateParsedEntity<CK7D2OutputTerminal>},
    {subtype::featureUnit, 9, CreateParsedEntity<CK7D2FeatureUnit1>},
    {subtype::featureUnit, 10, CreateParsedEntity<CK7D2FeatureUnit2>},
    {subtype::featureUnit, 11, CreateParsedEntity<CK7D2FeatureUnit2>},
    {subtype::featureUnit, 12, CreateParsedEntity<CK7D2FeatureUnit2>},
    {subtype::featureUnit, 13, CreateParsedEntity<CK7D2FeatureUnit3>},
    {subtype::featureUnit, 14, CreateParsedEntity<CK7D2FeatureUnit3>},
};

constexpr ChipEntityRow P9F4Entities[] = {
    {subtype::inputTerminal, 0, CreateParsedEntity<CP9F4InputTerminal>},
    {subtype::outputTerminal, 0, CreateParsedEntity<CP9F4OutputTerminal>},
    {subtype::featureUnit, 9, CreateParsedEntity<CP9F4FeatureUnit1>},
    {subtype::featureUnit, 10, CreateParsedEntity<CP9F4FeatureUnit2>},
    {subtype::featureUnit, 13, CreateParsedEntity<CP9F4FeatureUnit3>},
};

constexpr std::uint8_t P9F4HeadphoneTerminalId = 6;
constexpr std::uint16_t P9F4HeadsetVendor = 0x1B1C;
constexpr std::uint16_t P9F4HeadsetProduct = 0x0A06;

} // namespace

template kernel::NTSTATUS CreateChipDevice<CUac1DeviceK7D2>(INonDelegatingUnknown**,
                                                            kernel::IUnknown*, std::uint16_t,
                                                            std::uint16_t);
template kernel::NTSTATUS CreateChipDevice<CUac1DeviceP9F4>(INonDelegatingUnknown**,
                                                            kernel::IUnknown*, std::uint16_t,
                                                            std::uint16_t);

kernel::NTSTATUS CUac1DeviceK7D2::SetInfoMasks(IUsbDevice&, EndpointInfoRecord& info) {
    info.words[0] = 0x3FE02F;
    info.words[4] = 12;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUac1DeviceK7D2::ParseControlInterface(const usb::InterfaceDescriptor* interface,
                                                        std::uint32_t length) {
    return WalkChipControlInterface(*this, interface, length, {K7D2Entities, 0});
}

kernel::NTSTATUS CUac1DeviceP9F4::SetInfoMasks(IUsbDevice&, EndpointInfoRecord& info) {
    info.words[0] =
        VendorId() == P9F4HeadsetVendor && ProductId() == P9F4HeadsetProduct ? 0x24 : 0x0F;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUac1DeviceP9F4::ParseControlInterface(const usb::InterfaceDescriptor* interface,
                                                        std::uint32_t length) {
    return WalkChipControlInterface(*this, interface, length,
                                    {P9F4Entities, P9F4HeadphoneTerminalId});
}
