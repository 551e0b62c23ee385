#include "driver/common/maker_ids.h"
#include "driver/common/pool_buffer.h"
#include "driver/devmodel/chips/chip_device_create.h"
#include "driver/devmodel/chips/chip_devices.h"
#include "driver/devmodel/chips/q7k2/q7k2_feature_unit.h"
#include "driver/devmodel/chips/t6l1/t6l1_output_terminal.h"
#include "driver/devmodel/control_walk.h"
#include "driver/devmodel/parsed_entity.h"
#include "driver/devmodel/streaming_walk.h"
#include "platform/usb/requests.h"

namespace {

namespace subtype = usb::uac1::ac_subtype;

constexpr std::uint16_t SpeakerTerminalType = 0x0301;
constexpr std::uint32_t EffectRenderChannels = 8;
constexpr std::uint8_t DeviceDescriptorType = 1;

// Only a speaker terminal carries the virtualizer; any other output
// terminal is the generic one.
kernel::NTSTATUS CreateT6L1Terminal(CUacDevice& device, std::span<const std::uint8_t> descriptor,
                                    IAudioNode** entity) {
    if (descriptor.size() < 6 || (descriptor[4] | descriptor[5] << 8) != SpeakerTerminalType)
        return kernel::STATUS_NOT_SUPPORTED;
    return CreateParsedEntity<CT6L1OutputTerminal>(device, descriptor, entity);
}

constexpr ChipEntityRow T6L1Entities[] = {
    {subtype::outputTerminal, 0, CreateT6L1Terminal},
};

constexpr ChipEntityRow Q7K2Entities[] = {
    {subtype::featureUnit, 0, CreateParsedEntity<CQ7K2FeatureUnit>},
};

struct Q7K2Masks {
    std::uint16_t vendorId;
    std::uint16_t firstProduct;
    std::uint16_t lastProduct;
    std::uint32_t word0;
    std::uint32_t word6;
};

// The later revision's devices; the first row that holds the device
// applies.
constexpr Q7K2Masks Q7K2LaterDevices[] = {
    {0x17EF, 0x6073, 0x6073, 0x3E0084, 65},        {0x264A, 20483, 20483, 0x3E0084, 0},
    {0x2B0D, 0x0080, 0x0084, 0x3E0084, 64},        {0x2B0D, 0x0087, 0x008F, 0x3E0084, 64},
    {MakerVendorId, 0x0161, 0x0161, 0x3E0084, 64}, {MakerVendorId, 0x0166, 0x0166, 0x3E0084, 64},
    {0x2D99, 0x0024, 0x0024, 0x3E0084, 64},        {0x12CF, 0x0801, 0x0801, 0x3E0084, 64},
    {0x2B0D, 0x0086, 0x0086, 0x3E1080, 0},
};
constexpr std::uint32_t Q7K2OtherWord0 = 0x3E1084;

// The device's release number, from its device descriptor.
kernel::NTSTATUS ReadDeviceRelease(IUsbDevice& usb, std::uint16_t* release) {
    usb::DeviceDescriptor descriptor{};
    usb::DescriptorRequest request{};
    request.header.length = sizeof(request);
    request.header.function = usb::Function::getDescriptorFromDevice;
    request.descriptorType = DeviceDescriptorType;
    request.transfer.transferBuffer = &descriptor;
    request.transfer.transferBufferLength = sizeof(descriptor);
    const kernel::NTSTATUS status = usb.SubmitUrb(&request.header);
    if (!kernel::succeeded(status)) return status;
    if (request.transfer.transferBufferLength < sizeof(descriptor))
        return kernel::STATUS_UNSUCCESSFUL;
    *release = descriptor.bcdDevice.value();
    return kernel::STATUS_SUCCESS;
}

} // namespace

template kernel::NTSTATUS CreateChipDevice<CUac1DeviceT6L1>(INonDelegatingUnknown**,
                                                            kernel::IUnknown*, std::uint16_t,
                                                            std::uint16_t);
template kernel::NTSTATUS CreateChipDevice<CUac1DeviceQ7K2>(INonDelegatingUnknown**,
                                                            kernel::IUnknown*, std::uint16_t,
                                                            std::uint16_t);

kernel::NTSTATUS
CUac1EffectChipDevice::ParseStreamingInterfaces(const usb::ConfigurationDescriptor* configuration,
                                                const usb::InterfaceDescriptor* interface,
                                                std::uint32_t length) {
    return WalkStreamingInterfaces(*this, configuration, interface, length,
                                   {UsbStreamKind::effectRender, EffectRenderChannels});
}

kernel::NTSTATUS CUac1DeviceT6L1::SetInfoMasks(IUsbDevice&, EndpointInfoRecord& info) {
    info.words[0] = 0x28200;
    info.words[6] = 0;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUac1DeviceT6L1::ParseControlInterface(const usb::InterfaceDescriptor* interface,
                                                        std::uint32_t length) {
    return WalkChipControlInterface(*this, interface, length, {T6L1Entities, 0});
}

kernel::NTSTATUS CUac1DeviceQ7K2::SetInfoMasks(IUsbDevice& usb, EndpointInfoRecord& info) {
    std::uint16_t release = 0;
    const kernel::NTSTATUS status = ReadDeviceRelease(usb, &release);
    if (!kernel::succeeded(status)) return status;
    if (release < Q7K2LaterRevision) {
        info.words[0] = 0x20006;
        info.words[4] = 8;
        return kernel::STATUS_SUCCESS;
    }
    info.words[0] = Q7K2OtherWord0;
    for (const Q7K2Masks& row : Q7K2LaterDevices) {
        if (row.vendorId != VendorId() || ProductId() < row.firstProduct ||
            ProductId() > row.lastProduct)
            continue;
        info.words[0] = row.word0;
        info.words[6] = row.word6;
        break;
    }
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUac1DeviceQ7K2::ParseControlInterface(const usb::InterfaceDescriptor* interface,
                                                        std::uint32_t length) {
    return WalkChipControlInterface(*this, interface, length, {Q7K2Entities, 0});
}
