// The port layer's toy adapter (a topology and a wave-cyclic miniport) as
// the driver of a simulated USB device: a whole system under a manual
// clock, with the device's side of the toy's stream, which takes one
// millisecond of the buffer each bus frame while the watched stream runs.
// The system goes before the test's checks, so they see what the removal
// and the unload left.
#pragma once

#include "platform/kernel/dpc.h"
#include "platform/kernel/timer.h"
#include "platform/portcls/adapter.h"
#include "platform/portcls/tests/toy_adapter.h"
#include "sim/os/simulated_system.h"
#include "sim/os/wave_stream.h"
#include "sim/usb/fixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>

namespace ossim::testing {

using portcls::testing::World;

// The toy adapter driver: the port layer's dispatch with the toy's add
// device, and an unload with nothing left to do.
inline kernel::NTSTATUS toyAdapterEntry(io::DriverObject* driver,
                                        const kernel::UnicodeString* registryPath) {
    driver->unload = [](io::DriverObject*) {};
    return portcls::PcInitializeAdapterDriver(driver, registryPath, portcls::testing::toyAddDevice);
}

// 48 frames of 4 bytes, a millisecond of the toy's format.
inline constexpr std::uint32_t toyBytesPerFrame = 192;

class ToyPlayback {
public:
    ToyPlayback() { m_timer.set(usbsim::frameLength, usbsim::frameLength, &m_dpc); }
    ~ToyPlayback() {
        m_timer.cancel();
        kernel::removeQueuedDpc(m_dpc);
    }
    ToyPlayback(const ToyPlayback&) = delete;
    ToyPlayback& operator=(const ToyPlayback&) = delete;

    void watch(const WaveStream* stream) { m_stream = stream; }

private:
    static void tick(kernel::Dpc&, void* self, void*, void*) {
        const WaveStream* stream = static_cast<ToyPlayback*>(self)->m_stream;
        if (stream != nullptr && stream->state() == ks::KsState::Run &&
            portcls::testing::world->stream != nullptr)
            portcls::testing::world->stream->interrupt(toyBytesPerFrame);
    }

    const WaveStream* m_stream = nullptr;
    kernel::Dpc m_dpc{tick, this};
    kernel::Timer m_timer;
};

// The system and the toy's playback clock, made and dropped together.
struct ToyAudioRig {
    SimulatedSystem system{usbsim::fixtures::uac1Headset()};
    ToyPlayback playback; // its timer set once the clock is installed
};

class ToyAudioSystemTest : public ::testing::Test {
protected:
    ToyAudioSystemTest() {
        portcls::testing::world = &state;
        rig.emplace();
    }
    ~ToyAudioSystemTest() override {
        rig.reset();
        portcls::testing::world = nullptr;
        EXPECT_EQ(portcls::testing::liveToys.load(), toysAtStart)
            << "toy objects the port layer never let go";
    }

    // Loaded, plugged and started; the toys' log starts after it.
    void install() {
        ASSERT_EQ(system().load(toyAdapterEntry), kernel::STATUS_SUCCESS);
        ASSERT_EQ(system().plug(), kernel::STATUS_SUCCESS);
        state.log.clear();
    }

    SimulatedSystem& system() { return rig->system; }
    DriverHost& host() { return rig->system.host(); }
    io::DeviceObject* device() { return rig->system.device(); }
    ToyPlayback& playback() { return rig->playback; }

    const int toysAtStart = portcls::testing::liveToys.load();
    World state;

private:
    std::optional<ToyAudioRig> rig;
};

} // namespace ossim::testing
