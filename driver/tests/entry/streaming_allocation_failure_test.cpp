// Random pool requests failed while a render and a capture pin run on the
// driver with the parts it ships: the pins change state, the topology's
// controls are read and written and filters open and close meanwhile, each
// of which may be refused. The driver may drop packets but never hangs;
// once the faults stop the pins run again and the device hears the render
// pin and the capture pin hears the device, and the removal leaves nothing.
#include "driver/adapter/driver_entry.h"
#include "driver/tests/entry/end_to_end_world.h"
#include "driver/tests/entry/leftovers.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/thread.h"
#include "platform/kernel/time.h"
#include "platform/ks/audio_properties.h"
#include "platform/ks/topology_ids.h"
#include "platform/portcls/subdevice_access.h"
#include "sim/os/pcm_format.h"
#include "sim/os/simulated_system.h"
#include "sim/os/wave_stream.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using kernel::NTSTATUS;
using kernel::STATUS_SUCCESS;
using std::chrono::milliseconds;

constexpr std::uint32_t OneIn = 20; // of the pool's requests fail while faults are on
constexpr int Actions = 40;

// The volume nodes of the topology filter.
std::vector<std::uint32_t> VolumeNodes(const portcls::FilterHandle& filter) {
    std::vector<std::uint32_t> nodes;
    const portcls::FilterDescriptor* descriptor = filter.descriptor();
    for (std::uint32_t i = 0; descriptor != nullptr && i < descriptor->NodeCount; ++i)
        if (descriptor->Nodes[i].Type != nullptr &&
            *descriptor->Nodes[i].Type == ks::KSNODETYPE_VOLUME)
            nodes.push_back(i);
    return nodes;
}

class StreamingUnderFaults {
public:
    explicit StreamingUnderFaults(const e2e::DeviceCase& device)
        : m_device(device), m_system(device.describe()) {}

    void Run(std::uint32_t seed) {
        m_system.boundCalls(std::chrono::seconds(2));
        ASSERT_EQ(m_system.load(DriverEntry), STATUS_SUCCESS);
        ASSERT_EQ(m_system.plug(), STATUS_SUCCESS);
        ASSERT_EQ(Open(m_device.renderFilter, m_renderFilter), STATUS_SUCCESS);
        ASSERT_EQ(Open(m_device.captureFilter, m_captureFilter), STATUS_SUCCESS);
        ASSERT_EQ(Open(u"GlobalTopo", m_topology), STATUS_SUCCESS);
        m_volumes = VolumeNodes(m_topology);
        ASSERT_FALSE(m_volumes.empty());
        const ks::DataFormatWaveFormatExtensible renderFormat = ossim::pcmFormat(48000, 16, 2);
        const ks::DataFormatWaveFormatExtensible captureFormat =
            ossim::pcmFormat(48000, 16, m_device.captureChannels, 16, m_device.captureChannelMask);
        const auto ramp = [this](std::uint8_t* frames, std::uint32_t count) {
            for (std::uint32_t i = 0; i < count; ++i, ++m_next) {
                const std::int16_t sample[2] = {m_next, m_next};
                std::memcpy(frames + 4 * i, sample, 4);
            }
            m_written += count;
        };
        const auto count = [this](const std::uint8_t*, std::uint32_t frames) {
            m_captured += frames;
        };
        ASSERT_EQ(m_render.open(m_renderFilter, 0, &renderFormat.DataFormat, 1200, {ramp, {}}),
                  STATUS_SUCCESS);
        ASSERT_EQ(m_capture.open(m_captureFilter, 0, &captureFormat.DataFormat, 1200, {{}, count}),
                  STATUS_SUCCESS);
        ASSERT_TRUE(BringToRun(m_render));
        ASSERT_TRUE(BringToRun(m_capture));
        m_system.step(milliseconds(50));

        std::mt19937 random(seed);
        kernel::failPoolRequestsAtRandom(seed, OneIn);
        for (int action = 0; action < Actions; ++action) {
            Act(random);
            m_system.step(milliseconds(1 + random() % 10));
        }
        kernel::clearPoolFaults();

        // Both pins run again and stream both ways.
        ASSERT_TRUE(BringToRun(m_render));
        ASSERT_TRUE(BringToRun(m_capture));
        const std::uint64_t served = Served(m_device.outEndpoint);
        const std::uint64_t captured = m_captured;
        const std::uint64_t written = m_written;
        m_system.step(milliseconds(100));
        // A wave pin's transfers carry 5 ms each.
        EXPECT_GE(Served(m_device.outEndpoint), served + 15) << "render transfers";
        EXPECT_GT(m_captured, captured + 2400) << "captured frames";
        EXPECT_GT(m_written, written + 2400) << "render frames written";
        ASSERT_TRUE(Close(m_render));
        ASSERT_TRUE(Close(m_capture));
        m_renderFilter.close();
        m_captureFilter.close();
        m_topology.close();
        EXPECT_EQ(m_system.remove(), STATUS_SUCCESS);
    }

    int refusals() const { return m_refusals; }
    // What was asked under the faults and what the driver answered.
    std::string log() const { return m_log.str(); }

private:
    NTSTATUS Open(const char16_t* name, portcls::FilterHandle& filter) {
        return m_system.host().openFilter(m_system.device(), name, filter);
    }
    std::uint64_t Served(std::uint8_t endpoint) {
        return m_system.bus().isochronous().transfersServed(endpoint);
    }
    void Note(const char* what, NTSTATUS status) {
        if (!kernel::succeeded(status)) ++m_refusals;
        m_log << what << ": " << std::hex << static_cast<std::uint32_t>(status) << std::dec << "\n";
    }

    // One state at a time on a system thread, while the bus's frames run
    // on; a refusal leaves the pin where it was.
    NTSTATUS Step(ossim::WaveStream& stream, ks::KsState state) {
        return m_system.call([&stream, state] { return stream.setState(state); });
    }
    ::testing::AssertionResult BringToRun(ossim::WaveStream& stream) {
        for (int attempt = 0; attempt < 8 && stream.state() != ks::KsState::Run; ++attempt) {
            const auto next = static_cast<ks::KsState>(static_cast<int>(stream.state()) + 1);
            const NTSTATUS status = Step(stream, next);
            if (!kernel::succeeded(status))
                return ::testing::AssertionFailure()
                       << "state " << int(next) << " refused without faults: " << std::hex
                       << status;
        }
        return ::testing::AssertionSuccess();
    }
    ::testing::AssertionResult Close(ossim::WaveStream& stream) {
        const NTSTATUS status = m_system.call([&stream] {
            stream.close();
            return STATUS_SUCCESS;
        });
        if (status != STATUS_SUCCESS)
            return ::testing::AssertionFailure() << "the pin did not close";
        return ::testing::AssertionSuccess();
    }

    // A pin down to PAUSE and back up (each step may be refused), a volume
    // read and written, or a filter opened and closed.
    void Act(std::mt19937& random) {
        switch (random() % 4) {
        case 0:
        case 1: {
            ossim::WaveStream& stream = random() % 2 == 0 ? m_render : m_capture;
            const ks::KsState state = stream.state();
            if (state == ks::KsState::Run) {
                Note(&stream == &m_render ? "render to PAUSE" : "capture to PAUSE",
                     Step(stream, ks::KsState::Pause));
            } else {
                const auto up = static_cast<ks::KsState>(static_cast<int>(state) + 1);
                Note(&stream == &m_render ? "render up" : "capture up", Step(stream, up));
            }
            break;
        }
        case 2: {
            const std::uint32_t node = m_volumes[random() % m_volumes.size()];
            std::int32_t level = 0;
            const std::uint32_t verb =
                random() % 2 == 0 ? ks::property_verb::get : ks::property_verb::set;
            Note(verb == ks::property_verb::get ? "volume get" : "volume set",
                 m_system.call([this, node, verb, &level] {
                     std::uint32_t channel = 0;
                     std::uint32_t bytes = 0;
                     return m_topology.property(
                         {ks::KSPROPSETID_Audio, ks::KSPROPERTY_AUDIO_VOLUMELEVEL, verb}, node,
                         &channel, sizeof(channel), &level, sizeof(level), &bytes);
                 }));
            break;
        }
        default: {
            portcls::FilterHandle filter;
            Note("filter open",
                 Open(random() % 2 == 0 ? u"GlobalTopo" : m_device.renderFilter, filter));
            filter.close();
            break;
        }
        }
    }

    const e2e::DeviceCase& m_device;
    ossim::SimulatedSystem m_system;
    portcls::FilterHandle m_renderFilter;
    portcls::FilterHandle m_captureFilter;
    portcls::FilterHandle m_topology;
    std::vector<std::uint32_t> m_volumes;
    ossim::WaveStream m_render;
    ossim::WaveStream m_capture;
    std::int16_t m_next = 0;
    std::uint64_t m_written = 0;
    std::uint64_t m_captured = 0;
    int m_refusals = 0;
    std::ostringstream m_log;
};

// One render pin playing a steady tone on a started device, its calls
// bounded so that a hang fails the test.
class TonePin {
public:
    explicit TonePin(const e2e::DeviceCase& device)
        : m_device(device), m_world(device, device.renderFilter) {
        m_world.system.boundCalls(std::chrono::seconds(2));
    }

    ::testing::AssertionResult Open() {
        const ks::DataFormatWaveFormatExtensible format = ossim::pcmFormat(48000, 16, 2);
        const auto tone = [](std::uint8_t* frames, std::uint32_t count) {
            std::memset(frames, 0x11, count * 4);
        };
        if (m_stream.open(m_world.filter, 0, &format.DataFormat, 1200, {tone, {}}) !=
            STATUS_SUCCESS)
            return ::testing::AssertionFailure() << "the pin did not open";
        return ::testing::AssertionSuccess();
    }
    NTSTATUS Step(ks::KsState state) {
        return m_world.system.call([this, state] { return m_stream.setState(state); });
    }
    ks::KsState State() const { return m_stream.state(); }
    void Play(kernel::Duration duration) { m_world.system.step(duration); }

    // The pin runs (stepped up from where it stands) and the device hears
    // it for 100 ms; then it closes.
    void ExpectItRunsThenClose() {
        if (State() != ks::KsState::Run) {
            EXPECT_EQ(Step(ks::KsState::Run), STATUS_SUCCESS);
        }
        const std::uint64_t served = Served();
        Play(milliseconds(100));
        // A wave pin's transfers carry 5 ms each.
        EXPECT_GE(Served(), served + 15);
        EXPECT_TRUE(m_world.close(m_stream));
    }

private:
    std::uint64_t Served() {
        return m_world.system.bus().isochronous().transfersServed(m_device.outEndpoint);
    }

    const e2e::DeviceCase& m_device;
    e2e::World m_world;
    ossim::WaveStream m_stream;
};

kernel::PoolTag TagOf(const char* text) {
    kernel::PoolTag tag = 0;
    for (int i = 0; text[i] != 0; ++i)
        tag |= static_cast<kernel::PoolTag>(static_cast<unsigned char>(text[i])) << (8 * i);
    return tag;
}

// A pin whose step into or out of RUN met a refusal of every request of one
// tag (the step may fail) runs once memory is there again, and the device
// hears it.
TEST(StreamingAllocationFailure, AStepAtRunThatMetNoMemoryRunsOnTheNextTry) {
    const char* const tags[] = {"URB", "Irp", "Lis", "USBS", "KCbr", "US10", "US20"};
    for (const e2e::DeviceCase& device : e2e::Devices) {
        for (const ks::KsState faulted : {ks::KsState::Run, ks::KsState::Pause}) {
            for (const char* tag : tags) {
                SCOPED_TRACE(testing::Message()
                             << device.name << ", tag " << tag << ", to " << int(faulted));
                TonePin pin(device);
                ASSERT_TRUE(pin.Open());
                ASSERT_EQ(pin.Step(ks::KsState::Acquire), STATUS_SUCCESS);
                ASSERT_EQ(pin.Step(ks::KsState::Pause), STATUS_SUCCESS);
                if (faulted == ks::KsState::Pause) {
                    ASSERT_EQ(pin.Step(ks::KsState::Run), STATUS_SUCCESS);
                    pin.Play(milliseconds(20));
                }
                kernel::failPoolTag(TagOf(tag));
                const NTSTATUS status = pin.Step(faulted);
                kernel::clearPoolFaults();
                if (!kernel::succeeded(status) && faulted == ks::KsState::Run) {
                    EXPECT_EQ(pin.State(), ks::KsState::Pause);
                }
                if (pin.State() == ks::KsState::Run) {
                    EXPECT_EQ(pin.Step(ks::KsState::Pause), STATUS_SUCCESS);
                }
                pin.ExpectItRunsThenClose();
            }
        }
    }
}

// Each request of a paused pin's way back to RUN failed in turn (those of
// the system thread that asks and of the threads it starts): the step may
// fail, and the next one runs and the device hears it.
TEST(StreamingAllocationFailure, EveryRequestOfAStepToRunFailedInTurn) {
    for (const e2e::DeviceCase& device : e2e::Devices) {
        std::uint64_t threads = 1;
        std::uint64_t sites = 0;
        for (std::uint64_t thread = 1; thread <= threads; ++thread) {
            for (std::uint64_t request = 1;; ++request) {
                SCOPED_TRACE(testing::Message()
                             << device.name << ", thread " << thread << ", request " << request);
                TonePin pin(device);
                ASSERT_TRUE(pin.Open());
                for (const ks::KsState state :
                     {ks::KsState::Acquire, ks::KsState::Pause, ks::KsState::Run})
                    ASSERT_EQ(pin.Step(state), STATUS_SUCCESS);
                pin.Play(milliseconds(20));
                ASSERT_EQ(pin.Step(ks::KsState::Pause), STATUS_SUCCESS);
                const std::uint64_t first = kernel::systemThreadStarts() + 1;
                kernel::failPoolRequestOfSystemThread(first + thread - 1, request);
                pin.Step(ks::KsState::Run);
                const bool fired = !kernel::poolRequestFaultPending();
                kernel::clearPoolFaults();
                if (thread == 1 && request == 1) threads = kernel::systemThreadStarts() + 1 - first;
                pin.ExpectItRunsThenClose();
                if (::testing::Test::HasFailure() || !fired) break;
                ++sites;
            }
            if (::testing::Test::HasFailure()) return;
        }
        EXPECT_GT(sites, 0u);
        std::printf("%s: %llu sites\n", device.name, static_cast<unsigned long long>(sites));
    }
}

TEST(StreamingAllocationFailure, RandomFailuresWhilePinsRunLeaveTheStreamsWhole) {
    for (const e2e::DeviceCase& device : e2e::Devices) {
        for (std::uint32_t seed : {1u, 2u, 3u}) {
            SCOPED_TRACE(testing::Message() << device.name << ", seed " << seed);
            const entry_test::Baseline before = entry_test::TakeBaseline();
            int refusals = 0;
            {
                StreamingUnderFaults run(device);
                run.Run(seed);
                refusals = run.refusals();
                if (::testing::Test::HasFailure()) ADD_FAILURE() << "under faults:\n" << run.log();
            }
            entry_test::ExpectNothingLeft(before, "after the run");
            // The faults reached the driver: some of its answers were refusals.
            EXPECT_GT(refusals, 0);
        }
    }
}

} // namespace
