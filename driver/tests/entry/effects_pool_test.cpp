// The chip headsets' effects switched on, driven from the driver's entry as
// the system does it: the signal primitives' blocks are the driver's pool
// blocks under "SGP " while a render pin runs, and none is left once the
// driver is unloaded. The program's heap guard (testkit) fails any test in
// which the library took a block from the heap.
#include "driver/adapter/driver_entry.h"
#include "driver/common/sigproc_pool_hooks.h"
#include "driver/tests/entry/effect_headsets.h"
#include "platform/kernel/pool.h"
#include "platform/ks/state.h"
#include "platform/portcls/subdevice_access.h"
#include "sim/os/simulated_system.h"
#include "sim/os/wave_stream.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>

namespace {

using kernel::STATUS_SUCCESS;
using std::chrono::milliseconds;

TEST(EffectsInThePool, TheLibrarysBlocksAreTheDriversWhilePinsRunAndGoneAfterUnload) {
    for (const e2e::EffectHeadset& headset : e2e::EffectHeadsets) {
        SCOPED_TRACE(headset.name);
        const std::uint64_t before = kernel::poolLiveBlocks(SigprocPoolTag);
        ossim::SimulatedSystem system(headset.describe());
        system.boundCalls(std::chrono::seconds(2));
        ASSERT_EQ(system.load(DriverEntry), STATUS_SUCCESS);
        ASSERT_EQ(system.plug(), STATUS_SUCCESS);
        portcls::FilterHandle topology;
        ASSERT_EQ(system.host().openFilter(system.device(), u"GlobalTopo", topology),
                  STATUS_SUCCESS);
        ASSERT_TRUE(e2e::SwitchEffectsOn(system, topology, headset.effects));
        EXPECT_GT(kernel::poolLiveBlocks(SigprocPoolTag), before)
            << "the started effects' blocks are not in the pool";

        portcls::FilterHandle render;
        ASSERT_EQ(system.host().openFilter(system.device(), e2e::RenderFilter(system), render),
                  STATUS_SUCCESS);
        const ks::DataFormatWaveFormatExtensible format = e2e::EffectRenderFormat();
        std::uint32_t phase = 0;
        const auto tone = [&phase](std::uint8_t* frames, std::uint32_t count) {
            for (std::uint32_t i = 0; i < count * e2e::EffectRenderChannels; ++i, ++phase) {
                const std::int16_t sample = (phase / 24) % 2 == 0 ? 8000 : -8000;
                std::memcpy(frames + 2 * i, &sample, 2);
            }
        };
        ossim::WaveStream stream;
        ASSERT_EQ(stream.open(render, 0, &format.DataFormat, 1200, {tone, {}}), STATUS_SUCCESS);
        for (const ks::KsState state : {ks::KsState::Acquire, ks::KsState::Pause, ks::KsState::Run})
            ASSERT_EQ(system.call([&stream, state] { return stream.setState(state); }),
                      STATUS_SUCCESS);
        system.step(milliseconds(100));
        EXPECT_GE(system.bus().isochronous().transfersServed(e2e::EffectOutEndpoint), 15u);
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

} // namespace
