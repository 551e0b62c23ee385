#include "driver/adapter/device_strings.h"

#include "driver/adapter/usb_adapter_tags.h"
#include "driver/common/pool_buffer.h"
#include "platform/io/registry.h"
#include "platform/kernel/format.h"
#include "platform/kernel/unicode_string.h"
#include "platform/usb/descriptors.h"
#include "platform/usb/string_descriptor.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// Where a hardware id's key is looked for: the current control set first.
constexpr const char16_t* HardwareKeyFormats[] = {
    u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Enum\\%s\\%s",
    u"\\Registry\\Machine\\Enum\\%s\\%s",
};
constexpr const char16_t* ParameterKeyFormats[] = {
    u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Enum\\%s\\%s\\%s",
    u"\\Registry\\Machine\\Enum\\%s\\%s\\%s",
};
constexpr char16_t DeviceParametersKey[] = u"Device Parameters";
constexpr std::size_t KeyPathChars = 512;

// A device property of UTF-16 text in a paged block; empty when it cannot be read.
CPoolBuffer ReadProperty(io::DeviceObject* device, io::DeviceProperty property) {
    std::uint32_t needed = 0;
    if (io::getDeviceProperty(device, property, 0, nullptr, &needed) !=
            kernel::STATUS_BUFFER_TOO_SMALL ||
        needed < sizeof(char16_t))
        return {};
    CPoolBuffer buffer(kernel::PoolType::Paged, needed, UsbAdapterTag);
    if (!buffer.IsValid() ||
        !kernel::succeeded(io::getDeviceProperty(device, property, needed, buffer.Get(), &needed)))
        return {};
    return buffer;
}

// Opens the key of each hardware id in turn (the formats take the id, the
// instance name and `subkey`) and calls `visit` with it until it returns true.
template <class Visit>
bool ForEachHardwareKey(io::DeviceObject* device, std::span<const char16_t* const> formats,
                        const char16_t* subkey, Visit visit) {
    const CPoolBuffer ids = ReadProperty(device, io::DeviceProperty::HardwareIds);
    const CPoolBuffer instance = ReadProperty(device, io::DeviceProperty::InstanceName);
    CPoolBuffer path(kernel::PoolType::Paged, KeyPathChars * sizeof(char16_t), UsbAdapterTag);
    if (!ids.IsValid() || !instance.IsValid() || !path.IsValid()) return false;
    const char16_t* const end = ids.Get<const char16_t>() + ids.Size() / sizeof(char16_t);
    for (const char16_t* id = ids.Get<const char16_t>(); id < end && *id != 0;
         id += std::char_traits<char16_t>::length(id) + 1) {
        for (const char16_t* format : formats) {
            const kernel::NTSTATUS formatted =
                subkey == nullptr
                    ? kernel::formatString(path.Get<char16_t>(), KeyPathChars, format, id,
                                           instance.Get<const char16_t>())
                    : kernel::formatString(path.Get<char16_t>(), KeyPathChars, format, id,
                                           instance.Get<const char16_t>(), subkey);
            if (formatted != kernel::STATUS_SUCCESS) continue;
            io::RegistryKey key;
            if (!kernel::succeeded(
                    io::openKey(key, kernel::makeUnicodeString(path.Get<char16_t>()))))
                continue;
            if (visit(key)) return true;
            break;
        }
    }
    return false;
}

} // namespace

kernel::NTSTATUS ReadStringText(IUsbDevice& usb, std::uint8_t index, std::uint16_t language,
                                std::uint32_t bufferBytes, std::span<char16_t> text,
                                std::size_t& characters) {
    characters = 0;
    CPoolBuffer buffer(kernel::PoolType::NonPagedNx, bufferBytes, UsbAdapterTag);
    if (!buffer.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    usb::DescriptorRequest request{};
    request.header.length = sizeof(request);
    request.header.function = usb::Function::getDescriptorFromDevice;
    request.descriptorType = usb::descriptor_type::string;
    request.index = index;
    request.languageId = language;
    request.transfer.transferBuffer = buffer.Get();
    request.transfer.transferBufferLength = bufferBytes;
    const kernel::NTSTATUS status = usb.SubmitUrb(&request.header);
    if (!kernel::succeeded(status)) return status;
    const std::uint32_t received = std::min(request.transfer.transferBufferLength, bufferBytes);
    return usb::stringDescriptorText({buffer.Get<const std::uint8_t>(), received}, text,
                                     characters);
}

bool SetHardwareKeyValue(io::DeviceObject* device, const char16_t* name, io::RegistryValueType type,
                         const void* data, std::uint32_t length) {
    bool set = false;
    ForEachHardwareKey(device, HardwareKeyFormats, nullptr, [&](const io::RegistryKey& key) {
        if (kernel::succeeded(
                io::setValue(key, kernel::makeUnicodeString(name), type, data, length)))
            set = true;
        return false; // every id's key gets it
    });
    return set;
}

std::optional<std::uint32_t> ReadDeviceParameter(io::DeviceObject* device, const char16_t* name) {
    std::optional<std::uint32_t> value;
    ForEachHardwareKey(
        device, ParameterKeyFormats, DeviceParametersKey, [&](const io::RegistryKey& key) {
            alignas(4) std::uint8_t record[sizeof(io::KeyValuePartialInformation) + 4] = {};
            std::uint32_t needed = 0;
            if (io::queryValuePartialInformation(key, kernel::makeUnicodeString(name), record,
                                                 sizeof record, &needed) != kernel::STATUS_SUCCESS)
                return false;
            const auto* information =
                reinterpret_cast<const io::KeyValuePartialInformation*>(record);
            if (information->dataLength > 4) return false;
            std::uint32_t data = 0;
            std::memcpy(&data, information->data, information->dataLength);
            value = data;
            return true;
        });
    return value;
}

namespace {

// Reads the string and writes it, without trailing blanks and with its
// terminating zero, as the value.
void WriteNameFromString(IUsbDevice& usb, io::DeviceObject* device, std::uint8_t index,
                         const char16_t* valueName) {
    char16_t text[DeviceNameMaxChars + 1] = {};
    std::size_t characters = 0;
    if (!kernel::succeeded(ReadStringText(usb, index, UsEnglishLanguage, DeviceNameStringBytes,
                                          {text, DeviceNameMaxChars}, characters)))
        return;
    while (characters > 0 && text[characters - 1] == u' ') --characters;
    text[characters] = 0;
    SetHardwareKeyValue(device, valueName, io::REG_SZ, text,
                        static_cast<std::uint32_t>((characters + 1) * sizeof(char16_t)));
}

bool NamesManufacturer(const DeviceStringIndexes& strings) {
    if (strings.vendorId != MakerVendorId) return strings.manufacturer != 0;
    return std::find(std::begin(MakerProductsNamingManufacturer),
                     std::end(MakerProductsNamingManufacturer),
                     strings.productId) != std::end(MakerProductsNamingManufacturer);
}

} // namespace

void WriteDeviceNames(IUsbDevice& usb, io::DeviceObject* device,
                      const DeviceStringIndexes& strings) {
    if (strings.product != 0) WriteNameFromString(usb, device, strings.product, FriendlyNameValue);
    if (NamesManufacturer(strings))
        WriteNameFromString(usb, device, strings.manufacturer, ManufacturerValue);
}
