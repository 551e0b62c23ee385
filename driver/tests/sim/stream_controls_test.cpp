#include "driver/common/settings_store.h"
#include "driver/devmodel/control_settings.h"
#include "driver/devmodel/soft_volume_control.h"
#include "driver/devmodel/switch_controls.h"
#include "driver/tests/engine_test_doubles.h"
#include "driver/tests/settings_test_device.h"
#include "driver/tests/test_wave_formats.h"
#include "entity_test_support.h"
#include "fake_feature_unit.h"
#include "platform/kernel/debug_print.h"
#include "platform/kernel/floating_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace devmodel_test;

constexpr std::uint8_t SoftVolume = 130;

struct StreamControls : SettingsTestDevice {
    void SetUp() override {
        SettingsTestDevice::SetUp();
        ASSERT_EQ(unit->StoreDescriptor(FeatureUnitDescriptor, device.get()), STATUS_SUCCESS);
        unit->controls[SoftVolume] = {{-6 * Db, MinusInfinity}, 0, -60 * Db, 256};
        kernel::clearDebugLog();
    }
    void TearDown() override {
        kernel::failFloatingPointSaves(false);
        SettingsTestDevice::TearDown();
    }
    kernel::IUnknown* Unit() { return static_cast<IFeatureUnitSwitch*>(unit.get()); }

    Held<CAudioNode> device{Make<CAudioNode>(99u, 0u)};
    Held<CFakeFeatureUnit> unit{Make<CFakeFeatureUnit>()};
};

TEST_F(StreamControls, SoftVolumeGainsFollowTheValues) {
    Held<CUacSoftVolumeControl> control(Make<CUacSoftVolumeControl>(7u));
    ASSERT_EQ(control->Bind(Unit(), SoftVolume, m_pFunction), STATUS_SUCCESS);
    EXPECT_NEAR(control->Gain(0), 0.501187f, 1e-5f);
    EXPECT_EQ(control->Gain(1), 0.0f);
    EXPECT_EQ(control->SetLevel(1, 6 * Db), STATUS_SUCCESS); // clamped to 0 dB
    EXPECT_NEAR(control->Gain(1), 1.0f, 1e-6f);
    EXPECT_EQ(control->SetLevel(0, MinusInfinity), STATUS_SUCCESS);
    EXPECT_EQ(control->Gain(0), 0.0f);
}

TEST_F(StreamControls, SoftVolumeScalesOnlyCurrentIntegerPcm) {
    struct Case {
        const char* name;
        ks::WaveFormatExtensible format;
        std::uint32_t own;
        std::uint32_t current;
        bool scaled;
    };
    const Case cases[] = {
        {"current pcm", TestPcmFormat(2, 16, 48000), 1, 1, true},
        {"another stream is current", TestPcmFormat(2, 16, 48000), 1, 2, false},
        {"float stream", TestWaveFormat(ks::format_tag::ieeeFloat, 2, 32), 1, 1, false},
        {"extensible pcm", TestExtensibleFormat(ks::format_tag::pcm, 2, 16, 16), 1, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Held<CUacSoftVolumeControl> control(Make<CUacSoftVolumeControl>(7u));
        ASSERT_EQ(control->Bind(Unit(), SoftVolume, m_pFunction), STATUS_SUCCESS);
        control->SetOwnValue(c.own);
        control->SetCurrentValue(c.current);
        std::vector<float> left(4, 1.0f);
        std::vector<float> right(4, 1.0f);
        float* planes[] = {left.data(), right.data()};
        EXPECT_EQ(control->Process(&c.format, planes, 4), STATUS_SUCCESS);
        EXPECT_NEAR(left[3], c.scaled ? 0.501187f : 1.0f, 1e-5f);
        EXPECT_EQ(right[3], c.scaled ? 0.0f : 1.0f);
    }
}

TEST_F(StreamControls, SoftVolumeBindFailsWithoutAFloatingState) {
    Held<CUacSoftVolumeControl> control(Make<CUacSoftVolumeControl>(7u));
    kernel::failFloatingPointSaves(true);
    EXPECT_FALSE(kernel::succeeded(control->Bind(Unit(), SoftVolume, m_pFunction)));
    kernel::failFloatingPointSaves(false);
    const auto log = kernel::debugLog();
    EXPECT_NE(std::find(log.begin(), log.end(), "Save FPU error\n"), log.end());
    EXPECT_EQ(control->Gain(0), 0.0f);
}

TEST_F(StreamControls, SoftVolumeReReadAppliesWhatTheDeviceHolds) {
    Held<CUacSoftVolumeControl> control(Make<CUacSoftVolumeControl>(7u));
    ASSERT_EQ(control->Bind(Unit(), SoftVolume, m_pFunction), STATUS_SUCCESS);
    unit->controls[SoftVolume].values = {0, -20 * Db};
    EXPECT_EQ(control->ReadFromDevice(), STATUS_SUCCESS);
    EXPECT_NEAR(control->Gain(0), 1.0f, 1e-6f);
    EXPECT_NEAR(control->Gain(1), 0.1f, 1e-6f);
}

TEST_F(StreamControls, LinkedMuteAnswersTheStreamBinding) {
    unit->controls[1] = {{0}};
    Held<CUacLinkedMuteControl> control(Make<CUacLinkedMuteControl>(7u));
    ASSERT_EQ(control->Bind(Unit(), 1, m_pFunction), STATUS_SUCCESS);
    IStreamBinding* binding = nullptr;
    ASSERT_EQ(control->NonDelegatingQueryInterface(IID_IStreamBinding,
                                                   reinterpret_cast<void**>(&binding)),
              STATUS_SUCCESS);
    binding->Release();
    EXPECT_EQ(control->SetOnOff(0, 1), STATUS_SUCCESS);
    EXPECT_EQ(unit->log, std::vector<std::string>{"set 1/0=1"});
}

TEST_F(StreamControls, CachedSwitchKeepsItsByteOffTheDevice) {
    std::uint8_t stored = 1;
    ASSERT_EQ(AccessChannelSetting(m_pFunction, SETTING_WRITE, &stored, 1, 8, 0, 0),
              STATUS_SUCCESS);
    Held<CUacCachedSwitchControl> control(Make<CUacCachedSwitchControl>(8u));
    ASSERT_EQ(control->BindCached(m_pFunction), STATUS_SUCCESS);
    std::uint8_t value = 0;
    EXPECT_EQ(control->GetOnOff(0, &value), STATUS_SUCCESS);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(control->SetOnOff(0, 0), STATUS_SUCCESS);
    EXPECT_EQ(control->ReadFromDevice(), STATUS_SUCCESS);
    EXPECT_EQ(control->GetOnOff(0, &value), STATUS_SUCCESS);
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(unit->log.empty());
    EXPECT_EQ(control->GetType(), CachedSwitchItemType);
}

} // namespace
