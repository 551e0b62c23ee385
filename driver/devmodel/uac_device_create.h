// Factories of the generic USB Audio Class 1 and 2 device models. Each
// returns the model's non-delegating unknown with one reference, aggregated
// under `outer` (the adapter).
#pragma once

#include "driver/common/object_model.h"
#include "platform/kernel/status.h"

#include <cstdint>

kernel::NTSTATUS CreateUac1Device(INonDelegatingUnknown** out, kernel::IUnknown* outer,
                                  std::uint16_t vendorId, std::uint16_t productId);
kernel::NTSTATUS CreateUac2Device(INonDelegatingUnknown** out, kernel::IUnknown* outer,
                                  std::uint16_t vendorId, std::uint16_t productId);
