// Factories of the maker's chip models, with the generic models' signature
// (uac_device_create.h).
#pragma once

#include "driver/common/object_model.h"
#include "platform/kernel/status.h"

#include <cstdint>

using ChipModelFactory = kernel::NTSTATUS (*)(INonDelegatingUnknown** out, kernel::IUnknown* outer,
                                              std::uint16_t vendorId, std::uint16_t productId);

kernel::NTSTATUS CreateCUac1DeviceN3W8(INonDelegatingUnknown** out, kernel::IUnknown* outer,
                                       std::uint16_t vendorId, std::uint16_t productId);

class CUac1DeviceK7D2;
class CUac1DeviceP9F4;
class CUac1DeviceT6L1;
class CUac1DeviceQ7K2;

// The factory of a chip model without state of its own: the model made
// non-paged under its own tag (chip_devices.h); each is made beside its
// class.
template <class Device>
kernel::NTSTATUS CreateChipDevice(INonDelegatingUnknown** out, kernel::IUnknown* outer,
                                  std::uint16_t vendorId, std::uint16_t productId);

inline constexpr ChipModelFactory CreateCUac1DeviceK7D2 = CreateChipDevice<CUac1DeviceK7D2>;
inline constexpr ChipModelFactory CreateCUac1DeviceP9F4 = CreateChipDevice<CUac1DeviceP9F4>;
inline constexpr ChipModelFactory CreateCUac1DeviceT6L1 = CreateChipDevice<CUac1DeviceT6L1>;
inline constexpr ChipModelFactory CreateCUac1DeviceQ7K2 = CreateChipDevice<CUac1DeviceQ7K2>;
