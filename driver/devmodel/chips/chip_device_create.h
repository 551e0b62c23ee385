// Factories of the maker's chip models, with the generic models' signature
// (uac_device_create.h).
#pragma once

#include "driver/common/object_model.h"
#include "platform/kernel/status.h"

#include <cstdint>

kernel::NTSTATUS CreateCUac1DeviceN3W8(INonDelegatingUnknown** out, kernel::IUnknown* outer,
                                       std::uint16_t vendorId, std::uint16_t productId);
kernel::NTSTATUS CreateCUac1DeviceK7D2(INonDelegatingUnknown** out, kernel::IUnknown* outer,
                                       std::uint16_t vendorId, std::uint16_t productId);
kernel::NTSTATUS CreateCUac1DeviceP9F4(INonDelegatingUnknown** out, kernel::IUnknown* outer,
                                       std::uint16_t vendorId, std::uint16_t productId);
kernel::NTSTATUS CreateCUac1DeviceT6L1(INonDelegatingUnknown** out, kernel::IUnknown* outer,
                                       std::uint16_t vendorId, std::uint16_t productId);
kernel::NTSTATUS CreateCUac1DeviceQ7K2(INonDelegatingUnknown** out, kernel::IUnknown* outer,
                                       std::uint16_t vendorId, std::uint16_t productId);
