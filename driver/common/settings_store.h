// The settings store: every persistent setting of the driver is a named
// value under the subkey "Settings" of the device's driver key. Values are
// read into and written from caller buffers of a given length. Passive level.
#pragma once

#include "platform/io/device_object.h"
#include "platform/io/registry_types.h"
#include "platform/kernel/status.h"

#include <cstdint>

enum : std::uint32_t {
    SETTING_READ = 1,
    SETTING_WRITE = 2,
};

// Longest value name AccessIndexedSetting makes, in characters.
inline constexpr std::size_t MAX_INDEXED_SETTING_NAME = 49;

// Reads or writes a REG_BINARY value directly under "Settings".
kernel::NTSTATUS AccessSetting(io::DeviceObject* pDeviceObject, std::uint32_t ulOperation,
                               void* pBuffer, std::uint32_t ulLength, const char16_t* pszValueName);

// The same for the value named by the prefix followed by the index in
// decimal ("Unit" and 3 give "Unit3"). A name longer than
// MAX_INDEXED_SETTING_NAME is refused with STATUS_INVALID_PARAMETER rather
// than cut, which would name another setting.
kernel::NTSTATUS AccessIndexedSetting(io::DeviceObject* pDeviceObject, std::uint32_t ulOperation,
                                      void* pBuffer, std::uint32_t ulLength,
                                      const char16_t* pszPrefix, int nIndex);

// The general form: the value may live in a subkey of "Settings" (made on
// first use, like "Settings" itself) and have the type REG_SZ, REG_BINARY or
// REG_DWORD (any other: STATUS_UNSUCCESSFUL).
// - Read: the stored data is copied to the start of the buffer, which is
//   otherwise left as it was; pulDataLength, when given, gets its length.
//   A missing value gives STATUS_OBJECT_NAME_NOT_FOUND; data longer than the
//   buffer by more than 4 bytes STATUS_BUFFER_OVERFLOW, by 1 to 4 bytes
//   STATUS_UNSUCCESSFUL; in every failure the buffer is left alone.
// - Write: the value gets the type and the buffer's ulLength bytes.
// Failures of opening or making keys are returned as they are.
kernel::NTSTATUS AccessSettingEx(io::DeviceObject* pDeviceObject, std::uint32_t ulOperation,
                                 void* pBuffer, std::uint32_t ulLength,
                                 const char16_t* pszValueName, const char16_t* pszSubkey,
                                 io::RegistryValueType ulType,
                                 std::uint32_t* pulDataLength = nullptr);
