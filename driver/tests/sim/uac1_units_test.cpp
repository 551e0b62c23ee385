#include "driver/devmodel/uac1_units.h"
#include "driver/devmodel/unit_controls.h"
#include "driver/tests/engine_test_doubles.h"
#include "driver/tests/settings_test_device.h"
#include "entity_test_support.h"
#include "sim/usb/fixtures.h"
#include "sim_usb_device.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using devmodel_test::CPlainHal;
using devmodel_test::CSimUsbDevice;
using devmodel_test::IdsOf;
using engine_test::Held;
using engine_test::Make;
using kernel::NTSTATUS;
using kernel::STATUS_INVALID_PARAMETER;
using kernel::STATUS_SUCCESS;

struct Uac1Units : SettingsTestDevice {
    void SetUp() override {
        SettingsTestDevice::SetUp();
        ASSERT_EQ(hal->Init(nullptr, m_pFunction, nullptr, nullptr), STATUS_SUCCESS);
    }
    kernel::IUnknown* Device() { return static_cast<IUsbDevice*>(usb.get()); }
    template <class Unit> NTSTATUS Parse(Unit& unit, std::uint8_t subtype, std::uint8_t id) {
        const auto bytes = usb->Configuration();
        for (std::size_t at : devmodel_test::ControlDescriptorsOf(bytes, subtype))
            if (bytes[at + 3] == id) return unit.Parse(bytes.subspan(at), Device(), hal.get());
        return kernel::STATUS_OBJECT_NAME_NOT_FOUND;
    }
    std::size_t Requests() const { return stack.function.log().size(); }

    usbsimtest::BusStack stack{usbsim::fixtures::uac1Headset()};
    Held<CSimUsbDevice> usb{Make<CSimUsbDevice>(&stack)};
    Held<CPlainHal> hal{Make<CPlainHal>()};
};

IAudioNode* Front(CUacEntity& entity) {
    IAudioNode* item = nullptr;
    EXPECT_EQ(entity.GetItemAt(0, &item), STATUS_SUCCESS);
    return item;
}

TEST_F(Uac1Units, SelectorUnitDrivesItsInputOnTheWire) {
    Held<CUac1SelectorUnit> unit(Make<CUac1SelectorUnit>());
    ASSERT_EQ(Parse(*unit.get(), 5, 8), STATUS_SUCCESS);
    EXPECT_EQ(IdsOf(*unit.get()), (std::vector<std::uint32_t>{3, 7}));
    auto* control = static_cast<CUacSelectorControl*>(Front(*unit.get()));
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
        const auto& request = stack.function.log().back();
        EXPECT_EQ(request.setup.bmRequestType, 0x21);
        EXPECT_EQ(request.setup.bRequest, 0x01);
        EXPECT_EQ(request.setup.wValue.value(), 0);
        EXPECT_EQ(request.setup.wIndex.value(), 0x0800);
        EXPECT_EQ(request.data, std::vector<std::uint8_t>{static_cast<std::uint8_t>(c.input)});
        std::uint32_t onDevice = 0;
        EXPECT_EQ(unit->GetCurrentInput(&onDevice), STATUS_SUCCESS);
        EXPECT_EQ(onDevice, c.input);
    }
}

TEST_F(Uac1Units, MixerUnitTableTakesItsLinkedSources) {
    Held<CUac1MixerUnit> unit(Make<CUac1MixerUnit>());
    ASSERT_EQ(Parse(*unit.get(), 4, 5), STATUS_SUCCESS);
    EXPECT_EQ(IdsOf(*unit.get()), (std::vector<std::uint32_t>{2, 4}));
    IAudioNode* control = Front(*unit.get());
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->GetType(), item_type::mixer);
    EXPECT_EQ(IdsOf(*control), (std::vector<std::uint32_t>{0, 0}));
    const std::uint32_t linked[] = {11, 12};
    EXPECT_EQ(unit->SetSourceIds(2, linked), STATUS_SUCCESS);
    EXPECT_EQ(IdsOf(*control), (std::vector<std::uint32_t>{11, 12}));
    EXPECT_EQ(hal->GetChildCount(), 1u);
}

TEST_F(Uac1Units, UnitsWithSourcesPastTheirLengthBuildNothing) {
    const std::vector<std::uint8_t> selector = {0x07, 0x24, 0x05, 0x08, 0x03, 0x03, 0x07, 0x00};
    const std::vector<std::uint8_t> mixer = {0x0A, 0x24, 0x04, 0x05, 0x09, 0x02,
                                             0x04, 0x02, 0x03, 0x00, 0x00, 0x00};
    Held<CUac1SelectorUnit> selectorUnit(Make<CUac1SelectorUnit>());
    EXPECT_EQ(selectorUnit->Parse(selector, Device(), hal.get()), STATUS_INVALID_PARAMETER);
    Held<CUac1MixerUnit> mixerUnit(Make<CUac1MixerUnit>());
    EXPECT_EQ(mixerUnit->Parse(mixer, Device(), hal.get()), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(hal->GetChildCount(), 0u);
    EXPECT_EQ(Requests(), 0u);
}

} // namespace
