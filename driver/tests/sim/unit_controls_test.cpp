#include "driver/common/settings_store.h"
#include "driver/devmodel/control_settings.h"
#include "driver/devmodel/uac_entity.h"
#include "driver/devmodel/unit_controls.h"
#include "driver/tests/engine_test_doubles.h"
#include "driver/tests/settings_test_device.h"
#include "entity_test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace devmodel_test;

class CFakeSelector : public CForwardingUnknown<CUacEntity, ISelectorUnit> {
public:
    using CForwardingUnknown::CForwardingUnknown;
    NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override {
        return AnswerAfterBase(CUacEntity::NonDelegatingQueryInterface(id, object),
                               static_cast<ISelectorUnit*>(this), id, IID_ISelectorUnit, object);
    }
    NTSTATUS GetCurrentInput(std::uint32_t* input) override {
        *input = current;
        return STATUS_SUCCESS;
    }
    NTSTATUS SetCurrentInput(std::uint32_t input) override {
        sent.push_back(input);
        if (kernel::succeeded(setStatus)) current = input;
        return setStatus;
    }
    NTSTATUS GetInputCount(std::uint32_t* count) override {
        *count = inputs;
        return STATUS_SUCCESS;
    }
    std::uint32_t inputs = 3;
    std::uint32_t current = 1;
    NTSTATUS setStatus = STATUS_SUCCESS;
    std::vector<std::uint32_t> sent;
};

class CFakeClock : public CForwardingUnknown<CUacEntity, IClockSourceUnit> {
public:
    using CForwardingUnknown::CForwardingUnknown;
    NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override {
        return AnswerAfterBase(CUacEntity::NonDelegatingQueryInterface(id, object),
                               static_cast<IClockSourceUnit*>(this), id, IID_IClockSourceUnit,
                               object);
    }
    NTSTATUS GetSampleRateCount(std::uint32_t* count) override {
        *count = static_cast<std::uint32_t>(rates.size()) + continuous;
        return STATUS_SUCCESS;
    }
    NTSTATUS GetSampleRates(std::uint32_t* count, std::uint32_t* out) override {
        std::uint32_t stored = 0;
        for (std::uint32_t rate : rates)
            if (stored < *count) out[stored++] = rate;
        *count = stored;
        return continuous != 0 ? STATUS_INVALID_PARAMETER : STATUS_SUCCESS;
    }
    NTSTATUS GetSampleRate(std::uint32_t* rate) override {
        *rate = running;
        return STATUS_SUCCESS;
    }
    NTSTATUS SetSampleRate(std::uint32_t rate) override {
        if (kernel::succeeded(setStatus)) running = rate;
        return setStatus;
    }
    NTSTATUS GetClockValid(std::uint8_t* valid) override {
        *valid = 1;
        return STATUS_SUCCESS;
    }
    std::vector<std::uint32_t> rates;
    std::uint32_t continuous = 0; // sub-ranges that are not one rate
    std::uint32_t running = 0;
    NTSTATUS setStatus = STATUS_SUCCESS;
};

using UnitControls = SettingsTestDevice;

TEST_F(UnitControls, SelectorStartsWithinItsInputs) {
    struct Case {
        const char* name;
        std::uint32_t device;
        std::optional<std::uint32_t> persisted;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {"device input 2", 2, {}, 2},
        {"device input 0 becomes 1", 0, {}, 1},
        {"device input 5 of 3 becomes 3", 5, {}, 3},
        {"persisted input wins", 1, 2u, 2},
        {"persisted input past the end is limited", 1, 9u, 3},
    };
    std::uint32_t id = 20;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ++id;
        if (c.persisted) {
            std::uint32_t stored = *c.persisted;
            ASSERT_EQ(AccessUnitSetting(m_pFunction, SETTING_WRITE, &stored, 4, id),
                      STATUS_SUCCESS);
        }
        Held<CFakeSelector> unit(Make<CFakeSelector>());
        unit->current = c.device;
        Held<CUacSelectorControl> control(Make<CUacSelectorControl>(id));
        ASSERT_EQ(control->Bind(static_cast<ISelectorUnit*>(unit.get()), m_pFunction),
                  STATUS_SUCCESS);
        std::uint32_t current = 0;
        EXPECT_EQ(control->GetCurrentInput(&current), STATUS_SUCCESS);
        EXPECT_EQ(current, c.expected);
        EXPECT_EQ(control->GetIdCount(), 3u);
    }
}

TEST_F(UnitControls, SelectorSetReachesTheUnitFirst) {
    struct Case {
        const char* name;
        std::uint32_t input;
        NTSTATUS device;
        NTSTATUS expected;
        std::vector<std::uint32_t> sent;
        std::uint32_t currentAfter; // starts at 1
    };
    const Case cases[] = {
        {"input 2 taken", 2, STATUS_SUCCESS, STATUS_SUCCESS, {2}, 2},
        {"input 0 refused unsent", 0, STATUS_SUCCESS, STATUS_INVALID_PARAMETER, {}, 1},
        {"input 4 of 3 refused unsent", 4, STATUS_SUCCESS, STATUS_INVALID_PARAMETER, {}, 1},
        {"device refusal kept out", 3, DeviceStall, DeviceStall, {3}, 1},
    };
    std::uint32_t id = 40;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ++id;
        Held<CFakeSelector> unit(Make<CFakeSelector>());
        Held<CUacSelectorControl> control(Make<CUacSelectorControl>(id));
        ASSERT_EQ(control->Bind(static_cast<ISelectorUnit*>(unit.get()), m_pFunction),
                  STATUS_SUCCESS);
        unit->setStatus = c.device;
        EXPECT_EQ(control->SetCurrentInput(c.input), c.expected);
        EXPECT_EQ(unit->sent, c.sent);
        std::uint32_t current = 0;
        EXPECT_EQ(control->GetCurrentInput(&current), STATUS_SUCCESS);
        EXPECT_EQ(current, c.currentAfter);
        std::uint32_t persisted = 1;
        AccessUnitSetting(m_pFunction, SETTING_READ, &persisted, 4, id);
        EXPECT_EQ(persisted, c.currentAfter);
    }
}

TEST_F(UnitControls, SelectorReReadsTheUnit) {
    Held<CFakeSelector> unit(Make<CFakeSelector>());
    Held<CUacSelectorControl> control(Make<CUacSelectorControl>(60u));
    ASSERT_EQ(control->Bind(static_cast<ISelectorUnit*>(unit.get()), m_pFunction), STATUS_SUCCESS);
    unit->current = 3;
    EXPECT_EQ(control->ReadFromDevice(), STATUS_SUCCESS);
    std::uint32_t current = 0;
    EXPECT_EQ(control->GetCurrentInput(&current), STATUS_SUCCESS);
    EXPECT_EQ(current, 3u);
}

TEST_F(UnitControls, MixerTableHasOneEntryPerSource) {
    Held<CFakeSelector> mixer(Make<CFakeSelector>());
    const std::uint32_t sources[] = {4, 5, 6};
    ASSERT_EQ(mixer->SetIdList(3, sources), STATUS_SUCCESS);
    Held<CUacMixerControl> control(Make<CUacMixerControl>(61u));
    ASSERT_EQ(control->Bind(mixer.get()), STATUS_SUCCESS);
    EXPECT_EQ(IdsOf(*control.get()), (std::vector<std::uint32_t>{0, 0, 0}));
    EXPECT_EQ(control->Bind(nullptr), STATUS_INVALID_PARAMETER);
}

TEST_F(UnitControls, ClockKeepsTheDiscreteRates) {
    struct Case {
        const char* name;
        std::vector<std::uint32_t> discrete;
        std::uint32_t continuous;
        NTSTATUS expected;
        std::vector<std::uint32_t> stored;
    };
    const Case cases[] = {
        {"two discrete rates", {44100, 48000}, 0, STATUS_SUCCESS, {44100, 48000}},
        {"a continuous range beside them", {44100, 48000}, 1, STATUS_SUCCESS, {44100, 48000}},
        {"only a continuous range", {}, 1, STATUS_INVALID_PARAMETER, {}},
        {"no rates", {}, 0, STATUS_UNSUCCESSFUL, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Held<CFakeClock> clock(Make<CFakeClock>());
        clock->rates = c.discrete;
        clock->continuous = c.continuous;
        Held<CUacClockControl> control(Make<CUacClockControl>(62u));
        EXPECT_EQ(control->Bind(static_cast<IClockSourceUnit*>(clock.get())), c.expected);
        std::vector<std::uint32_t> rates(4, 0);
        std::uint32_t count = 4;
        EXPECT_EQ(control->GetSampleRates(&count, rates.data()), STATUS_SUCCESS);
        rates.resize(count);
        EXPECT_EQ(rates, c.stored);
    }
}

TEST_F(UnitControls, ClockRateChangesOnlyWhenTheSourceTookIt) {
    Held<CFakeClock> clock(Make<CFakeClock>());
    clock->rates = {48000, 96000};
    Held<CUacClockControl> control(Make<CUacClockControl>(63u));
    ASSERT_EQ(control->Bind(static_cast<IClockSourceUnit*>(clock.get())), STATUS_SUCCESS);
    EXPECT_EQ(control->SetSampleRate(96000), STATUS_SUCCESS);
    clock->setStatus = DeviceStall;
    EXPECT_EQ(control->SetSampleRate(48000), DeviceStall);
    std::uint32_t rate = 0;
    EXPECT_EQ(control->GetSampleRate(&rate), STATUS_SUCCESS);
    EXPECT_EQ(rate, 96000u);
    std::uint8_t valid = 0;
    EXPECT_EQ(control->GetClockValid(&valid), STATUS_SUCCESS);
    EXPECT_EQ(valid, 1);
}

} // namespace
