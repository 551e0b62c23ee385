#include "driver/devmodel/uac2_feature_unit.h"
#include "driver/tests/engine_test_doubles.h"
#include "driver/tests/settings_test_device.h"
#include "entity_test_support.h"
#include "sim/usb/fixtures.h"
#include "sim_usb_device.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using devmodel_test::CPlainHal;
using devmodel_test::CSimUsbDevice;
using devmodel_test::IdsOf;
using devmodel_test::ItemTypes;
using engine_test::Held;
using engine_test::Make;
using kernel::NTSTATUS;
using kernel::STATUS_INVALID_PARAMETER;
using kernel::STATUS_SUCCESS;
using kernel::STATUS_UNSUCCESSFUL;

constexpr std::int32_t Db = 65536;

struct Uac2FeatureUnits : SettingsTestDevice {
    void SetUp() override {
        SettingsTestDevice::SetUp();
        ASSERT_EQ(hal->Init(nullptr, m_pFunction, nullptr, nullptr), STATUS_SUCCESS);
    }
    CUac2FeatureUnit* ParseUnit(std::uint8_t id) {
        const auto bytes = usb->Configuration();
        for (std::size_t at : devmodel_test::ControlDescriptorsOf(bytes, 6)) {
            if (bytes[at + 3] != id) continue;
            units.push_back(std::make_unique<Held<CUac2FeatureUnit>>(Make<CUac2FeatureUnit>()));
            CUac2FeatureUnit* unit = units.back()->get();
            EXPECT_EQ(
                unit->Parse(bytes.subspan(at), static_cast<IUsbDevice*>(usb.get()), hal.get()),
                STATUS_SUCCESS);
            return unit;
        }
        ADD_FAILURE() << "no feature unit " << int(id);
        return nullptr;
    }
    std::string LastRequest() const {
        const auto& log = stack.function.log();
        if (log.empty()) return "none";
        const auto& r = log.back();
        char text[32];
        std::snprintf(text, sizeof text, "%02X %02X %04X %04X", r.setup.bmRequestType,
                      r.setup.bRequest, r.setup.wValue.value(), r.setup.wIndex.value());
        return text;
    }

    usbsimtest::BusStack stack{usbsim::fixtures::uac2FeedbackDevice()};
    Held<CSimUsbDevice> usb{Make<CSimUsbDevice>(&stack)};
    Held<CPlainHal> hal{Make<CPlainHal>()};
    std::vector<std::unique_ptr<Held<CUac2FeatureUnit>>> units;
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
    EXPECT_EQ(LastRequest(), "A1 02 0201 0200");
    EXPECT_EQ(maximum, 0);
    EXPECT_EQ(minimum, -127 * Db);
    EXPECT_EQ(resolution, Db);
}

TEST_F(Uac2FeatureUnits, AReadOnlyControlIsReadButNeverWritten) {
    CUac2FeatureUnit* unit = ParseUnit(5);
    ASSERT_NE(unit, nullptr);
    const std::size_t before = stack.function.log().size();
    EXPECT_EQ(unit->SetByte(7, 0, 0), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(stack.function.log().size(), before);
    std::uint8_t value = 0;
    EXPECT_EQ(unit->GetByte(7, 0, &value), STATUS_SUCCESS);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(LastRequest(), "A1 01 0700 0500");
    EXPECT_EQ(unit->SetByte(1, 0, 1), STATUS_SUCCESS);
    EXPECT_EQ(LastRequest(), "21 01 0100 0500");
}

TEST_F(Uac2FeatureUnits, DeviceChangeNamesTheItemItReRead) {
    CUac2FeatureUnit* unit = ParseUnit(5);
    ASSERT_NE(unit, nullptr);
    IAudioNode* items[3] = {};
    for (std::uint32_t i = 0; i < 3; ++i) ASSERT_EQ(unit->GetItemAt(i, &items[i]), STATUS_SUCCESS);
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
