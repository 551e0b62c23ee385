#include "driver/common/settings_store.h"
#include "driver/common/sigproc_pool_hooks.h"
#include "driver/devmodel/chips/q7k2/q7k2_effect_unit.h"
#include "driver/devmodel/chips/q7k2/q7k2_feature_unit.h"
#include "driver/devmodel/chips/q7k2/q7k2_virtualizer_unit.h"
#include "driver/devmodel/control_settings.h"
#include "driver/effects/channel_mixer.h"
#include "driver/effects/float_format.h"
#include "driver/tests/dsp_test_host.h"
#include "driver/tests/dsp_test_node.h"
#include "driver/tests/reference_reverb.h"
#include "driver/tests/test_planes.h"
#include "effect_unit_blocks.h"
#include "fake_feature_unit.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/pool.h"
#include "sim/usb/fixtures.h"
#include "sim_usb_device.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <variant>
#include <vector>

namespace {

using namespace devmodel_test;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t Reverberator = feature_selector::reverberator;
constexpr std::uint8_t Virtualizer = feature_selector::virtualizer;

// The model's headset with a vendor block announcing only the selectors given.
usbsim::FunctionDescription HeadsetWithEffects(std::uint16_t masterBits) {
    auto description = usbsim::fixtures::q7k2Device();
    auto original = description.requests;
    description.requests = [original, masterBits](const usb::SetupPacket& setup,
                                                  std::span<const std::uint8_t> data) {
        auto answer = original(setup, data);
        if (answer && setup.bRequest == 0x85 && setup.wValue.value() == 0 && answer->size() > 20) {
            (*answer)[19] = static_cast<std::uint8_t>(masterBits);
            (*answer)[20] = static_cast<std::uint8_t>(masterBits >> 8);
        }
        return answer;
    };
    return description;
}

struct Q7K2Units : SimBusFixture {
    void SetUp() override {
        SimBusFixture::SetUp();
        Start(usbsim::fixtures::q7k2Device());
    }
    const CSigprocPoolHooks poolHooks;
    CQ7K2FeatureUnit* ParseFeatureUnit() {
        return ParseUnit<CQ7K2FeatureUnit>(FeatureUnitSubtype, 9);
    }
    // A unit of the feature unit's vendor control, made and initialised
    // as the feature unit makes it, and held by the test.
    template <class Unit> Unit* MakeUnit(CQ7K2FeatureUnit* entity, std::uint32_t id) {
        auto held = std::make_shared<Held<Unit>>(Make<Unit>(id));
        units.push_back(held);
        const std::uint8_t selector =
            std::is_same_v<Unit, CQ7K2EffectUnit> ? Reverberator : Virtualizer;
        EXPECT_EQ((*held)->Init(static_cast<IFeatureUnitSwitch*>(entity), selector, m_pFunction),
                  STATUS_SUCCESS);
        return held->get();
    }
    std::uint8_t PersistedByte(std::uint32_t id) {
        std::uint8_t value = 0xEE;
        AccessUnitSetting(m_pFunction, SETTING_READ, &value, 1, id);
        return value;
    }
    std::uint32_t PersistedValue(std::uint32_t id, std::uint32_t position) {
        std::uint32_t value = 0xEEEEEEEE;
        AccessUnitIndexedSetting(m_pFunction, SETTING_READ, &value, 4, id, position);
        return value;
    }
};

TEST_F(Q7K2Units, VendorControlsBecomeTheUnitsAfterTheStandardControls) {
    struct Case {
        const char* name;
        std::uint16_t masterBits;
        std::vector<std::uint32_t> types; // front to back
        std::vector<std::uint32_t> ids;
    };
    const Case cases[] = {
        {"both", 0x0C00, {23, 23, 3, 2}, {3, 2, 1, 0}},
        {"without 139", 0x0800, {23, 3, 2}, {2, 1, 0}},
        {"without either", 0x0000, {3, 2}, {1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Start(HeadsetWithEffects(c.masterBits));
        CQ7K2FeatureUnit* unit = ParseFeatureUnit();
        ASSERT_NE(unit, nullptr);
        EXPECT_EQ(ItemTypes(*unit), c.types);
        std::vector<std::uint32_t> ids;
        for (IAudioNode* item : Items(*unit)) ids.push_back(item->GetId());
        EXPECT_EQ(ids, c.ids);
        EXPECT_EQ(Hal()->GetChildCount(), c.ids.size());
        if (c.masterBits & 0x0800) {
            EXPECT_NE(dynamic_cast<CQ7K2VirtualizerUnit*>(Items(*unit)[0]), nullptr);
        }
        if (c.masterBits & 0x0400) {
            EXPECT_NE(dynamic_cast<CQ7K2EffectUnit*>(Items(*unit)[1]), nullptr);
        }
    }
}

// A plain release-1 unit makes the vendor controls plain effect controls,
// which re-read the device's byte and hand it to the next block.
TEST_F(Q7K2Units, APlainUnitMakesPlainEffectControls) {
    CUac1FeatureUnit* unit = ParseUnit<CUac1FeatureUnit>(FeatureUnitSubtype, 9);
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(ItemTypes(*unit), (std::vector<std::uint32_t>{23, 23, 3, 2}));
    auto* control = dynamic_cast<CUacEffectControl*>(Items(*unit)[0]);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(dynamic_cast<CQ7K2Unit*>(control), nullptr);
    ASSERT_EQ(unit->SetByte(Virtualizer, 0, 1), STATUS_SUCCESS); // the device changes alone
    EXPECT_EQ(control->ReadFromDevice(), STATUS_SUCCESS);
    EXPECT_EQ(control->Value(), 1);
    EXPECT_EQ(PersistedByte(control->GetId()), 1);
    control->ApplyPendingValue();
    EXPECT_EQ(control->Switch().Active(), 1u);
}

TEST_F(Q7K2Units, WithoutMuteOrWhenAUnitFailsNothingIsBuilt) {
    for (const bool withoutMute : {true, false}) {
        SCOPED_TRACE(withoutMute ? "without mute" : "limiters refused");
        auto description = usbsim::fixtures::q7k2Device();
        for (auto& entity : description.entities)
            if (auto* feature = std::get_if<usbsim::FeatureUnit>(&entity);
                feature && feature->id == 9 && withoutMute)
                std::erase_if(feature->controls,
                              [](const auto& control) { return control.selector == 1; });
        Start(description);
        const auto bytes = (*usb)->Configuration();
        const std::size_t at = ControlDescriptorsOf(bytes, FeatureUnitSubtype)[0];
        Held<CQ7K2FeatureUnit> unit(Make<CQ7K2FeatureUnit>());
        if (!withoutMute) kernel::failPoolTag(Q7K2EffectTag);
        EXPECT_EQ(unit->Parse(bytes.subspan(at), Device(), Hal()), STATUS_INSUFFICIENT_RESOURCES);
        kernel::clearPoolFaults();
        EXPECT_EQ(kernel::poolLiveBlocks(Q7K2PlanesTag), 0u);
        EXPECT_EQ(kernel::poolLiveBlocks(Q7K2EffectTag), 0u);
    }
}

TEST_F(Q7K2Units, OnOffGoesToTheDeviceAndPersists) {
    CQ7K2FeatureUnit* unit = ParseFeatureUnit();
    ASSERT_NE(unit, nullptr);
    const auto items = Items(*unit);
    struct Case {
        IAudioNode* item;
        std::string request;
    };
    const Case cases[] = {{items[1], "41 01 8B00 0900: 01"}, {items[0], "41 01 8C00 0900: 01"}};
    for (const Case& c : cases) {
        auto* control = dynamic_cast<CUacEffectControl*>(c.item);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(PersistedByte(c.item->GetId()), 0xEE); // nothing stored yet
        EXPECT_EQ(control->SetEnable(1), STATUS_SUCCESS);
        EXPECT_EQ(LastRequest(), c.request);
        EXPECT_EQ(PersistedByte(c.item->GetId()), 1);
        std::uint8_t enable = 0;
        EXPECT_EQ(control->GetEnable(&enable), STATUS_SUCCESS);
        EXPECT_EQ(enable, 1);
        EXPECT_TRUE(control->Switch().IsChangePending());
    }
}

// A unit switched on or off in block 3 against one that stayed off (the
// dry set) and one on from the start (the wet set): planes 0 and 1 fade the
// old signal out over 2f frames and the new one in over the next 2f.
TEST_F(Q7K2Units, SwitchingCrossfadesInTheNextBlock) {
    struct Case {
        const char* name;
        bool reverberator;
        std::uint16_t channels;
        std::uint32_t rate;
        bool toWet;
        bool oldIsWet, newIsWet; // planes 0 and 1
        bool restIsWet;          // planes 2..n-1 in the switching block
        int frames = 512;
    };
    const Case cases[] = {
        {"virtualizer 8 on at 48k", false, 8, 48000, true, false, true, true},
        {"virtualizer stereo on at 44.1k", false, 2, 44100, true, false, true, true},
        {"virtualizer 8 off at 192k", false, 8, 192000, false, true, false, true},
        {"virtualizer stereo off fades the dry set", false, 2, 48000, false, false, false, false},
        {"virtualizer 4 off keeps the dry set", false, 4, 48000, false, false, false, false},
        {"a short block ends the fade", false, 8, 48000, true, false, true, true, 100},
        {"reverberator 6 on at 48k", true, 6, 48000, true, false, true, true},
        {"reverberator 8 off at 96k", true, 8, 96000, false, true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int Frames = c.frames;
        Start(usbsim::fixtures::q7k2Device());
        CQ7K2FeatureUnit* entity = ParseFeatureUnit();
        ASSERT_NE(entity, nullptr);
        CUacEffectControl* made[3];
        for (std::uint32_t k = 0; k < 3; ++k)
            made[k] =
                c.reverberator
                    ? static_cast<CUacEffectControl*>(MakeUnit<CQ7K2EffectUnit>(entity, 10 + k))
                    : MakeUnit<CQ7K2VirtualizerUnit>(entity, 10 + k);
        CUacEffectControl& dry = *made[0];
        CUacEffectControl& wet = *made[1];
        CUacEffectControl& switched = *made[2];
        const auto format = TestPcmFormat(c.channels, 16, c.rate);
        for (CUacEffectControl* unit : made) unit->SetFormat(&format);
        wet.SetEnable(1);
        if (!c.toWet) switched.SetEnable(1);
        for (std::uint32_t block = 0; block < 3; ++block)
            for (CUacEffectControl* unit : made) RunBlock(*unit, format, Frames, block);
        switched.SetEnable(c.toWet ? 1 : 0);
        const TestPlanes a = RunBlock(dry, format, Frames, 3);
        const TestPlanes w = RunBlock(wet, format, Frames, 3);
        const TestPlanes out = RunBlock(switched, format, Frames, 3);
        const std::uint32_t f = c.rate / 1000;
        const TestPlanes& oldSet = c.oldIsWet ? w : a;
        const TestPlanes& newSet = c.newIsWet ? w : a;
        for (std::uint32_t plane = 0; plane < c.channels; ++plane)
            for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(Frames); ++i) {
                double expected = 0;
                if (plane >= 2)
                    expected = (c.restIsWet ? w : a)[plane][i];
                else if (i < 2 * f)
                    expected = (1.0 - i / (2.0 * f - 1)) * oldSet[plane][i];
                else if (i < 4 * f)
                    expected = ((i - 2.0 * f) / (2.0 * f - 1)) * newSet[plane][i];
                else
                    expected = newSet[plane][i];
                ASSERT_NEAR(out[plane][i], expected, 1e-6) << "plane " << plane << " at " << i;
            }
        EXPECT_EQ(switched.Switch().Fade(), EffectFade::idle);
        // The next block is the new set whole.
        const TestPlanes nextNew = RunBlock(c.toWet ? wet : dry, format, Frames, 4);
        EXPECT_EQ(RunBlock(switched, format, Frames, 4), nextNew);
        RunBlock(c.toWet ? dry : wet, format, Frames, 4);
    }
}

// Before the virtualizer of its feature unit the reverberator leaves the
// fold to it: off, a 7.1 or 5.1 block passes whole (but for the guard
// offset); on, its room holds every channel in planes 0 and 1 and the other
// planes fall silent, planes 0 and 1 as the unit alone gives them. A stereo
// block is folded and limited as before.
TEST_F(Q7K2Units, BeforeTheVirtualizerTheReverberatorLeavesTheFoldToIt) {
    CQ7K2FeatureUnit* entity = ParseFeatureUnit();
    ASSERT_NE(entity, nullptr);
    constexpr int Frames = 480;
    std::uint32_t id = 60;
    for (const std::uint16_t channels : {8, 6, 2}) {
        SCOPED_TRACE(std::to_string(channels) + " channels");
        CQ7K2EffectUnit* alone = MakeUnit<CQ7K2EffectUnit>(entity, id++);
        CQ7K2EffectUnit* before = MakeUnit<CQ7K2EffectUnit>(entity, id++);
        before->SetFoldedLater();
        const auto format = TestPcmFormat(channels, 16);
        alone->SetFormat(&format);
        before->SetFormat(&format);
        for (std::uint32_t block = 0; block < 2; ++block) {
            const TestPlanes input = NoisePlanes(Frames, block, 0.4f, channels);
            const TestPlanes folded = RunBlock(*alone, format, Frames, block);
            const TestPlanes out = RunBlock(*before, format, Frames, block);
            if (channels == 2) {
                EXPECT_EQ(out, folded);
                continue;
            }
            for (std::uint32_t p = 0; p < channels; ++p)
                for (int i = 0; i < Frames; ++i)
                    ASSERT_EQ(out[p][i], input[p][i] + 1e-12f) << "plane " << p << " at " << i;
        }
        alone->SetEnable(1);
        before->SetEnable(1);
        for (std::uint32_t block = 2; block < 5; ++block) {
            const TestPlanes room = RunBlock(*alone, format, Frames, block);
            const TestPlanes out = RunBlock(*before, format, Frames, block);
            if (block == 2 || channels == 2) continue; // the fade starts from what each handed on
            for (std::uint32_t p = 0; p < channels; ++p)
                for (int i = 0; i < Frames; ++i)
                    ASSERT_EQ(out[p][i], p < 2 ? room[p][i] : 0.0f)
                        << "block " << block << " plane " << p << " at " << i;
        }
        before->SetEnable(0); // the device's value, which the next units start from
    }
}

// The reverberator on, fed blocks of random length: every plane is the unit
// composed in the test from its parts (the guard offset, the fold through the
// dry limiter, the frame-by-frame network through the wet limiter, the fade
// of the first block), bit for bit.
TEST_F(Q7K2Units, ReverberatorMatchesItsPartsOverRandomBlocks) {
    CQ7K2FeatureUnit* entity = ParseFeatureUnit();
    ASSERT_NE(entity, nullptr);
    for (const std::uint16_t channels : {6, 8}) {
        SCOPED_TRACE(channels);
        const auto format = TestPcmFormat(channels, 16, 48000);
        CQ7K2EffectUnit* unit = MakeUnit<CQ7K2EffectUnit>(entity, 60 + channels);
        unit->SetFormat(&format);
        unit->SetEnable(1);
        CFir8 limiters[2];
        for (CFir8& limiter : limiters) {
            ASSERT_EQ(limiter.Allocate(), 1);
            limiter.SetMode(0);
            limiter.SetParam(1.0f);
            limiter.SetFormat(&format);
        }
        limiters[0].SetTargetGain(1.0f);
        limiters[1].SetTargetGain(CQ7K2EffectUnit::WetGainLimit);
        ReferenceReverb network(*ReverbSetByNumber(0));
        std::mt19937 rng(channels);
        for (int block = 0; block < 12; ++block) {
            const int frames = 1 + static_cast<int>(rng() % MaxDspBlockFrames);
            TestPlanes dry = SilentPlanes(frames), wet = SilentPlanes(frames);
            const TestPlanes in = NoisePlanes(frames, rng(), 0.4f, channels);
            for (std::uint32_t p = 0; p < channels; ++p)
                for (int i = 0; i < frames; ++i) dry[p][i] = wet[p][i] = in[p][i] + 1e-12f;
            const auto dryPlanes = PlanePointers(dry);
            const auto wetPlanes = PlanePointers(wet);
            MixChannels(dryPlanes.data(), channels, 2, frames, 1);
            limiters[0].Process(dryPlanes.data(), frames);
            for (int i = 0; i < frames; ++i) {
                float frame[8];
                for (int p = 0; p < 8; ++p) frame[p] = wet[p][i];
                network.Frame(frame, &wet[0][i], &wet[1][i]);
            }
            limiters[1].Process(wetPlanes.data(), frames);
            if (block == 0)
                FadeEffectPlanes(EffectFade::toWet, wetPlanes.data(), dryPlanes.data(), 48000,
                                 static_cast<std::uint32_t>(frames));
            TestPlanes out = in;
            auto outPlanes = PlanePointers(out);
            {
                kernel::IrqlScope dispatch(kernel::Irql::Dispatch);
                ASSERT_EQ(
                    unit->Process(&format, outPlanes.data(), static_cast<std::uint32_t>(frames)),
                    STATUS_SUCCESS);
            }
            for (std::uint32_t p = 0; p < channels; ++p)
                ASSERT_EQ(std::memcmp(out[p].data(), wet[p].data(), frames * sizeof(float)), 0)
                    << "block " << block << " plane " << p;
        }
    }
}

// Off and unchanged, a 16-bit stream through the chain is the stereo fold of
// the block with every plane through the dry limiter; a float stream is not
// touched, though a pending switch is still taken over.
TEST_F(Q7K2Units, OffFoldsThroughTheDryLimiterAndOtherFormatsPass) {
    CQ7K2FeatureUnit* entity = ParseFeatureUnit();
    ASSERT_NE(entity, nullptr);
    for (const bool reverberator : {false, true})
        for (std::uint16_t channels = 1; channels <= 8; ++channels) {
            SCOPED_TRACE(std::string(reverberator ? "reverberator " : "virtualizer ") +
                         std::to_string(channels));
            const auto format = TestPcmFormat(channels, 16);
            CUacEffectControl* unit = reverberator
                                          ? static_cast<CUacEffectControl*>(
                                                MakeUnit<CQ7K2EffectUnit>(entity, 20 + channels))
                                          : MakeUnit<CQ7K2VirtualizerUnit>(entity, 40 + channels);
            unit->SetFormat(&format);
            CFir8 limiter;
            ASSERT_EQ(limiter.Allocate(), 1);
            limiter.SetMode(0);
            limiter.SetTargetGain(1.0f);
            limiter.SetParam(1.0f);
            const auto limiterFormat = reverberator ? format : FloatDescription(format);
            limiter.SetFormat(&limiterFormat);
            CTestDspNode reference(
                [&](const ks::WaveFormatExtensible*, void* data, std::uint32_t frames) {
                    auto* planes = static_cast<float* const*>(data);
                    if (reverberator)
                        for (std::uint32_t p = 0; p < channels; ++p)
                            for (std::uint32_t i = 0; i < frames; ++i) planes[p][i] += 1e-12f;
                    MixChannels(planes, channels, 2, frames, 1);
                    limiter.Process(planes, static_cast<int>(frames));
                    return STATUS_SUCCESS;
                });
            CTestDspHost actual(format), expected(format);
            ASSERT_EQ(actual.host.AddChainANode(unit), STATUS_SUCCESS);
            ASSERT_EQ(expected.host.AddChainANode(reference), STATUS_SUCCESS);
            for (std::uint32_t packet = 0; packet < 4; ++packet) {
                std::vector<std::int16_t> samples(1000 * channels);
                std::uint32_t seed = packet * 77 + channels;
                for (auto& s : samples)
                    s = static_cast<std::int16_t>((seed = seed * 1103515245u + 12345u) >> 17);
                auto copy = samples;
                const auto bytes = static_cast<std::uint32_t>(samples.size() * 2);
                ASSERT_EQ(actual.host.ProcessAllChains(samples.data(), bytes), STATUS_SUCCESS);
                ASSERT_EQ(expected.host.ProcessAllChains(copy.data(), bytes), STATUS_SUCCESS);
                ASSERT_EQ(samples, copy) << "packet " << packet;
            }

            unit->SetEnable(1);
            CTestDspHost floats(TestWaveFormat(ks::format_tag::ieeeFloat, channels, 32));
            ASSERT_EQ(floats.host.AddChainANode(unit), STATUS_SUCCESS);
            std::vector<float> packet(480 * channels, 0.25f);
            const auto before = packet;
            ASSERT_EQ(floats.host.ProcessAllChains(packet.data(),
                                                   static_cast<std::uint32_t>(packet.size() * 4)),
                      STATUS_SUCCESS);
            EXPECT_EQ(packet, before);
            EXPECT_EQ(unit->Switch().Active(), 1u);
            EXPECT_EQ(unit->Switch().Fade(), EffectFade::toWet);
            unit->SetEnable(0); // the device's value, which the next unit starts from
        }
}

TEST_F(Q7K2Units, VirtualizerValuesAreCheckedAppliedAndPersisted) {
    CQ7K2FeatureUnit* entity = ParseFeatureUnit();
    ASSERT_NE(entity, nullptr);
    struct Case {
        const char* name;
        std::uint32_t first, count;
        std::vector<std::uint32_t> values;
        NTSTATUS status;
        std::uint32_t room, flag; // stored afterwards, and the virtualizer's headphone set
    };
    const Case cases[] = {
        {"room 2", 0, 1, {2}, STATUS_SUCCESS, 2, 0},
        {"room 3 is refused", 0, 1, {3}, STATUS_INVALID_PARAMETER, 1, 0},
        {"a negative room is refused", 0, 1, {0xFFFFFFFF}, STATUS_INVALID_PARAMETER, 1, 0},
        {"beyond the two values", 1, 2, {0, 1}, STATUS_INVALID_PARAMETER, 1, 0},
        {"first + count wraps", 0xFFFFFFFF, 2, {0, 1}, STATUS_INVALID_PARAMETER, 1, 0},
        {"no values", 0, 0, {}, STATUS_INVALID_PARAMETER, 1, 0},
        {"a refused room takes the flag back", 0, 2, {5, 1}, STATUS_INVALID_PARAMETER, 1, 0},
        {"flag", 1, 1, {7}, STATUS_SUCCESS, 1, 7},
        {"both", 0, 2, {0, 1}, STATUS_SUCCESS, 0, 1},
    };
    std::uint32_t id = 50;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CQ7K2VirtualizerUnit* unit = MakeUnit<CQ7K2VirtualizerUnit>(entity, ++id);
        const int room = unit->Virtualizer()->GetHeadphoneRoom();
        ASSERT_EQ(room, 1);
        EXPECT_EQ(unit->SetRecordParameters(c.first, c.count, c.values.data()), c.status);
        std::uint32_t stored[2] = {};
        EXPECT_EQ(unit->GetRecordParameters(0, 2, stored), STATUS_SUCCESS);
        EXPECT_EQ(stored[0], c.room);
        EXPECT_EQ(stored[1], c.flag);
        EXPECT_EQ(unit->Virtualizer()->GetHeadphoneRoom(), static_cast<int>(c.room));
        EXPECT_EQ(unit->Virtualizer()->GetHeadphoneFlag(), c.flag != 0 ? 1 : 0);
        EXPECT_EQ(unit->Virtualizer()->GetSpeakerFlag(), c.flag != 0 ? 1 : 0);
        const bool written = kernel::succeeded(c.status);
        for (std::uint32_t k = 0; k < 2; ++k) {
            const bool inCall = written && k >= c.first && k < c.first + c.count;
            EXPECT_EQ(PersistedValue(id, k), inCall ? stored[k] : 0xEEEEEEEE) << k;
        }
        std::uint32_t out[2] = {};
        EXPECT_EQ(unit->GetRecordParameters(c.first, c.count, out),
                  c.first <= 2 && c.count <= 2 - c.first ? STATUS_SUCCESS
                                                         : STATUS_INVALID_PARAMETER);
    }
}

TEST_F(Q7K2Units, ANewUnitReadsWhatWasPersisted) {
    CQ7K2FeatureUnit* entity = ParseFeatureUnit();
    ASSERT_NE(entity, nullptr);
    struct Case {
        const char* name;
        std::vector<std::uint32_t> stored; // room, flag; none when empty
        std::uint8_t onOff;
        std::uint32_t room, flag;
    };
    const Case cases[] = {
        {"nothing stored keeps the virtualizer's own", {}, 0, 1, 0},
        {"stored room and flag", {2, 1}, 1, 2, 1},
        {"a stored room outside 0..2 keeps the default", {0xFFFFFFFF, 0}, 0, 1, 0},
    };
    std::uint32_t id = 70;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ++id;
        for (std::uint32_t k = 0; k < c.stored.size(); ++k) {
            std::uint32_t value = c.stored[k];
            AccessUnitIndexedSetting(m_pFunction, SETTING_WRITE, &value, 4, id, k);
        }
        std::uint8_t onOff = c.onOff;
        AccessUnitSetting(m_pFunction, SETTING_WRITE, &onOff, 1, id);
        CQ7K2VirtualizerUnit* unit = MakeUnit<CQ7K2VirtualizerUnit>(entity, id);
        std::uint32_t values[2] = {};
        EXPECT_EQ(unit->GetRecordParameters(0, 2, values), STATUS_SUCCESS);
        EXPECT_EQ(values[0], c.room);
        EXPECT_EQ(values[1], c.flag);
        EXPECT_EQ(unit->Virtualizer()->GetHeadphoneRoom(), static_cast<int>(c.room));
        EXPECT_EQ(unit->Virtualizer()->GetHeadphoneFlag(), static_cast<int>(c.flag));
        EXPECT_EQ(unit->Value(), c.onOff);
        // An effect found on is heard from the first block.
        RunBlock(*unit, TestPcmFormat(2, 16), 64, 1);
        EXPECT_EQ(unit->Switch().Active(), c.onOff);
    }
}

// A stream format the virtualizer renders but cannot get memory for, at any
// of its requests, is refused, so the stream does not start without it; the
// next SetFormat builds it again with the library's blocks of a plain one.
// A format it cannot render goes to its bypass and is no refusal.
TEST_F(Q7K2Units, AVirtualizerFormatShortOfMemoryIsRefusedAndTheNextOneBuildsIt) {
    CQ7K2FeatureUnit* entity = ParseFeatureUnit();
    ASSERT_NE(entity, nullptr);
    CQ7K2VirtualizerUnit* unit = MakeUnit<CQ7K2VirtualizerUnit>(entity, 81);
    const ks::WaveFormatExtensible format = TestPcmFormat(8, 16, 48000);
    const ks::WaveFormatExtensible other = TestPcmFormat(2, 16, 44100);
    ASSERT_EQ(unit->SetFormat(&format), STATUS_SUCCESS);
    const std::size_t rendering = kernel::poolLiveBlocks(SigprocPoolTag);
    ASSERT_EQ(unit->SetFormat(&other), STATUS_SUCCESS);
    const std::uint64_t first = kernel::poolRequestCount();
    ASSERT_EQ(unit->SetFormat(&format), STATUS_SUCCESS);
    const std::uint64_t requests = kernel::poolRequestCount() - first;
    ASSERT_GT(requests, 0u);
    for (std::uint64_t failing = 1; failing <= requests; ++failing) {
        SCOPED_TRACE(failing);
        ASSERT_EQ(unit->SetFormat(&other), STATUS_SUCCESS);
        kernel::failPoolRequest(failing);
        const NTSTATUS status = unit->SetFormat(&format);
        const bool fired = !kernel::poolRequestFaultPending();
        kernel::clearPoolFaults();
        if (fired) {
            EXPECT_EQ(status, STATUS_INSUFFICIENT_RESOURCES);
        }
        EXPECT_EQ(unit->SetFormat(&format), STATUS_SUCCESS);
        EXPECT_EQ(kernel::poolLiveBlocks(SigprocPoolTag), rendering);
    }
    const ks::WaveFormatExtensible unrendered = TestPcmFormat(2, 16, 192000);
    kernel::failPoolTag(SigprocPoolTag);
    EXPECT_EQ(unit->SetFormat(&unrendered), STATUS_SUCCESS);
    kernel::clearPoolFaults();
}

TEST_F(Q7K2Units, LimitersTakeTheStreamAsFloat) {
    CQ7K2FeatureUnit* entity = ParseFeatureUnit();
    ASSERT_NE(entity, nullptr);
    CQ7K2VirtualizerUnit* unit = MakeUnit<CQ7K2VirtualizerUnit>(entity, 80);
    struct Case {
        const char* name;
        ks::WaveFormatExtensible format;
        std::uint16_t tag, align;
        bool floatSubFormat;
    };
    const Case cases[] = {
        {"16-bit stereo", TestPcmFormat(2, 16), 3, 8, false},
        {"24-bit 6 channels", TestPcmFormat(6, 24), 3, 24, false},
        {"extensible PCM", TestExtensibleFormat(1, 8, 32, 24), 0xFFFE, 32, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(unit->SetFormat(&c.format), STATUS_SUCCESS);
        const auto& result = unit->FloatFormat();
        EXPECT_EQ(result.Format.wFormatTag, c.tag);
        EXPECT_EQ(result.Format.wBitsPerSample, 32);
        EXPECT_EQ(result.Format.nBlockAlign, c.align);
        EXPECT_EQ(result.Format.nAvgBytesPerSec, c.align * 48000u);
        if (c.floatSubFormat) {
            EXPECT_TRUE(IsEqualId(result.SubFormat, ks::KSDATAFORMAT_SUBTYPE_IEEE_FLOAT));
            EXPECT_EQ(result.wValidBitsPerSample, 32);
        }
    }
}

// Every allocation of Init refused in turn: Init fails, gives back what it
// made, and the unit never processes.
TEST_F(Q7K2Units, InitGivesEverythingBackWhenTheMemoryIsShort) {
    // A unit whose device is a table, so that only the units allocate.
    Held<CFakeFeatureUnit> entity(Make<CFakeFeatureUnit>());
    entity->controls[Reverberator] = {{0}};
    entity->controls[Virtualizer] = {{0}};
    for (const bool reverberator : {true, false}) {
        SCOPED_TRACE(reverberator ? "reverberator" : "virtualizer");
        auto init = [&](CUacEffectControl* unit) {
            auto* control = static_cast<IFeatureUnitSwitch*>(entity.get());
            return reverberator ? static_cast<CQ7K2EffectUnit*>(unit)->Init(control, Reverberator,
                                                                            m_pFunction)
                                : static_cast<CQ7K2VirtualizerUnit*>(unit)->Init(
                                      control, Virtualizer, m_pFunction);
        };
        auto make = [&]() -> CUacEffectControl* {
            if (reverberator) return Make<CQ7K2EffectUnit>(90u);
            return Make<CQ7K2VirtualizerUnit>(90u);
        };
        const std::size_t live = kernel::poolLiveBlocks();
        std::uint64_t requests = 0;
        {
            Held<CUacEffectControl> unit(make());
            const std::uint64_t start = kernel::poolRequestCount();
            ASSERT_EQ(init(unit.get()), STATUS_SUCCESS);
            requests = kernel::poolRequestCount() - start;
        }
        ASSERT_GT(requests, 4u);
        for (std::uint64_t failing = 1; failing <= requests; ++failing) {
            SCOPED_TRACE(failing);
            {
                Held<CUacEffectControl> unit(make());
                kernel::failPoolRequest(failing);
                const NTSTATUS status = init(unit.get());
                kernel::clearPoolFaults();
                // A refused settings read keeps the default and Init goes on.
                if (kernel::succeeded(status)) continue;
                const auto format = TestPcmFormat(2, 16);
                unit->SetFormat(&format);
                TestPlanes planes = NoisePlanes(64, 3, 0.4f, 2);
                const TestPlanes before = planes;
                std::vector<float*> pointers = PlanePointers(planes);
                EXPECT_EQ(unit->Process(&format, pointers.data(), 64), STATUS_SUCCESS);
                EXPECT_EQ(unit->Flush(), STATUS_SUCCESS);
                EXPECT_EQ(planes, before);
                EXPECT_EQ(kernel::poolLiveBlocks(Q7K2PlanesTag), 0u);
            }
            EXPECT_EQ(kernel::poolLiveBlocks(), live);
        }
    }
}

} // namespace
