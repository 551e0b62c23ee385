// How an N3W8 device is set up before its configuration is rewritten: the
// chip's identification bytes over the bus, the settings' switches, and the
// known products' fixed choices.
#include "driver/devmodel/chips/n3w8/n3w8_device_profile.h"

#include "driver/common/maker_ids.h"
#include "driver/common/settings_store.h"
#include "platform/kernel/pool.h"
#include "sim/usb/fixtures.h"
#include "sim_usb_device.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace devmodel_test;

struct N3W8Profile : SimBusFixture {
    void StartWith(std::uint8_t a, std::uint8_t b) {
        auto chip = std::make_shared<usbsim::fixtures::N3W8Chip>();
        chip->identificationA = a;
        chip->identificationB = b;
        Start(usbsim::fixtures::n3w8Device(chip));
    }
    void Store(const char16_t* name, std::uint32_t value) {
        ASSERT_EQ(AccessSetting(m_pFunction, SETTING_WRITE, &value, 4, name), STATUS_SUCCESS);
    }
};

TEST_F(N3W8Profile, ChipBytesComeFromTheirTwoIndexesAndBIsMasked) {
    const struct {
        std::uint8_t a, b;
        std::uint8_t readB;
        bool matches;
    } cases[] = {{0x9F, 0x03, 0x03, true},
                 {0x9F, 0x9F, 0x03, true},
                 {0x9F, 0x04, 0x00, false},
                 {0x9E, 0x03, 0x03, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int{c.b});
        StartWith(c.a, c.b);
        std::uint8_t a = 0, b = 0;
        ASSERT_EQ(ReadN3W8ChipBytes(Device(), &a, &b), STATUS_SUCCESS);
        EXPECT_EQ(a, c.a);
        EXPECT_EQ(b, c.readB);
        EXPECT_EQ(N3W8ChipMatches(a, b), c.matches);
        EXPECT_EQ(RequestsFrom(Requests() - 2),
                  (std::vector<std::string>{"C3 81 0000 0009 <1", "C3 81 0000 0008 <1"}));
    }
}

TEST_F(N3W8Profile, AFailedChipReadIsTheStatus) {
    StartWith(0x9F, 0x03);
    kernel::failPoolTag(N3W8ChipReadTag);
    std::uint8_t a = 0, b = 0;
    EXPECT_EQ(ReadN3W8ChipBytes(Device(), &a, &b), STATUS_INSUFFICIENT_RESOURCES);
    kernel::clearPoolFaults();
}

TEST_F(N3W8Profile, StoredSwitchesOverrideTheDefaultsByTheirFirstByte) {
    StartWith(0x9F, 0x03);
    N3W8DeviceProfile profile;
    ReadN3W8Switches(m_pFunction, profile);
    EXPECT_TRUE(profile.switches.DisableStereoMixRecUnit);
    EXPECT_FALSE(profile.switches.DisableMicInTerminal);
    EXPECT_TRUE(profile.SupportHPOut);
    Store(u"DisableStereoMixRecUnit", 0);
    Store(u"DisableMicInTerminal", 0x0100); // only the first byte counts
    Store(u"Disable6ChOutSupported", 1);
    Store(u"SupportHPOut", 0);
    ReadN3W8Switches(m_pFunction, profile);
    EXPECT_FALSE(profile.switches.DisableStereoMixRecUnit);
    EXPECT_FALSE(profile.switches.DisableMicInTerminal);
    EXPECT_TRUE(profile.switches.Disable6ChOutSupported);
    EXPECT_FALSE(profile.SupportHPOut);
    EXPECT_TRUE(profile.SupportSpdifOut);
}

TEST(N3W8DeviceRows, TheFirstMatchingProductRowApplies) {
    struct Expected {
        bool lineIn, spdifIn, twoCh, eightCh, outputs, worker;
        std::uint32_t word0;
    };
    const Expected plain = {false, false, false, false, true, false, 0x3FE08F};
    const Expected eightOff = {false, false, false, true, true, false, 0x3FE08F};
    const Expected analogOnly = {true, true, false, false, false, false, 0x3FE08F};
    const Expected analogSix = {true, true, false, true, false, false, 0x3FE08F};
    const struct {
        const char* name;
        std::uint16_t vendor, product;
        bool chip;
        Expected expected;
    } cases[] = {
        {"idle-detecting headset",
         0x1E7D,
         0x3750,
         true,
         {false, true, false, true, false, true, 0x3E0084}},
        {"its chip not matching: defaults", 0x1E7D, 0x3750, false, plain},
        {"stereo device", 0x5131, 0x001C, true, {false, true, true, true, false, false, 0}},
        {"LED-switch device, any chip",
         0x28DA,
         0x268E,
         false,
         {true, true, false, false, false, false, 0x3E09F}},
        {"maker 0x0163", MakerVendorId, 0x0163, false, analogOnly},
        {"maker 0x0053", MakerVendorId, 0x0053, true, analogSix},
        {"maker 0x0053 without the chip", MakerVendorId, 0x0053, false, plain},
        {"maker 0x0078", MakerVendorId, 0x0078, true, analogSix},
        {"0x0A1B/0x0110, any chip", 0x0A1B, 0x0110, false, analogSix},
        {"0x0A6A/0x0160", 0x0A6A, 0x0160, true, analogOnly},
        {"other device with the chip", 0x1234, 0x5678, true, eightOff},
        {"other device without it", 0x1234, 0x5678, false, plain},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        N3W8DeviceProfile p;
        ApplyN3W8DeviceRows(c.vendor, c.product, c.chip, p);
        EXPECT_EQ(p.switches.DisableLineInTerminal, c.expected.lineIn);
        EXPECT_EQ(p.switches.DisableSpdifInTerminal, c.expected.spdifIn);
        EXPECT_EQ(p.switches.Disable2ChOutSupported, c.expected.twoCh);
        EXPECT_EQ(p.switches.Disable8ChOutSupported, c.expected.eightCh);
        EXPECT_EQ(p.SupportHPOut && p.SupportSpdifOut, c.expected.outputs);
        EXPECT_EQ(p.WorkerEnabled, c.expected.worker);
        EXPECT_EQ(p.OverridesRegister1, c.expected.worker);
        EXPECT_EQ(p.InfoWord0, c.expected.word0);
    }
}

TEST(N3W8DeviceRows, WithoutTwoChannelOutputThereIsNoHeadphoneOrDigitalOutput) {
    N3W8DeviceProfile p;
    p.switches.Disable2ChOutSupported = true;
    ApplyN3W8DeviceRows(0x1234, 0x5678, false, p);
    EXPECT_FALSE(p.SupportHPOut);
    EXPECT_FALSE(p.SupportSpdifOut);
}

} // namespace
