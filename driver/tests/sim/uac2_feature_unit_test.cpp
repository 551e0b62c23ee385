#include "driver/devmodel/uac2_feature_unit.h"
#include "sim/usb/fixtures.h"
#include "sim_usb_device.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using namespace devmodel_test;

struct Uac2FeatureUnits : SimBusFixture {
    void SetUp() override {
        SimBusFixture::SetUp();
        Start(usbsim::fixtures::uac2FeedbackDevice());
    }
    CUac2FeatureUnit* ParseUnit(std::uint8_t id) {
        return SimBusFixture::ParseUnit<CUac2FeatureUnit>(FeatureUnitSubtype, id);
    }
};

TEST_F(Uac2FeatureUnits, UnitsBecomeTheirControls) {
    struct Case {
        std::uint8_t id;
        std::uint32_t source;
        std::vector<std::uint32_t> types;
        std::uint32_t volumeChannels;
        std::int32_t volume;
    };
    const Case cases[] = {
        {2, 1, {item_type::volume, item_type::mute}, 2, -5120 * 256},
        {5, 4, {item_type::automaticGain, item_type::volume, item_type::mute}, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.id));
        CUac2FeatureUnit* unit = ParseUnit(c.id);
        ASSERT_NE(unit, nullptr);
        EXPECT_EQ(IdsOf(*unit), std::vector<std::uint32_t>{c.source});
        EXPECT_EQ(ItemTypes(*unit), c.types);
        std::uint32_t channels = 0;
        EXPECT_EQ(unit->GetChannelCount(2, &channels), STATUS_SUCCESS);
        EXPECT_EQ(channels, c.volumeChannels);
        std::int32_t volume = 0;
        EXPECT_EQ(unit->GetValue(2, 0, &volume), STATUS_SUCCESS);
        EXPECT_EQ(volume, c.volume);
    }
}

TEST_F(Uac2FeatureUnits, RangeComesFromOneSubRange) {
    CUac2FeatureUnit* unit = ParseUnit(2);
    ASSERT_NE(unit, nullptr);
    std::int32_t maximum = 1, minimum = 1, resolution = 1;
    EXPECT_EQ(unit->GetRange(2, &maximum, &minimum, &resolution), STATUS_SUCCESS);
    EXPECT_EQ(LastRequest(), "A1 02 0201 0200:");
    EXPECT_EQ(maximum, 0);
    EXPECT_EQ(minimum, -127 * Db);
    EXPECT_EQ(resolution, Db);
}

TEST_F(Uac2FeatureUnits, AReadOnlyControlIsReadButNeverWritten) {
    CUac2FeatureUnit* unit = ParseUnit(5);
    ASSERT_NE(unit, nullptr);
    const std::size_t before = Requests();
    EXPECT_EQ(unit->SetByte(7, 0, 0), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(Requests(), before);
    std::uint8_t value = 0;
    EXPECT_EQ(unit->GetByte(7, 0, &value), STATUS_SUCCESS);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(LastRequest(), "A1 01 0700 0500:");
    EXPECT_EQ(unit->SetByte(1, 0, 1), STATUS_SUCCESS);
    EXPECT_EQ(LastRequest(), "21 01 0100 0500: 01");
}

TEST_F(Uac2FeatureUnits, DeviceChangeNamesTheItemItReRead) {
    CUac2FeatureUnit* unit = ParseUnit(5);
    ASSERT_NE(unit, nullptr);
    const std::vector<IAudioNode*> items = Items(*unit);
    ASSERT_EQ(items.size(), 3u);
    struct Case {
        const char* name;
        std::uint8_t selector;
        NTSTATUS expected;
        std::uint32_t node; // 0xEE: untouched
    };
    const Case cases[] = {
        {"mute", 1, STATUS_SUCCESS, items[2]->GetId()},
        {"volume", 2, STATUS_SUCCESS, items[1]->GetId()},
        {"automatic gain", 7, STATUS_SUCCESS, items[0]->GetId()},
        {"a control the unit lacks", 3, STATUS_UNSUCCESSFUL, 0xEE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::uint32_t node = 0xEE;
        EXPECT_EQ(unit->OnDeviceChange(c.selector, 0, &node), c.expected);
        EXPECT_EQ(node, c.node);
    }
}

} // namespace
