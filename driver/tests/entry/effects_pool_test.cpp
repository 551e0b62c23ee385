// The chip headsets whose models carry effects (the T6L1's 3D speaker
// virtualizer, the Q7K2's reverberator and headphone virtualizer), driven
// from the driver's entry with every effect switched on as a user-mode
// program does it: the signal primitives' blocks are the driver's pool
// blocks under "SGP " while a render pin runs, and none is left once the
// driver is unloaded. The program's heap guard (testkit) fails any test in
// which the library took a block from the heap.
#include "driver/adapter/driver_entry.h"
#include "driver/common/sigproc_pool_hooks.h"
#include "driver/miniport/topology_sets.h"
#include "platform/kernel/pool.h"
#include "platform/ks/audio_properties.h"
#include "platform/ks/state.h"
#include "platform/portcls/subdevice_access.h"
#include "sim/os/pcm_format.h"
#include "sim/os/simulated_system.h"
#include "sim/os/wave_stream.h"
#include "sim/usb/fixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

using kernel::NTSTATUS;
using kernel::STATUS_SUCCESS;
using std::chrono::milliseconds;

// Both play 7.1 (front left, right and centre, low frequency, back left and
// right, side left and right) to endpoint 1.
constexpr std::uint16_t RenderChannels = 8;
constexpr std::uint32_t SevenPointOne = 0x63F;
constexpr std::uint8_t OutEndpoint = 0x01;

struct EffectHeadset {
    const char* name;
    usbsim::FunctionDescription (*describe)();
    int effects; // effect controls on its topology filter
};

usbsim::FunctionDescription Q7k2() { return usbsim::fixtures::q7k2Device(); }

const EffectHeadset Headsets[] = {
    {"T6L1", usbsim::fixtures::t6l1Device, 1},
    {"Q7K2", Q7k2, 2},
};

class EffectsOn {
public:
    explicit EffectsOn(ossim::SimulatedSystem& system) : m_system(system) {}

    // Every effect control of the topology filter switched on and read back:
    // the parameter set's value 0, the effect unit set's switch.
    ::testing::AssertionResult SwitchAllOn(portcls::FilterHandle& topology, int expected) {
        int switched = 0;
        const portcls::FilterDescriptor* descriptor = topology.descriptor();
        for (std::uint32_t node = 0; descriptor != nullptr && node < descriptor->NodeCount;
             ++node) {
            std::uint32_t values = 0;
            if (Ask(topology, ks::property_verb::get, PROPSETID_Parameters, PARAMETERS_COUNT, node,
                    nullptr, 0, &values, sizeof values) == STATUS_SUCCESS) {
                std::uint32_t set[3] = {0, 1, 1};
                std::uint32_t reply = 0;
                std::uint32_t get[2] = {0, 1};
                std::uint32_t now[3] = {};
                if (Ask(topology, ks::property_verb::set, PROPSETID_Parameters, PARAMETERS_SET,
                        node, set, sizeof set, &reply, sizeof reply) != STATUS_SUCCESS ||
                    Ask(topology, ks::property_verb::get, PROPSETID_Parameters, PARAMETERS_GET,
                        node, get, sizeof get, now, sizeof now) != STATUS_SUCCESS ||
                    now[2] != 1)
                    return ::testing::AssertionFailure() << "node " << node << " stays off";
                ++switched;
            }
            if (Ask(topology, ks::property_verb::get, PROPSETID_EffectUnit, EFFECTUNIT_COUNT, node,
                    nullptr, 0, &values, sizeof values) == STATUS_SUCCESS) {
                std::uint32_t channel = 0, on = 1, now = 0;
                if (Ask(topology, ks::property_verb::set, ks::KSPROPSETID_Audio,
                        ks::KSPROPERTY_AUDIO_DEV_SPECIFIC, node, &channel, sizeof channel, &on,
                        sizeof on) != STATUS_SUCCESS ||
                    Ask(topology, ks::property_verb::get, ks::KSPROPSETID_Audio,
                        ks::KSPROPERTY_AUDIO_DEV_SPECIFIC, node, &channel, sizeof channel, &now,
                        sizeof now) != STATUS_SUCCESS ||
                    now != 1)
                    return ::testing::AssertionFailure() << "unit node " << node << " stays off";
                ++switched;
            }
        }
        if (switched != expected)
            return ::testing::AssertionFailure() << switched << " effects switched on";
        return ::testing::AssertionSuccess();
    }

private:
    NTSTATUS Ask(portcls::FilterHandle& filter, std::uint32_t verb, const kernel::Guid& set,
                 std::uint32_t id, std::uint32_t node, void* instance, std::uint32_t instanceSize,
                 void* value, std::uint32_t valueSize) {
        return m_system.call([&] {
            std::uint32_t bytes = 0;
            return filter.property({set, id, verb}, node, instance, instanceSize, value, valueSize,
                                   &bytes);
        });
    }

    ossim::SimulatedSystem& m_system;
};

// The first render wave filter the device registered.
std::u16string RenderFilter(ossim::SimulatedSystem& system) {
    for (const portcls::SubdeviceRecord& record : system.host().subdevices(system.device())) {
        const std::u16string& name = record.name;
        if (name.find(u"Out") != std::u16string::npos && name.ends_with(u"Wave")) return name;
    }
    return {};
}

TEST(EffectsInThePool, TheLibrarysBlocksAreTheDriversWhilePinsRunAndGoneAfterUnload) {
    for (const EffectHeadset& headset : Headsets) {
        SCOPED_TRACE(headset.name);
        const std::uint64_t before = kernel::poolLiveBlocks(SigprocPoolTag);
        {
            ossim::SimulatedSystem system(headset.describe());
            system.boundCalls(std::chrono::seconds(2));
            ASSERT_EQ(system.load(DriverEntry), STATUS_SUCCESS);
            ASSERT_EQ(system.plug(), STATUS_SUCCESS);
            portcls::FilterHandle topology;
            ASSERT_EQ(system.host().openFilter(system.device(), u"GlobalTopo", topology),
                      STATUS_SUCCESS);
            ASSERT_TRUE(EffectsOn(system).SwitchAllOn(topology, headset.effects));
            EXPECT_GT(kernel::poolLiveBlocks(SigprocPoolTag), before)
                << "the started effects' blocks are not in the pool";

            portcls::FilterHandle render;
            ASSERT_EQ(system.host().openFilter(system.device(), RenderFilter(system), render),
                      STATUS_SUCCESS);
            const ks::DataFormatWaveFormatExtensible format =
                ossim::pcmFormat(48000, 16, RenderChannels, 16, SevenPointOne);
            const std::uint32_t frameBytes = 2u * RenderChannels;
            std::uint32_t phase = 0;
            const auto tone = [&phase, frameBytes](std::uint8_t* frames, std::uint32_t count) {
                for (std::uint32_t i = 0; i < count * frameBytes / 2; ++i, ++phase) {
                    const std::int16_t sample = (phase / 24) % 2 == 0 ? 8000 : -8000;
                    std::memcpy(frames + 2 * i, &sample, 2);
                }
            };
            ossim::WaveStream stream;
            ASSERT_EQ(stream.open(render, 0, &format.DataFormat, 1200, {tone, {}}),
                      STATUS_SUCCESS);
            for (const ks::KsState state :
                 {ks::KsState::Acquire, ks::KsState::Pause, ks::KsState::Run})
                ASSERT_EQ(system.call([&stream, state] { return stream.setState(state); }),
                          STATUS_SUCCESS);
            system.step(milliseconds(100));
            EXPECT_GE(system.bus().isochronous().transfersServed(OutEndpoint), 15u);
            EXPECT_GT(kernel::poolLiveBlocks(SigprocPoolTag), before)
                << "the running pin's library blocks are not in the pool";
            ASSERT_EQ(system.call([&stream] {
                stream.close();
                return STATUS_SUCCESS;
            }),
                      STATUS_SUCCESS);
            render.close();
            topology.close();
            EXPECT_EQ(system.remove(), STATUS_SUCCESS);
            EXPECT_EQ(system.host().unload(), STATUS_SUCCESS);
            EXPECT_FALSE(system.host().loaded());
            EXPECT_EQ(kernel::poolLiveBlocks(SigprocPoolTag), before)
                << "library blocks left after the unload";
        }
    }
}

} // namespace
