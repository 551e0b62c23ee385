// The chip headsets with their effects on: each pool request of a render
// pin's way from its open up to RUN failed in turn, the signal primitives'
// requests among them (the effect units', the virtualizers', the DSP
// host's). The step that met the failure may be refused, never crashes or
// hangs; the pin then gets to RUN and the device hears it, once it is closed
// the library holds the blocks it holds after a run without faults (the
// virtualizer keeps its state for the last format), and once the driver is
// unloaded nothing is left.
#include "driver/adapter/driver_entry.h"
#include "driver/common/sigproc_pool_hooks.h"
#include "driver/tests/entry/effect_headsets.h"
#include "driver/tests/entry/leftovers.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/thread.h"
#include "platform/ks/state.h"
#include "platform/portcls/subdevice_access.h"
#include "sim/os/simulated_system.h"
#include "sim/os/wave_stream.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

using kernel::NTSTATUS;
using kernel::STATUS_SUCCESS;
using std::chrono::milliseconds;

// The pin's way: its open (on the test's thread), then each state up to RUN
// (each on a system thread of its own).
constexpr ks::KsState Way[] = {ks::KsState::Stop, ks::KsState::Acquire, ks::KsState::Pause,
                               ks::KsState::Run};

// A started effect headset with its effects on and a 7.1 render pin.
class EffectPin {
public:
    explicit EffectPin(const e2e::EffectHeadset& headset) : m_system(headset.describe()) {
        m_system.boundCalls(std::chrono::seconds(2));
        EXPECT_EQ(m_system.load(DriverEntry), STATUS_SUCCESS);
        EXPECT_EQ(m_system.plug(), STATUS_SUCCESS);
        EXPECT_EQ(m_system.host().openFilter(m_system.device(), u"GlobalTopo", m_topology),
                  STATUS_SUCCESS);
        EXPECT_TRUE(e2e::SwitchEffectsOn(m_system, m_topology, headset.effects));
        EXPECT_EQ(
            m_system.host().openFilter(m_system.device(), e2e::RenderFilter(m_system), m_render),
            STATUS_SUCCESS);
    }

    ~EffectPin() {
        m_render.close();
        m_topology.close();
        EXPECT_EQ(m_system.remove(), STATUS_SUCCESS);
        EXPECT_EQ(m_system.host().unload(), STATUS_SUCCESS);
    }

    NTSTATUS Open() {
        const ks::DataFormatWaveFormatExtensible format = e2e::EffectRenderFormat();
        const auto tone = [](std::uint8_t* frames, std::uint32_t count) {
            std::memset(frames, 0x11, count * 2u * e2e::EffectRenderChannels);
        };
        return m_stream.open(m_render, 0, &format.DataFormat, 1200, {tone, {}});
    }
    bool IsOpen() const { return m_stream.isOpen(); }
    NTSTATUS Step(ks::KsState state) {
        return m_system.call([this, state] { return m_stream.setState(state); });
    }
    // Takes step `index` of the way.
    NTSTATUS Take(std::size_t index) { return index == 0 ? Open() : Step(Way[index]); }

    // Up to RUN from where the pin stands (opened again when its open was
    // refused), 100 ms heard by the device, then closed; the library's live
    // pool blocks then.
    std::size_t ExpectItRunsThenClose() {
        if (!IsOpen()) {
            EXPECT_EQ(Open(), STATUS_SUCCESS);
        }
        for (std::size_t index = 1; index < std::size(Way); ++index) {
            if (static_cast<int>(m_stream.state()) < static_cast<int>(Way[index])) {
                EXPECT_EQ(Step(Way[index]), STATUS_SUCCESS) << "state " << int(Way[index]);
            }
        }
        const std::uint64_t served = Served();
        m_system.step(milliseconds(100));
        // A wave pin's transfers carry 5 ms each.
        EXPECT_GE(Served(), served + 15);
        EXPECT_EQ(m_system.call([this] {
            m_stream.close();
            return STATUS_SUCCESS;
        }),
                  STATUS_SUCCESS);
        return kernel::poolLiveBlocks(SigprocPoolTag);
    }

private:
    std::uint64_t Served() {
        return m_system.bus().isochronous().transfersServed(e2e::EffectOutEndpoint);
    }

    ossim::SimulatedSystem m_system;
    portcls::FilterHandle m_topology;
    portcls::FilterHandle m_render;
    ossim::WaveStream m_stream;
};

// Arms the fault on request `request` of the step's thread `thread` (the
// test's own for the open, else the k-th system thread the step starts).
void Arm(std::size_t index, std::uint64_t thread, std::uint64_t request, std::uint64_t first) {
    if (index == 0)
        kernel::failPoolRequest(request);
    else
        kernel::failPoolRequestOfSystemThread(first + thread - 1, request);
}

TEST(EffectPinAllocationFailure, EveryRequestOfThePinsWayToRunFailedInTurn) {
    for (const e2e::EffectHeadset& headset : e2e::EffectHeadsets) {
        std::uint64_t sites = 0;
        std::size_t plainBlocks = 0;
        {
            EffectPin plain(headset);
            plainBlocks = plain.ExpectItRunsThenClose();
        }
        if (::testing::Test::HasFailure()) return;
        for (std::size_t index = 0; index < std::size(Way); ++index) {
            std::uint64_t threads = 1;
            for (std::uint64_t thread = 1; thread <= threads; ++thread) {
                for (std::uint64_t request = 1;; ++request) {
                    SCOPED_TRACE(::testing::Message()
                                 << headset.name << ", step " << index << ", thread " << thread
                                 << ", request " << request);
                    const entry_test::Baseline before = entry_test::TakeBaseline();
                    bool fired = false;
                    {
                        EffectPin pin(headset);
                        for (std::size_t earlier = 0; earlier < index; ++earlier)
                            ASSERT_EQ(pin.Take(earlier), STATUS_SUCCESS);
                        const std::uint64_t first = kernel::systemThreadStarts() + 1;
                        Arm(index, thread, request, first);
                        pin.Take(index);
                        fired = !kernel::poolRequestFaultPending();
                        kernel::clearPoolFaults();
                        if (index != 0 && thread == 1 && request == 1)
                            threads = kernel::systemThreadStarts() + 1 - first;
                        EXPECT_EQ(pin.ExpectItRunsThenClose(), plainBlocks)
                            << "library blocks once the pin is closed";
                    }
                    entry_test::ExpectNothingLeft(before, "once the driver is unloaded");
                    if (::testing::Test::HasFailure()) return;
                    if (!fired) break;
                    ++sites;
                }
            }
        }
        EXPECT_GT(sites, 0u);
        std::printf("%s: %llu sites\n", headset.name, static_cast<unsigned long long>(sites));
    }
}

} // namespace
