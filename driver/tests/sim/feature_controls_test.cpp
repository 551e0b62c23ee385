#include "driver/common/settings_store.h"
#include "driver/devmodel/control_settings.h"
#include "driver/devmodel/level_controls.h"
#include "driver/devmodel/switch_controls.h"
#include "driver/engine/control_change.h"
#include "driver/tests/engine_test_doubles.h"
#include "driver/tests/settings_test_device.h"
#include "entity_test_support.h"
#include "fake_feature_unit.h"
#include "platform/kernel/pool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace devmodel_test;
using Log = std::vector<std::string>;

struct FeatureControls : SettingsTestDevice {
    void SetUp() override {
        SettingsTestDevice::SetUp();
        ASSERT_EQ(hal->Init(nullptr, m_pFunction, nullptr, nullptr), STATUS_SUCCESS);
        ASSERT_EQ(unit->StoreDescriptor(FeatureUnitDescriptor, static_cast<IAudioHal*>(hal.get())),
                  STATUS_SUCCESS);
    }
    void TearDown() override {
        kernel::clearPoolFaults();
        SettingsTestDevice::TearDown();
    }

    template <class Control> Control* Bound(std::uint8_t selector, std::uint32_t id = 7) {
        Control* control = Make<Control>(id);
        EXPECT_EQ(
            control->Bind(static_cast<IFeatureUnitSwitch*>(unit.get()), selector, m_pFunction),
            STATUS_SUCCESS);
        return control;
    }
    std::int32_t Persisted(std::uint32_t id, std::uint32_t channel, std::uint32_t mode = 0) {
        std::int32_t value = 0x5A5A5A5A;
        AccessChannelSetting(m_pFunction, SETTING_READ, &value, sizeof(value), id, mode, channel);
        return value;
    }

    Held<CPlainHal> hal{Make<CPlainHal>()};
    Held<CFakeFeatureUnit> unit{Make<CFakeFeatureUnit>()};
};

FakeControl Level(std::vector<std::int32_t> values, std::int32_t maximum, std::int32_t minimum,
                  std::int32_t resolution) {
    return {std::move(values), maximum, minimum, resolution};
}

TEST_F(FeatureControls, ControlsFollowTheSelectorOrderWithConsecutiveIds) {
    Held<CAudioNode> earlier(Make<CAudioNode>(0u, 0u));
    ASSERT_EQ(hal->AddChildObject(earlier.get()), STATUS_SUCCESS);
    unit->controls[7] = {{0, 0}};
    unit->controls[1] = {{0, 0}};
    unit->controls[2] = Level({0, 0}, 0, -64 * Db, 256);
    unit->controls[6] = {{0}}; // no control class: left out
    ASSERT_EQ(unit->CreateControls(hal.get()), STATUS_SUCCESS);
    ASSERT_EQ(unit->ChainItems(), STATUS_SUCCESS);

    std::vector<std::uint32_t> ids;
    for (IAudioNode* item : Items(*unit.get())) ids.push_back(item->GetId());
    EXPECT_EQ(
        ItemTypes(*unit.get()),
        (std::vector<std::uint32_t>{item_type::automaticGain, item_type::volume, item_type::mute}));
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{3, 2, 1}));
    EXPECT_EQ(hal->GetChildCount(), 4u);
    std::uint32_t output = 0;
    EXPECT_EQ(unit->GetOutputNodeId(&output), STATUS_SUCCESS);
    EXPECT_EQ(output, 1u);
}

TEST_F(FeatureControls, AUnitWithoutMuteGetsNoControls) {
    unit->controls[2] = Level({0}, 0, -64 * Db, 256);
    EXPECT_EQ(unit->CreateControls(hal.get()), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(hal->GetChildCount(), 0u);
}

TEST_F(FeatureControls, EveryRefusedAllocationLeavesAConsistentUnit) {
    for (std::uint64_t n = 1;; ++n) {
        SCOPED_TRACE(n);
        const std::size_t liveBefore = kernel::poolLiveBlocks();
        bool exhausted = false;
        {
            Held<CPlainHal> fresh(Make<CPlainHal>());
            ASSERT_EQ(fresh->Init(nullptr, m_pFunction, nullptr, nullptr), STATUS_SUCCESS);
            Held<CFakeFeatureUnit> other(Make<CFakeFeatureUnit>());
            ASSERT_EQ(
                other->StoreDescriptor(FeatureUnitDescriptor, static_cast<IAudioHal*>(fresh.get())),
                STATUS_SUCCESS);
            other->controls[1] = {{0, 0}};
            other->controls[2] = Level({0, 0}, 0, -64 * Db, 256);
            other->controls[3] = Level({0, 0}, 12 * Db, -12 * Db, Db / 4);
            const std::uint64_t start = kernel::poolRequestCount();
            kernel::failPoolRequest(n);
            const NTSTATUS status = other->CreateControls(fresh.get());
            exhausted = kernel::poolRequestCount() - start < n;
            kernel::clearPoolFaults();
            std::uint32_t items = 0;
            ASSERT_EQ(other->GetItemCount(&items), STATUS_SUCCESS);
            if (exhausted) {
                EXPECT_EQ(status, STATUS_SUCCESS);
            }
            // A failed add may leave its control in the HAL's list alone.
            if (kernel::succeeded(status)) {
                ASSERT_GE(items, 1u);
                EXPECT_EQ(Items(*other.get()).back()->GetType(), item_type::mute);
                EXPECT_EQ(fresh->GetChildCount(), items);
            }
        }
        EXPECT_EQ(kernel::poolLiveBlocks(), liveBefore);
        if (exhausted) {
            EXPECT_GT(n, 4u); // every control's allocations were refused once
            break;
        }
    }
}

TEST_F(FeatureControls, LevelWritesClampTruncateAndKeepTheWantedValue) {
    struct Case {
        const char* name;
        std::uint8_t selector;
        FakeControl device;
        std::int32_t wanted;
        std::int32_t sent;
        std::int32_t cached;
    };
    const std::int32_t w = -(10 * Db + Db * 3 / 10); // -10.3 dB
    const Case cases[] = {
        {"volume above the range", 2, Level({-Db}, 0, -64 * Db, 256), 6 * Db, 0, 0},
        {"volume below the range", 2, Level({-Db}, 0, -64 * Db, 256), -70 * Db, -64 * Db, -64 * Db},
        {"volume silence passes on", 2, Level({-Db}, 0, -64 * Db, 256), MinusInfinity,
         MinusInfinity, MinusInfinity},
        {"bass silence sends the minimum", 3, Level({0}, 12 * Db, -12 * Db, Db / 4), MinusInfinity,
         -12 * Db, MinusInfinity},
        {"truncated toward zero", 2, Level({0}, 0, -64 * Db, Db / 2), w, -10 * Db, w},
        {"resolution 0 sends the value", 2, Level({0}, 0, -64 * Db, 0), w, w, w},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        unit->controls.clear();
        unit->controls[c.selector] = c.device;
        unit->log.clear();
        Held<CUacLevelControl> control(
            c.selector == 2 ? static_cast<CUacLevelControl*>(Bound<CUacVolumeControl>(2))
                            : Bound<CUacBassControl>(3));
        EXPECT_EQ(control->SetLevel(0, c.wanted), STATUS_SUCCESS);
        EXPECT_EQ(unit->log,
                  Log{"set " + std::to_string(c.selector) + "/0=" + std::to_string(c.sent)});
        std::int32_t cached = 0;
        EXPECT_EQ(control->GetLevel(0, &cached), STATUS_SUCCESS);
        EXPECT_EQ(cached, c.cached);
        EXPECT_EQ(Persisted(7, 0), c.cached);
    }
}

TEST_F(FeatureControls, ARefusedLevelWriteChangesNothingButSucceeds) {
    unit->controls[2] = Level({-Db, -Db}, 0, -64 * Db, 256);
    Held<CUacVolumeControl> control(Bound<CUacVolumeControl>(2));
    unit->controls[2].setStatus = DeviceStall;
    EXPECT_EQ(control->SetLevel(1, -3 * Db), STATUS_SUCCESS);
    std::int32_t cached = 0;
    EXPECT_EQ(control->GetLevel(1, &cached), STATUS_SUCCESS);
    EXPECT_EQ(cached, -Db);
    EXPECT_EQ(control->SetLevel(2, 0), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(control->GetLevel(2, &cached), STATUS_INVALID_PARAMETER);
}

TEST_F(FeatureControls, ByteWritesFollowTheirKindsRule) {
    struct Case {
        const char* name;
        std::uint8_t selector;
        NTSTATUS device;
        std::uint8_t cachedAfter; // the control starts at 0 and is set to 1
    };
    const Case cases[] = {
        {"mute taken", 1, STATUS_SUCCESS, 1},
        {"mute refused still changes", 1, DeviceStall, 1},
        {"vendor switch taken", 144, STATUS_SUCCESS, 1},
        {"vendor switch refused changes nothing", 144, DeviceStall, 0},
    };
    std::uint32_t id = 10;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ++id; // each case its own settings
        unit->controls.clear();
        unit->controls[c.selector] = {{0, 0}};
        Held<CUacSwitchControl> control(
            c.selector == 1 ? static_cast<CUacSwitchControl*>(Bound<CUacMuteControl>(1, id))
                            : Bound<CUacVendorSwitchControl>(144, id));
        unit->controls[c.selector].setStatus = c.device;
        EXPECT_EQ(control->SetOnOff(1, 1), STATUS_SUCCESS);
        std::uint8_t cached = 9;
        EXPECT_EQ(control->GetOnOff(1, &cached), STATUS_SUCCESS);
        EXPECT_EQ(cached, c.cachedAfter);
        std::uint8_t persisted = 0;
        AccessChannelSetting(m_pFunction, SETTING_READ, &persisted, 1, id, 0, 1);
        EXPECT_EQ(persisted, c.cachedAfter);
        EXPECT_EQ(control->SetOnOff(2, 1), STATUS_INVALID_PARAMETER);
    }
}

TEST_F(FeatureControls, APersistedValueReplacesTheDevicesAtBind) {
    const std::int32_t stored = -20 * Db;
    ASSERT_EQ(AccessChannelSetting(m_pFunction, SETTING_WRITE, const_cast<std::int32_t*>(&stored),
                                   sizeof(stored), 7, 0, 1),
              STATUS_SUCCESS);
    unit->controls[2] = Level({-Db, -Db}, 0, -64 * Db, 256);
    Held<CUacVolumeControl> control(Bound<CUacVolumeControl>(2));
    std::int32_t values[2] = {};
    EXPECT_EQ(control->GetLevel(0, &values[0]), STATUS_SUCCESS);
    EXPECT_EQ(control->GetLevel(1, &values[1]), STATUS_SUCCESS);
    EXPECT_EQ(values[0], -Db);
    EXPECT_EQ(values[1], stored);
    EXPECT_NE(DumpSettings().find("Unit07_ 0_1"), std::string::npos);
}

TEST_F(FeatureControls, VolumeReReadComparesEveryChannel) {
    struct Case {
        const char* name;
        std::int32_t resolution;
        std::vector<std::int32_t> deviceAfter; // the control caches w on both
        NTSTATUS expected;
        std::vector<std::int32_t> cachedAfter;
    };
    const std::int32_t w = -(10 * Db + Db * 3 / 10); // -10.3 dB
    const NTSTATUS Unchanged = STATUS_UNSUCCESSFUL;
    const Case cases[] = {
        {"nothing changed", Db / 2, {-10 * Db, -10 * Db}, Unchanged, {w, w}},
        {"a later channel changed", Db / 2, {-10 * Db, -3 * Db}, STATUS_SUCCESS, {w, -3 * Db}},
        {"no resolution, nothing changed", 0, {w, w}, Unchanged, {w, w}},
        {"no resolution, first changed", 0, {-Db, w}, STATUS_SUCCESS, {-Db, w}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        unit->controls[2] = Level({0, 0}, 0, -64 * Db, c.resolution);
        Held<CUacVolumeControl> control(Bound<CUacVolumeControl>(2));
        ASSERT_EQ(control->SetLevel(0, w), STATUS_SUCCESS);
        ASSERT_EQ(control->SetLevel(1, w), STATUS_SUCCESS);
        unit->controls[2].values = c.deviceAfter;
        EXPECT_EQ(control->ReadFromDevice(), c.expected);
        for (std::uint32_t channel = 0; channel < 2; ++channel) {
            std::int32_t cached = 0;
            EXPECT_EQ(control->GetLevel(channel, &cached), STATUS_SUCCESS);
            EXPECT_EQ(cached, c.cachedAfter[channel]);
            EXPECT_EQ(Persisted(7, channel), c.cachedAfter[channel]);
        }
    }
}

TEST_F(FeatureControls, ToneReReadStopsAtTheFirstFailure) {
    unit->controls[3] = Level({0, 0}, 12 * Db, -12 * Db, Db / 4);
    Held<CUacBassControl> control(Bound<CUacBassControl>(3));
    unit->controls[3].values = {3 * Db, 4 * Db};
    EXPECT_EQ(control->ReadFromDevice(), STATUS_SUCCESS);
    std::int32_t cached = 0;
    EXPECT_EQ(control->GetLevel(1, &cached), STATUS_SUCCESS);
    EXPECT_EQ(cached, 4 * Db);
    unit->controls[3].getStatus = DeviceStall;
    EXPECT_EQ(control->ReadFromDevice(), DeviceStall);
}

TEST_F(FeatureControls, GainPadSetsEveryChannelForTheAllChannel) {
    unit->controls[12] = Level({0, 0, 0}, 6 * Db, -6 * Db, Db);
    Held<CUacGainPadControl> control(Bound<CUacGainPadControl>(12));
    EXPECT_EQ(control->SetLevel(AllChannels, 3 * Db), STATUS_SUCCESS);
    EXPECT_EQ(unit->log, (Log{"set 12/0=196608", "set 12/1=196608", "set 12/2=196608"}));
    std::int32_t cached = 0;
    EXPECT_EQ(control->GetLevel(AllChannels, &cached), STATUS_SUCCESS);
    EXPECT_EQ(cached, 3 * Db);
}

void CountChange(void* context, void* argument1, void*) {
    auto* seen = static_cast<std::vector<std::uint32_t>*>(context);
    const auto* message = static_cast<const ControlChangeMessage*>(argument1);
    if (IsControlChange(*message)) seen->push_back(message->nodeId);
}

TEST_F(FeatureControls, ANarrowChannelModeReloadsTwoChannelsAndAnnounces) {
    unit->controls[2] = Level({0, 0, 0, 0, 0, 0}, 0, -64 * Db, 256);
    Held<CUacVolumeControl> control(Bound<CUacVolumeControl>(2));
    for (std::uint32_t channel = 0; channel < 6; ++channel) {
        std::int32_t stored = -static_cast<std::int32_t>(channel + 1) * Db;
        ASSERT_EQ(AccessChannelSetting(m_pFunction, SETTING_WRITE, &stored, sizeof(stored), 7, 3,
                                       channel),
                  STATUS_SUCCESS);
    }
    unit->log.clear();
    std::vector<std::uint32_t> seen;
    kernel::CallbackRegistration* registration =
        kernel::registerCallback(*hal->GetCallbackObject(), &CountChange, &seen);
    EXPECT_EQ(control->SetChannelMode(3, hal->GetCallbackObject()), STATUS_SUCCESS);
    kernel::unregisterCallback(registration);
    EXPECT_EQ(unit->log, (Log{"set 2/0=-65536", "set 2/1=-131072"}));
    EXPECT_EQ(seen, std::vector<std::uint32_t>{7});
}

TEST_F(FeatureControls, SettingsAreNamedByNodeModeAndChannel) {
    std::uint32_t value = 0x01020304;
    io::DeviceObject* device = m_pFunction;
    ASSERT_EQ(AccessChannelSetting(device, SETTING_WRITE, &value, 4, 7, 3, 12), STATUS_SUCCESS);
    ASSERT_EQ(AccessChannelSetting(device, SETTING_WRITE, &value, 4, 123, 10, 0), STATUS_SUCCESS);
    ASSERT_EQ(AccessUnitSetting(device, SETTING_WRITE, &value, 4, 4), STATUS_SUCCESS);
    ASSERT_EQ(AccessTerminalSetting(device, SETTING_WRITE, &value, 4, 3), STATUS_SUCCESS);
    const std::string settings = DumpSettings();
    for (const char* name : {"Unit07_ 3_12", "Unit123_10_0", "Unit04_", "UACUnit03"})
        EXPECT_NE(settings.find(std::string("\"") + name + "\""), std::string::npos) << name << "\n"
                                                                                     << settings;
}

} // namespace
