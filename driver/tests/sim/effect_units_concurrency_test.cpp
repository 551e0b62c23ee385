// The effect units under load from several threads at once, as the driver
// meets them: the stream engine's blocks at dispatch level against value
// and on/off sets from property requests. Built to run under
// ThreadSanitizer; the last set of each kind must be the one in force.
#include "driver/common/sigproc_pool_hooks.h"
#include "driver/devmodel/chips/q7k2/q7k2_virtualizer_unit.h"
#include "driver/devmodel/chips/t6l1/t6l1_effect_host.h"
#include "driver/tests/settings_test_device.h"
#include "driver/tests/test_planes.h"
#include "driver/tests/test_wave_formats.h"
#include "entity_test_support.h"
#include "fake_feature_unit.h"
#include "platform/kernel/irql.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

using namespace devmodel_test;

constexpr int Rounds = 300;

void RunBlock(IDspNode& unit, const ks::WaveFormatExtensible& format, std::uint32_t seed) {
    TestPlanes planes = NoisePlanes(96, seed, 0.4f, format.Format.nChannels);
    std::vector<float*> pointers = PlanePointers(planes);
    kernel::IrqlScope dispatch(kernel::Irql::Dispatch);
    EXPECT_EQ(unit.Process(&format, pointers.data(), 96), STATUS_SUCCESS);
}

struct EffectUnitsConcurrency : SettingsTestDevice {};

TEST_F(EffectUnitsConcurrency, NoSetIsLostAgainstRunningBlocks) {
    const CSigprocPoolHooks poolHooks;
    Held<CFakeFeatureUnit> entity(Make<CFakeFeatureUnit>());
    entity->controls[feature_selector::virtualizer] = {{0}};
    Held<CQ7K2VirtualizerUnit> virtualizer(Make<CQ7K2VirtualizerUnit>(4u));
    ASSERT_EQ(virtualizer->Init(static_cast<IFeatureUnitSwitch*>(entity.get()),
                                feature_selector::virtualizer, m_pFunction),
              STATUS_SUCCESS);
    Held<CT6L1EffectHost> host(Make<CT6L1EffectHost>(5u));
    ASSERT_EQ(host->Init(nullptr, m_pFunction, 1), STATUS_SUCCESS);
    const auto format = TestPcmFormat(8, 16);
    ASSERT_EQ(virtualizer->SetFormat(&format), STATUS_SUCCESS);
    ASSERT_EQ(host->SetFormat(&format), STATUS_SUCCESS);

    std::atomic<bool> setting{true};
    std::thread blocks([&] {
        for (std::uint32_t block = 0; setting.load() || block < Rounds; ++block) {
            RunBlock(*virtualizer.get(), format, block);
            RunBlock(*host.get(), format, block);
        }
    });
    std::thread onOff([&] {
        for (int round = 0; round < Rounds; ++round)
            EXPECT_EQ(virtualizer->SetEnable(static_cast<std::uint8_t>(round % 2)), STATUS_SUCCESS);
        EXPECT_EQ(virtualizer->SetEnable(1), STATUS_SUCCESS);
    });
    std::thread values([&] {
        for (std::uint32_t round = 0; round < Rounds; ++round) {
            const std::uint32_t room = round % 3;
            EXPECT_EQ(virtualizer->SetRecordParameters(0, 1, &room), STATUS_SUCCESS);
            const std::uint32_t hostValues[3] = {round % 2, 20 + round % 40, round};
            EXPECT_EQ(host->SetValues(0, 3, hostValues), STATUS_SUCCESS);
        }
        const std::uint32_t last[3] = {1, 45, 60};
        EXPECT_EQ(host->SetValues(0, 3, last), STATUS_SUCCESS);
    });
    onOff.join();
    values.join();
    setting.store(false);
    blocks.join();

    RunBlock(*virtualizer.get(), format, 0);
    RunBlock(*host.get(), format, 0);
    EXPECT_EQ(virtualizer->Switch().Active(), 1u);
    EXPECT_EQ(virtualizer->Switch().Fade(), EffectFade::idle);
    std::uint32_t room = 9;
    EXPECT_EQ(virtualizer->GetRecordParameters(0, 1, &room), STATUS_SUCCESS);
    EXPECT_EQ(room, (Rounds - 1) % 3u);
    EXPECT_EQ(virtualizer->Virtualizer()->GetHeadphoneRoom(), static_cast<int>(room));
    EXPECT_EQ(host->Switch().Active(), 1u);
    EXPECT_EQ(host->Value(1), 45);
    EXPECT_EQ(host->Value(2), 60);
    float distance = 0, angle = 0;
    host->SpeakerMap()->Get(0, &distance, &angle);
    EXPECT_EQ(distance, 45.0f);
    EXPECT_EQ(angle, 60.0f);
}

} // namespace
