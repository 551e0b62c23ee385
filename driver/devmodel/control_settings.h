// Where the device model's controls persist their values in the settings
// store. Per-channel values are named "Unit", the node id in two digits, "_",
// the channel mode in a two-character field padded with a blank, "_" and the
// channel index ("Unit07_ 0_1"); single values of a control "Unit07_"; the
// values of a control's list "Unit07_" and the position ("Unit07_3"); a
// terminal's endpoint type "UACUnit03". Reading leaves the caller's buffer
// as it was when nothing is stored, so a device value or default put there
// first stays.
#pragma once

#include "platform/io/device_object.h"
#include "platform/kernel/status.h"

#include <cstdint>

kernel::NTSTATUS AccessChannelSetting(io::DeviceObject* settings, std::uint32_t operation,
                                      void* buffer, std::uint32_t length, std::uint32_t nodeId,
                                      std::uint32_t mode, std::uint32_t channel);
kernel::NTSTATUS AccessUnitSetting(io::DeviceObject* settings, std::uint32_t operation,
                                   void* buffer, std::uint32_t length, std::uint32_t nodeId);
kernel::NTSTATUS AccessUnitIndexedSetting(io::DeviceObject* settings, std::uint32_t operation,
                                          void* buffer, std::uint32_t length, std::uint32_t nodeId,
                                          std::uint32_t position);
kernel::NTSTATUS AccessTerminalSetting(io::DeviceObject* settings, std::uint32_t operation,
                                       void* buffer, std::uint32_t length, std::uint32_t entityId);
