// What an N3W8 device is set up as before its configuration is rewritten:
// the settings' switches, then the fixed choices for known products built
// on the chip, some only when the chip's identification bytes say it is the
// chip they were made for.
#pragma once

#include "driver/devmodel/chips/n3w8/n3w8_configuration_rewrite.h"
#include "platform/io/device_object.h"
#include "platform/kernel/unknown.h"

#include <cstdint>

inline constexpr kernel::PoolTag N3W8ChipReadTag = kernel::poolTag("pmet");

struct N3W8DeviceProfile {
    N3W8ConfigurationSwitches switches{.DisableStereoMixRecUnit = true};
    bool SupportHPOut = true;
    bool SupportSpdifOut = true;
    bool WorkerEnabled = false;
    std::uint32_t InfoWord0 = 0x3FE08F;
    bool OverridesRegister1 = false;
    std::uint16_t Register1 = 0;
};

// The chip's identification bytes: A at wIndex 9, B at wIndex 8 (masked to
// its identifying bits). Either read failing is the status.
kernel::NTSTATUS ReadN3W8ChipBytes(kernel::IUnknown* device, std::uint8_t* a, std::uint8_t* b);
inline bool N3W8ChipMatches(std::uint8_t a, std::uint8_t b) { return a == 0x9F && b == 0x03; }

// Each switch from the settings store (first byte of 4); a missing or
// unreadable value keeps the default.
void ReadN3W8Switches(io::DeviceObject* device, N3W8DeviceProfile& profile);

// The first row of the known products that matches, then: without 2-channel
// output there is no headphone or S/PDIF output either.
void ApplyN3W8DeviceRows(std::uint16_t vendorId, std::uint16_t productId, bool chipMatches,
                         N3W8DeviceProfile& profile);
