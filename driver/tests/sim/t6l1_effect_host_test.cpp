#include "driver/common/settings_store.h"
#include "driver/common/sigproc_pool_hooks.h"
#include "driver/devmodel/chips/t6l1/t6l1_effect_host.h"
#include "driver/devmodel/control_settings.h"
#include "driver/tests/dsp_test_host.h"
#include "driver/tests/settings_test_device.h"
#include "driver/tests/test_planes.h"
#include "effect_unit_blocks.h"
#include "entity_test_support.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/pool.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace devmodel_test;

constexpr std::uint32_t HostId = 5;

struct T6L1Host : SettingsTestDevice {
    void SetUp() override {
        SettingsTestDevice::SetUp();
        host = std::make_unique<Held<CT6L1EffectHost>>(NewHost());
    }
    void TearDown() override {
        host.reset();
        SettingsTestDevice::TearDown();
    }
    CT6L1EffectHost* NewHost() {
        CT6L1EffectHost* made = Make<CT6L1EffectHost>(HostId);
        EXPECT_EQ(made->Init(nullptr, m_pFunction, 3), STATUS_SUCCESS);
        return made;
    }
    CT6L1EffectHost& Host() { return *host->get(); }
    std::vector<std::int32_t> Values(CT6L1EffectHost& unit) {
        std::vector<std::int32_t> values(17);
        EXPECT_EQ(unit.GetParameters(0, 17, reinterpret_cast<std::uint32_t*>(values.data())),
                  STATUS_SUCCESS);
        return values;
    }
    const CSigprocPoolHooks poolHooks;
    std::unique_ptr<Held<CT6L1EffectHost>> host;
};

std::vector<std::int32_t> ResetValues(std::int32_t onOff = 0) {
    return {onOff, 30, -30, 30, 30, 30, -150, 30, 150, 30, 0, 30, -100, 30, 100, 30, 15};
}

TEST_F(T6L1Host, ValuesAreCheckedStoredAndPersisted) {
    EXPECT_EQ(Values(Host()), ResetValues());
    struct Case {
        const char* name;
        std::uint32_t first, count;
        std::vector<std::uint32_t> values;
        NTSTATUS status;
    };
    const Case cases[] = {
        {"past the last value", 16, 2, {1, 2}, STATUS_INVALID_PARAMETER},
        {"first + count wraps", 0xFFFFFFFF, 2, {1, 2}, STATUS_INVALID_PARAMETER},
        {"first beyond the list", 18, 0, {}, STATUS_INVALID_PARAMETER},
        {"the last three", 14, 3, {45, 60, 20}, STATUS_SUCCESS},
        {"a negative angle", 2, 1, {static_cast<std::uint32_t>(-45)}, STATUS_SUCCESS},
    };
    std::vector<std::int32_t> expected = ResetValues();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Host().SetParameters(c.first, c.count, c.values.data()), c.status);
        std::uint32_t out[3] = {};
        EXPECT_EQ(Host().GetParameters(c.first, c.count, out), c.status);
        if (kernel::succeeded(c.status))
            for (std::uint32_t k = 0; k < c.count; ++k) {
                expected[c.first + k] = static_cast<std::int32_t>(c.values[k]);
                EXPECT_EQ(out[k], c.values[k]);
                std::int32_t stored = 0;
                EXPECT_EQ(AccessUnitIndexedSetting(m_pFunction, SETTING_READ, &stored, 4, HostId,
                                                   c.first + k),
                          STATUS_SUCCESS);
                EXPECT_EQ(stored, expected[c.first + k]);
            }
        EXPECT_EQ(Values(Host()), expected);
    }
    std::uint32_t maximum = 0, minimum = 0, step = 0;
    EXPECT_EQ(Host().GetParameterInfo(16, &maximum, &minimum, &step), STATUS_SUCCESS);
    EXPECT_EQ(maximum, 0x7FFFFFFFu);
    EXPECT_EQ(minimum, 0x80000000u);
    EXPECT_EQ(step, 1u);
    EXPECT_EQ(Host().GetParameterInfo(17, &maximum, &minimum, &step), STATUS_INVALID_PARAMETER);

    // A new host reads what was stored; what was not keeps its reset value.
    Held<CT6L1EffectHost> next(NewHost());
    EXPECT_EQ(Values(*next.get()), expected);
}

TEST_F(T6L1Host, AnglesMoveSpeakersWithoutAFadeAndTheOnOffValueFades) {
    const auto format = TestPcmFormat(8, 16);
    ASSERT_EQ(Host().SetFormat(&format), STATUS_SUCCESS);
    EXPECT_TRUE(Host().IsFormatApplied());
    const std::uint32_t angle = static_cast<std::uint32_t>(-60);
    ASSERT_EQ(Host().SetValues(4, 1, &angle), STATUS_SUCCESS); // speaker 1's angle
    float distance = 0, stored = 0;
    Host().SpeakerMap()->Get(1, &distance, &stored);
    EXPECT_EQ(stored, -60.0f);
    EXPECT_EQ(distance, 30.0f);
    EXPECT_FALSE(Host().Switch().IsChangePending());

    for (const std::uint32_t onOff : {1u, 0u, 0u}) {
        const bool changes = onOff != Host().Switch().Active();
        ASSERT_EQ(Host().SetValues(0, 1, &onOff), STATUS_SUCCESS);
        EXPECT_EQ(Host().Switch().IsChangePending(), changes);
        EXPECT_EQ(Host().Switch().Active(), onOff);
        RunBlock(Host(), format, 256, onOff);
        EXPECT_EQ(Host().Switch().Fade(), EffectFade::idle);
    }
    EXPECT_EQ(Host().Reset(), STATUS_SUCCESS);
    EXPECT_FALSE(Host().IsFormatApplied());
}

// On, every plane leaves as 1.5848 times the virtualizer's output; the
// virtualizer runs over all eight planes, so those the stream lacks must be
// silent, not last block's output.
TEST_F(T6L1Host, OnIsTheVirtualizerRaisedByFourDecibels) {
    for (const std::uint16_t channels : {2, 6, 8}) {
        SCOPED_TRACE(channels);
        Held<CT6L1EffectHost> unit(NewHost());
        CSpeakerMap map;
        ASSERT_EQ(map.Alloc(), 1);
        CHrtfRoom room;
        ASSERT_EQ(room.CreateFilterSet(), 1);
        for (int s = 0; s < 8; ++s)
            map.SetPosition(s, 30.0f, static_cast<float>(CT6L1EffectHost::DefaultAngles[s]));
        const auto format = TestPcmFormat(channels, 16);
        room.SetRate(48000);
        room.Reset();
        const std::uint32_t on = 1;
        ASSERT_EQ(unit->SetValues(0, 1, &on), STATUS_SUCCESS);
        ASSERT_EQ(unit->SetFormat(&format), STATUS_SUCCESS);
        for (std::uint32_t block = 0; block < 4; ++block) {
            TestPlanes planes = NoisePlanes(480, block, 0.4f, 8);
            for (std::uint32_t p = channels; p < 8; ++p)
                std::fill(planes[p].begin(), planes[p].end(), 0.0f);
            std::vector<float*> pointers = PlanePointers(planes);
            map.Process(pointers.data(), pointers.data(), 480);
            room.Process(pointers.data(), pointers.data(), 480);
            const TestPlanes out = RunBlock(*unit.get(), format, 480, block);
            if (block == 0) continue; // the switch's fade
            for (std::uint32_t p = 0; p < channels; ++p)
                for (int i = 0; i < 480; ++i)
                    ASSERT_FLOAT_EQ(out[p][i], 1.5848f * planes[p][i]) << p << " at " << i;
        }
    }
}

// A 16-bit stream through the chain while off is the stereo fold; a float
// stream passes untouched, the switch still taken.
TEST_F(T6L1Host, OffIsTheFoldAndOtherFormatsPass) {
    const auto format = TestPcmFormat(6, 16);
    ASSERT_EQ(Host().SetFormat(&format), STATUS_SUCCESS);
    CTestDspHost chain(format);
    ASSERT_EQ(chain.host.AddChainANode(&Host()), STATUS_SUCCESS);
    std::vector<std::int16_t> samples(6 * 100);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>(1000 * (i % 6 + 1));
    ASSERT_EQ(chain.host.ProcessAllChains(samples.data(), 1200), STATUS_SUCCESS);
    // left: 1000 + 0.707 x 3000 + 4000 + 5000; right: 2000 + 2121 + 4000 + 6000
    EXPECT_EQ(samples[0], 12121);
    EXPECT_EQ(samples[1], 14121);
    EXPECT_EQ(samples[2], 3000);
    EXPECT_EQ(samples[5], 6000);

    const std::uint32_t on = 1;
    ASSERT_EQ(Host().SetValues(0, 1, &on), STATUS_SUCCESS);
    CTestDspHost floats(TestWaveFormat(ks::format_tag::ieeeFloat, 2, 32));
    ASSERT_EQ(floats.host.AddChainANode(&Host()), STATUS_SUCCESS);
    std::vector<float> packet(2 * 64, 0.5f);
    ASSERT_EQ(floats.host.ProcessAllChains(packet.data(), 512), STATUS_SUCCESS);
    EXPECT_EQ(packet, std::vector<float>(2 * 64, 0.5f));
    EXPECT_FALSE(Host().Switch().IsChangePending());
    EXPECT_EQ(Host().Switch().Fade(), EffectFade::toWet);
}

TEST_F(T6L1Host, ParameterControlForwardsToItsOwner) {
    Held<CUacParameterControl> control(
        Make<CUacParameterControl>(9u, T6L1EffectHostIdentity, CT6L1EffectHost::ValueCount));
    control->BindOwner(static_cast<IEffectParameters*>(&Host()));
    std::uint32_t values[3] = {};
    EXPECT_EQ(control->GetParameters(14, 3, values), STATUS_SUCCESS);
    EXPECT_EQ(values[2], 15u);
    EXPECT_EQ(control->GetParameters(15, 3, values), STATUS_INVALID_PARAMETER);
    const std::uint32_t distance = 60;
    EXPECT_EQ(control->SetParameters(1, 1, &distance), STATUS_SUCCESS);
    EXPECT_EQ(Host().Value(1), 60);
    EXPECT_EQ(control->GetParameterInfo(16, values, values + 1, values + 2), STATUS_SUCCESS);
    EXPECT_EQ(control->GetParameterInfo(17, values, values + 1, values + 2),
              STATUS_INVALID_PARAMETER);
    control->BindOwner(static_cast<IEffectParameters*>(control.get()));
    EXPECT_EQ(control->GetParameters(0, 1, values), STATUS_UNSUCCESSFUL);
}

TEST_F(T6L1Host, InitGivesEverythingBackWhenTheMemoryIsShort) {
    const std::size_t live = kernel::poolLiveBlocks();
    std::uint64_t requests = 0;
    {
        Held<CT6L1EffectHost> unit(Make<CT6L1EffectHost>(HostId));
        const std::uint64_t start = kernel::poolRequestCount();
        ASSERT_EQ(unit->Init(nullptr, m_pFunction, 3), STATUS_SUCCESS);
        requests = kernel::poolRequestCount() - start;
    }
    ASSERT_GT(requests, 4u);
    const auto format = TestPcmFormat(2, 16);
    for (std::uint64_t failing = 1; failing <= requests; ++failing) {
        SCOPED_TRACE(failing);
        {
            Held<CT6L1EffectHost> unit(Make<CT6L1EffectHost>(HostId));
            kernel::failPoolRequest(failing);
            const NTSTATUS status = unit->Init(nullptr, m_pFunction, 3);
            kernel::clearPoolFaults();
            if (kernel::succeeded(status)) continue;
            EXPECT_FALSE(unit->IsComplete());
            EXPECT_EQ(unit->SetFormat(&format), STATUS_INVALID_PARAMETER);
            TestPlanes planes = NoisePlanes(64, 3, 0.4f, 2);
            const TestPlanes before = planes;
            std::vector<float*> pointers = PlanePointers(planes);
            EXPECT_EQ(unit->Process(&format, pointers.data(), 64), STATUS_SUCCESS);
            EXPECT_EQ(planes, before);
        }
        EXPECT_EQ(kernel::poolLiveBlocks(), live);
    }
}

} // namespace
