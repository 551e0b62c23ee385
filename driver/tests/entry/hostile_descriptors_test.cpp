// A headset whose configuration carries one more alternate setting of its
// last streaming interface, hostile or just inside the rules: a descriptor
// the validation did not check as the model would read it, or whose rate
// table does not fit its length, is refused and the start fails with
// nothing left; the boundary next to each starts.
#include "driver/adapter/driver_entry.h"
#include "leftovers.h"
#include "platform/kernel/pool.h"
#include "platform/portcls/subdevice_access.h"
#include "sim/os/simulated_system.h"
#include "sim/usb/descriptor_builder.h"
#include "sim/usb/fixtures.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t AudioClass = 0x01;
constexpr std::uint8_t VendorAudioClass = 0xA1;
constexpr std::uint8_t StreamingSubclass = 0x02;
constexpr std::uint8_t Release1 = 0x00;
constexpr std::uint8_t Release2 = 0x20;

// A release-1 type I format of `length` bytes that claims `rates` rates (0:
// a continuous range), its table filled with 48 kHz as far as it goes.
Bytes Uac1Format(std::uint8_t length, std::uint8_t rates) {
    Bytes format{length, 0x24, 0x02, 0x01, 2, 2, 16, rates};
    while (format.size() + 3 <= length) format.insert(format.end(), {0x80, 0xBB, 0x00});
    format.resize(length, 0);
    return format;
}

// A release-2 type I format: slot size and resolution only.
Bytes Uac2Format() { return {6, 0x24, 0x02, 0x01, 2, 16}; }

struct Setting {
    std::uint8_t interfaceClass;
    std::uint8_t protocol;
    Bytes format;
};

// The release-1 headset with the setting appended as alternate setting 9 of
// its last streaming interface.
usbsim::FunctionDescription HeadsetWith(const Setting& setting) {
    usbsim::FunctionDescription description = usbsim::fixtures::uac1Headset();
    description.strings.push_back({.index = 0x50, .text = u"USB Headset FW"});
    Bytes bytes = usbsim::buildConfiguration(description);
    std::uint8_t lastStreaming = 0;
    for (std::size_t at = 0; at + 8 < bytes.size(); at += bytes[at])
        if (bytes[at + 1] == 0x04 && bytes[at + 5] == AudioClass &&
            bytes[at + 6] == StreamingSubclass)
            lastStreaming = bytes[at + 2];
    bytes.insert(bytes.end(), {9, 0x04, lastStreaming, 9, 0, setting.interfaceClass,
                               StreamingSubclass, setting.protocol, 0});
    bytes.insert(bytes.end(), setting.format.begin(), setting.format.end());
    bytes[2] = static_cast<std::uint8_t>(bytes.size());
    bytes[3] = static_cast<std::uint8_t>(bytes.size() >> 8);
    description.rawConfiguration = bytes;
    return description;
}

TEST(HostileDescriptors, AreRefusedWithNothingLeftWhileTheirBoundariesStart) {
    struct Case {
        const char* name;
        Setting setting;
        bool starts;
    };
    const Case cases[] = {
        {"vendor-class setting, 16 rates in 14 bytes",
         {VendorAudioClass, Release1, Uac1Format(14, 16)},
         false},
        {"vendor-class setting, 2 rates in 14 bytes",
         {VendorAudioClass, Release1, Uac1Format(14, 2)},
         false},
        {"release-2 setting on a release-1 function", {AudioClass, Release2, Uac2Format()}, false},
        {"unknown release's setting", {AudioClass, 0x30, Uac1Format(14, 16)}, false},
        {"16 rates in exactly 56 bytes", {AudioClass, Release1, Uac1Format(56, 16)}, true},
        {"16 rates one byte short", {AudioClass, Release1, Uac1Format(55, 16)}, false},
        {"a range in exactly 14 bytes", {AudioClass, Release1, Uac1Format(14, 0)}, true},
        {"a range one byte short", {AudioClass, Release1, Uac1Format(13, 0)}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const entry_test::Baseline before = entry_test::TakeBaseline();
        {
            ossim::SimulatedSystem system(HeadsetWith(c.setting));
            ASSERT_EQ(system.load(DriverEntry), kernel::STATUS_SUCCESS);
            const kernel::NTSTATUS started = system.plug();
            EXPECT_EQ(kernel::succeeded(started), c.starts) << std::hex << started;
            if (!c.starts) {
                EXPECT_TRUE(kernel::isError(started));
                EXPECT_EQ(portcls::registeredSubdeviceCount(), 0u);
            }
            EXPECT_EQ(system.remove(), kernel::STATUS_SUCCESS);
        }
        entry_test::ExpectNothingLeft(before, c.name);
    }
}

} // namespace
