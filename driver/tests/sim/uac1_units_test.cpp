#include "driver/devmodel/uac1_units.h"
#include "driver/devmodel/unit_controls.h"
#include "sim/usb/fixtures.h"
#include "sim_usb_device.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace devmodel_test;

struct Uac1Units : SimBusFixture {
    void SetUp() override {
        SimBusFixture::SetUp();
        Start(usbsim::fixtures::uac1Headset());
    }
};

IAudioNode* Front(CUacEntity& entity) {
    IAudioNode* item = nullptr;
    EXPECT_EQ(entity.GetItemAt(0, &item), STATUS_SUCCESS);
    return item;
}

TEST_F(Uac1Units, SelectorUnitDrivesItsInputOnTheWire) {
    auto* unit = ParseUnit<CUac1SelectorUnit>(5, 8);
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(IdsOf(*unit), (std::vector<std::uint32_t>{3, 7}));
    auto* control = static_cast<CUacSelectorControl*>(Front(*unit));
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->GetType(), item_type::selector);
    EXPECT_EQ(control->GetIdCount(), 2u);

    struct Case {
        const char* name;
        std::uint32_t input;
        NTSTATUS expected;
        bool sent;
    };
    const Case cases[] = {
        {"input 2", 2, STATUS_SUCCESS, true},
        {"input 3 of 2", 3, STATUS_INVALID_PARAMETER, false},
        {"input 0", 0, STATUS_INVALID_PARAMETER, false},
        {"input 1", 1, STATUS_SUCCESS, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = Requests();
        EXPECT_EQ(control->SetCurrentInput(c.input), c.expected);
        ASSERT_EQ(Requests(), before + (c.sent ? 1 : 0));
        if (!c.sent) continue;
        EXPECT_EQ(LastRequest(), "21 01 0000 0800: 0" + std::to_string(c.input));
        std::uint32_t onDevice = 0;
        EXPECT_EQ(unit->GetCurrentInput(&onDevice), STATUS_SUCCESS);
        EXPECT_EQ(onDevice, c.input);
    }
}

TEST_F(Uac1Units, MixerUnitTableTakesItsLinkedSources) {
    auto* unit = ParseUnit<CUac1MixerUnit>(4, 5);
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(IdsOf(*unit), (std::vector<std::uint32_t>{2, 4}));
    IAudioNode* control = Front(*unit);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->GetType(), item_type::mixer);
    EXPECT_EQ(IdsOf(*control), (std::vector<std::uint32_t>{0, 0}));
    const std::uint32_t linked[] = {11, 12};
    EXPECT_EQ(unit->SetSourceIds(2, linked), STATUS_SUCCESS);
    EXPECT_EQ(IdsOf(*control), (std::vector<std::uint32_t>{11, 12}));
    EXPECT_EQ(Hal()->GetChildCount(), 1u);
}

TEST_F(Uac1Units, UnitsWithSourcesPastTheirLengthBuildNothing) {
    const std::vector<std::uint8_t> selector = {0x07, 0x24, 0x05, 0x08, 0x03, 0x03, 0x07, 0x00};
    const std::vector<std::uint8_t> mixer = {0x0A, 0x24, 0x04, 0x05, 0x09, 0x02,
                                             0x04, 0x02, 0x03, 0x00, 0x00, 0x00};
    Held<CUac1SelectorUnit> selectorUnit(Make<CUac1SelectorUnit>());
    EXPECT_EQ(selectorUnit->Parse(selector, Device(), Hal()), STATUS_INVALID_PARAMETER);
    Held<CUac1MixerUnit> mixerUnit(Make<CUac1MixerUnit>());
    EXPECT_EQ(mixerUnit->Parse(mixer, Device(), Hal()), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(Hal()->GetChildCount(), 0u);
    EXPECT_EQ(Requests(), 0u);
}

} // namespace
