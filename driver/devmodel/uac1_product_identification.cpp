// The release-1 model learns which product it runs from a string the
// firmware keeps at index 0x50 (or 0x32) and, for two firmware families,
// from vendor registers; the answer fills the device's information record.
#include "driver/devmodel/uac1_device.h"

#include "driver/common/pool_buffer.h"
#include "platform/usb/string_descriptor.h"

#include <span>

namespace {

constexpr kernel::PoolTag IdentificationTag = kernel::poolTag("pmet");
constexpr std::uint32_t StringBufferBytes = 104;
constexpr std::uint8_t StringDescriptorType = 3;
constexpr std::uint16_t EnglishUs = 0x0409;
constexpr std::uint8_t FirstStringIndex = 0x50;
constexpr std::uint8_t SecondStringIndex = 0x32;

struct Identity {
    std::uint16_t vendorId;
    std::uint16_t productId;
    bool Is(std::uint16_t vendor, std::uint16_t product) const {
        return vendorId == vendor && productId == product;
    }
};

bool StartsWith(std::span<const char16_t> text, std::u16string_view prefix) {
    return text.size() >= prefix.size() &&
           std::u16string_view(text.data(), prefix.size()) == prefix;
}

kernel::NTSTATUS ReadString(IUsbDevice& usb, std::uint8_t index, void* buffer,
                            std::uint32_t* received) {
    CPoolBuffer block(kernel::PoolType::NonPagedNx, sizeof(usb::DescriptorRequest),
                      IdentificationTag);
    if (!block.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    auto* request = new (block.Get()) usb::DescriptorRequest{};
    request->header.length = sizeof(usb::DescriptorRequest);
    request->header.function = usb::Function::getDescriptorFromDevice;
    request->descriptorType = StringDescriptorType;
    request->index = index;
    request->languageId = EnglishUs;
    request->transfer.transferBuffer = buffer;
    request->transfer.transferBufferLength = StringBufferBytes;
    const kernel::NTSTATUS status = usb.SubmitUrb(&request->header);
    *received = kernel::succeeded(status) ? request->transfer.transferBufferLength : 0;
    return status;
}

// One byte of a vendor register, read as a vendor request to "other"; an
// answer without its byte is a failure.
kernel::NTSTATUS ReadRegister(IUsbDevice& usb, std::uint8_t request, std::uint16_t value,
                              std::uint8_t* byte) {
    usb::ClassOrVendorRequest record{};
    record.header.length = sizeof(record);
    record.header.function = usb::Function::vendorOther;
    record.transfer.transferFlags =
        usb::transfer_flags::directionIn | usb::transfer_flags::shortTransferOk;
    record.transfer.transferBuffer = byte;
    record.transfer.transferBufferLength = 1;
    record.request = request;
    record.value = value;
    const kernel::NTSTATUS status = usb.SubmitUrb(&record.header);
    if (!kernel::succeeded(status)) return status;
    return record.transfer.transferBufferLength == 1 ? kernel::STATUS_SUCCESS
                                                     : kernel::STATUS_UNSUCCESSFUL;
}

kernel::NTSTATUS IdentifyM5X3(IUsbDevice& usb, Identity id, EndpointInfoRecord& info) {
    std::uint8_t model = 0;
    const kernel::NTSTATUS status = ReadRegister(usb, 2, 0x0051, &model);
    if (!kernel::succeeded(status) || model != 0x1F) return status;
    std::uint32_t& features = info.words[0];
    features = 0x3E10A0;
    if (id.Is(0x09DA, 0x2701) || id.Is(0x09DA, 0x2702) || id.Is(0x09DA, 0x2703)) {
        features = 0x3E00A5;
    } else if (id.Is(MakerVendorId, 0x0065)) {
        features &= ~0x1000u;
    } else if (id.Is(0x251F, 0x3001)) {
        info.words[6] &= ~1u;
        features = (features & ~0x1000u) | 0x4u;
    }
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS IdentifyHXR7D5(IUsbDevice& usb, EndpointInfoRecord& info) {
    std::uint8_t first = 0;
    std::uint8_t second = 0;
    kernel::NTSTATUS status = ReadRegister(usb, 0, 0x001A, &first);
    if (kernel::succeeded(status)) status = ReadRegister(usb, 0, 0x0020, &second);
    if (!kernel::succeeded(status)) return status;
    if ((second & 0x02) != 0) return kernel::STATUS_UNSUCCESSFUL;
    if ((first & 0x0E) == 0x08) {
        info.words[0] = 0x3E087;
        return kernel::STATUS_SUCCESS;
    }
    if ((first & 0x0E) == 0x0E) {
        info.words[0] = 0x3E087;
        info.words[6] = 2;
        return kernel::STATUS_SUCCESS;
    }
    return kernel::STATUS_UNSUCCESSFUL;
}

// Devices without the string: two are known by their ids, any other fails.
kernel::NTSTATUS IdentifyWithoutString(Identity id, kernel::NTSTATUS failure,
                                       EndpointInfoRecord& info) {
    if (id.Is(0x1B1C, 0x0A04)) {
        info.words[0] = 0x24;
        return kernel::STATUS_SUCCESS;
    }
    if (id.Is(0x047F, 0xD957)) {
        info.words[0] = 0x3C0264;
        info.words[4] = 12;
        return kernel::STATUS_SUCCESS;
    }
    return failure;
}

} // namespace

kernel::NTSTATUS CUac1Device::IdentifyProduct() {
    IUsbDevice* usb = UsbFaceOf(UsbDevice());
    if (usb == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    CPoolBuffer buffer(kernel::PoolType::NonPagedNx, StringBufferBytes, IdentificationTag);
    if (!buffer.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    std::uint32_t received = 0;
    kernel::NTSTATUS status = ReadString(*usb, FirstStringIndex, buffer.Get(), &received);
    if (!kernel::succeeded(status) && status != kernel::STATUS_INSUFFICIENT_RESOURCES)
        status = ReadString(*usb, SecondStringIndex, buffer.Get(), &received);
    if (status == kernel::STATUS_INSUFFICIENT_RESOURCES) return status;

    m_InfoRecord = {};
    const Identity id{VendorId(), ProductId()};
    if (!kernel::succeeded(status)) return IdentifyWithoutString(id, status, m_InfoRecord);

    char16_t text[StringBufferBytes / 2] = {};
    std::size_t characters = 0;
    const kernel::NTSTATUS read =
        usb::stringDescriptorText({buffer.Get<const std::uint8_t>(), received}, text, characters);
    if (!kernel::succeeded(read)) return kernel::STATUS_SUCCESS; // no name: no rule applies
    const std::span<const char16_t> name(text, characters);
    if (StartsWith(name, u"M5X3")) return IdentifyM5X3(*usb, id, m_InfoRecord);
    if (StartsWith(name, u"HXR7D5")) return IdentifyHXR7D5(*usb, m_InfoRecord);
    return kernel::STATUS_SUCCESS;
}
