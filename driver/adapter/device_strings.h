// The device's USB strings: reading a string descriptor's text through the
// adapter's USB face, and the names the device is given in the registry.
#pragma once

#include "driver/common/maker_ids.h"
#include "driver/engine/usb_device.h"
#include "platform/io/device_object.h"
#include "platform/io/registry_types.h"
#include "platform/kernel/status.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

inline constexpr std::uint16_t UsEnglishLanguage = 0x0409;
// Room for the longest string descriptor: bLength is one byte, so its text
// holds at most 126 characters.
inline constexpr std::uint32_t DeviceNameStringBytes = 256;
inline constexpr std::size_t DeviceNameMaxChars = (255 - 2) / 2;

inline constexpr char16_t FriendlyNameValue[] = u"FriendlyName";
inline constexpr char16_t ManufacturerValue[] = u"Mfg";
inline constexpr char16_t SelectiveSuspendValue[] = u"SelectiveSuspendEnabled";

// The maker's devices name their manufacturer only for these products.
inline constexpr std::uint16_t MakerProductsNamingManufacturer[] = {0x0067, 0x0068, 0x0161};

// Reads string descriptor `index` into a pool buffer of `bufferBytes` and
// copies its text (cut at bLength and at the bytes received) into `text`.
// The request's status; STATUS_INVALID_PARAMETER when the answer is no
// string descriptor; STATUS_BUFFER_OVERFLOW when `text` is too small.
kernel::NTSTATUS ReadStringText(IUsbDevice& usb, std::uint8_t index, std::uint16_t language,
                                std::uint32_t bufferBytes, std::span<char16_t> text,
                                std::size_t& characters);

// Sets the value in the hardware key of each of the device's hardware ids
// that has one; false when none took it.
bool SetHardwareKeyValue(io::DeviceObject* device, const char16_t* name, io::RegistryValueType type,
                         const void* data, std::uint32_t length);

// A value of at most 4 bytes under "Device Parameters" of the first
// hardware id's key that holds it; none when no key holds one.
std::optional<std::uint32_t> ReadDeviceParameter(io::DeviceObject* device, const char16_t* name);

struct DeviceStringIndexes {
    std::uint16_t vendorId;
    std::uint16_t productId;
    std::uint8_t manufacturer; // 0: none
    std::uint8_t product;      // 0: none
};

// Writes "FriendlyName" from the product string and, where the device's
// maker wants it, "Mfg" from the manufacturer string, trailing blanks
// removed; a string that cannot be read leaves its name as it was.
void WriteDeviceNames(IUsbDevice& usb, io::DeviceObject* device,
                      const DeviceStringIndexes& strings);
