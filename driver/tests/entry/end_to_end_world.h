// The whole driver from its entry point on a simulated device, started and
// with one filter open, for the end-to-end cases; and the two devices they
// run on, with the names of their filters and their data endpoints.
#pragma once

#include "driver/adapter/driver_entry.h"
#include "platform/io/registry.h"
#include "platform/ks/state.h"
#include "platform/portcls/subdevice_access.h"
#include "sim/os/simulated_system.h"
#include "sim/os/system_call.h"
#include "sim/os/wave_stream.h"
#include "sim/usb/fixtures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

namespace e2e {

using kernel::STATUS_SUCCESS;

inline usbsim::FunctionDescription NamedHeadset() {
    usbsim::FunctionDescription description = usbsim::fixtures::uac1Headset();
    description.strings.push_back({.index = 0x50, .text = u"USB Headset FW"});
    return description;
}

// One simulated device and where its streams go.
struct DeviceCase {
    const char* name;
    usbsim::FunctionDescription (*describe)();
    const char16_t* renderFilter;
    const char16_t* captureFilter;
    std::uint8_t outEndpoint;
    std::uint8_t inEndpoint;
    std::uint16_t captureChannels;
    std::uint32_t captureChannelMask;
    bool release2;              // the 6-byte status message naming the control, else the 2-byte one
    std::uint8_t headphoneUnit; // the feature unit with the headphones' mute and volume
};

inline const DeviceCase Devices[] = {
    {"release 1 headset", NamedHeadset, u"HPOut00Wave", u"RecIn00Wave", 0x01, 0x82, 1, 0x4, false,
     2},
    {"release 2 device with feedback", usbsim::fixtures::uac2FeedbackDevice, u"HPOut00Wave",
     u"MicIn00Wave", 0x01, 0x82, 1, 0x4, true, 2},
};

// A started system with one wave filter open.
class World {
public:
    World(const DeviceCase& device, const char16_t* filterName) : system(device.describe()) {
        EXPECT_EQ(system.load(DriverEntry), STATUS_SUCCESS);
        EXPECT_EQ(system.plug(), STATUS_SUCCESS);
        EXPECT_EQ(system.host().openFilter(system.device(), filterName, filter), STATUS_SUCCESS);
    }

    // Up to RUN one state at a time, each on a system thread.
    ::testing::AssertionResult run(ossim::WaveStream& stream) {
        for (ks::KsState state : {ks::KsState::Acquire, ks::KsState::Pause, ks::KsState::Run}) {
            const kernel::NTSTATUS status = ossim::callOnSystemThread(
                system.clock(), [&stream, state] { return stream.setState(state); });
            if (status != STATUS_SUCCESS)
                return ::testing::AssertionFailure()
                       << "state " << int(state) << " refused: " << std::hex << status;
        }
        return ::testing::AssertionSuccess();
    }

    // Leaving RUN waits for the transfers on the bus, so it runs on a system
    // thread while time moves on, frame by frame.
    ::testing::AssertionResult close(ossim::WaveStream& stream) {
        std::atomic<bool> closed{false};
        ossim::callOnSystemThread(system.clock(), [&stream, &closed] {
            stream.close();
            closed = true;
            return STATUS_SUCCESS;
        });
        for (int frame = 0; frame < 1000 && !closed; ++frame)
            system.step(std::chrono::milliseconds(1));
        if (!closed) return ::testing::AssertionFailure() << "the pin did not stop within a second";
        return ::testing::AssertionSuccess();
    }

    ~World() {
        filter.close();
        EXPECT_EQ(system.remove(), STATUS_SUCCESS);
    }

    // Each world's settings start empty: what one case stored (a mute on
    // a node id) must not reach the next case's device.
    io::Registry registry;
    ossim::SimulatedSystem system;
    portcls::FilterHandle filter;
};

} // namespace e2e
