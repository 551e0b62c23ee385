// The plug-and-play requests a driver sends its physical device on the
// simulated bus: the bus interface and the frame number read through it,
// the capabilities, and the device's plug-and-play state.
#include "platform/usb/bus_interface.h"
#include "sim/usb/fixtures.h"
#include "sim/usb/tests/stream_driver.h"

#include <gtest/gtest.h>

namespace {

using usbsimtest::StreamWorld;

constexpr kernel::Guid otherInterface = kernel::makeGuid("{2B1F6C4E-93D0-4A57-8E21-6F0C3A9B7D15}");

kernel::NTSTATUS queryInterface(StreamWorld& world, const kernel::Guid* type, std::uint16_t version,
                                std::uint16_t size, usb::BusInterface* into) {
    io::IoStackLocation::Parameters parameters{};
    parameters.queryInterface = {type, size, version, into ? &into->header : nullptr, nullptr};
    return world.driver.send(io::major::Pnp, io::minorPnp::QueryInterface, parameters);
}

TEST(BusPlugAndPlayTest, HandsOutVersionOneOfTheBusInterfaceOnly) {
    // What differs from a well-formed query of version 1.
    constexpr std::uint16_t whole = sizeof(usb::BusInterface);
    struct Case {
        const char* name;
        kernel::NTSTATUS status;
        const kernel::Guid* type = &usb::busInterfaceId;
        std::uint16_t version = 1;
        std::uint16_t size = whole;
        bool buffer = true;
    };
    const Case cases[] = {
        {.name = "version 1", .status = kernel::STATUS_SUCCESS},
        {.name = "a larger buffer", .status = kernel::STATUS_SUCCESS, .size = whole + 8},
        {.name = "version 2", .status = kernel::STATUS_NOT_SUPPORTED, .version = 2},
        {.name = "another interface",
         .status = kernel::STATUS_NOT_SUPPORTED,
         .type = &otherInterface},
        {.name = "a buffer too small",
         .status = kernel::STATUS_BUFFER_TOO_SMALL,
         .size = whole - 1},
        {.name = "no buffer", .status = kernel::STATUS_INVALID_PARAMETER, .buffer = false},
        {.name = "no interface type", .status = kernel::STATUS_INVALID_PARAMETER, .type = nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StreamWorld world(usbsim::fixtures::uac1Headset());
        usb::BusInterface bus{};
        EXPECT_EQ(queryInterface(world, c.type, c.version, c.size, c.buffer ? &bus : nullptr),
                  c.status);
        const bool given = c.status == kernel::STATUS_SUCCESS;
        EXPECT_EQ(world.bus.plugAndPlay().interfaceReferences(), given ? 1 : 0);
        EXPECT_EQ(bus.queryBusTime != nullptr, given);
        if (!given) continue;
        EXPECT_EQ(bus.header.size, sizeof(usb::BusInterface));
        EXPECT_EQ(bus.header.version, 1);
        bus.header.interfaceDereference(bus.header.context);
        EXPECT_EQ(world.bus.plugAndPlay().interfaceReferences(), 0);
    }
}

TEST(BusPlugAndPlayTest, TheBusInterfaceReadsTheFrameClockAndTheSpeed) {
    struct Case {
        const char* name;
        bool highSpeed;
    };
    for (const Case& c : {Case{"full speed", false}, Case{"high speed", true}}) {
        SCOPED_TRACE(c.name);
        usbsim::FunctionDescription description = usbsim::fixtures::uac1Headset();
        description.highSpeed = c.highSpeed;
        StreamWorld world(std::move(description));
        usb::BusInterface bus{};
        ASSERT_EQ(queryInterface(world, &usb::busInterfaceId, 1, sizeof(bus), &bus),
                  kernel::STATUS_SUCCESS);
        EXPECT_EQ(bus.isDeviceHighSpeed(bus.header.context), c.highSpeed);
        std::uint32_t frame = 99;
        ASSERT_EQ(bus.queryBusTime(bus.header.context, &frame), kernel::STATUS_SUCCESS);
        EXPECT_EQ(frame, 0u);
        for (std::uint32_t frames : {1u, 7u, 1000u}) {
            usbsim::advanceFrames(world.clock, frames);
            const std::uint32_t before = frame;
            ASSERT_EQ(bus.queryBusTime(bus.header.context, &frame), kernel::STATUS_SUCCESS);
            EXPECT_EQ(frame, before + frames);
        }
        // Within a frame the number stands still.
        world.clock.advance(std::chrono::microseconds(999));
        std::uint32_t same = 0;
        bus.queryBusTime(bus.header.context, &same);
        EXPECT_EQ(same, frame);
        EXPECT_EQ(bus.queryBusTime(bus.header.context, nullptr), kernel::STATUS_INVALID_PARAMETER);
        bus.header.interfaceDereference(bus.header.context);
    }
}

TEST(BusPlugAndPlayTest, AnswersTheRequestsOfADevicesLife) {
    StreamWorld world(usbsim::fixtures::uac1Headset());
    EXPECT_EQ(world.bus.plugAndPlay().state(), usbsim::PnpState::added);

    io::IoStackLocation::Parameters start{};
    EXPECT_EQ(world.driver.send(io::major::Pnp, io::minorPnp::StartDevice, start),
              kernel::STATUS_SUCCESS);
    EXPECT_EQ(world.bus.plugAndPlay().state(), usbsim::PnpState::started);

    io::DeviceCapabilities capabilities{};
    capabilities.size = sizeof(capabilities);
    capabilities.version = 1;
    io::IoStackLocation::Parameters query{};
    query.deviceCapabilities.capabilities = &capabilities;
    EXPECT_EQ(world.driver.send(io::major::Pnp, io::minorPnp::QueryCapabilities, query),
              kernel::STATUS_SUCCESS);
    EXPECT_NE(capabilities.flags & io::capability_flags::removable, 0u);
    EXPECT_EQ(capabilities.flags & io::capability_flags::surpriseRemovalOk, 0u);
    EXPECT_EQ(capabilities.deviceState[0], io::DevicePowerState::D0);
    EXPECT_EQ(capabilities.deviceState[3], io::DevicePowerState::D3);
    capabilities.size = sizeof(capabilities) - 4;
    EXPECT_EQ(world.driver.send(io::major::Pnp, io::minorPnp::QueryCapabilities, query),
              kernel::STATUS_INVALID_PARAMETER);

    // An orderly stop or removal is agreed to, whether it goes on or not.
    for (const std::uint8_t minor :
         {io::minorPnp::QueryStopDevice, io::minorPnp::CancelStopDevice,
          io::minorPnp::QueryStopDevice, io::minorPnp::StopDevice, io::minorPnp::QueryRemoveDevice,
          io::minorPnp::CancelRemoveDevice, io::minorPnp::QueryRemoveDevice}) {
        EXPECT_EQ(world.driver.send(io::major::Pnp, minor, start), kernel::STATUS_SUCCESS)
            << int(minor);
        EXPECT_EQ(world.bus.plugAndPlay().state(), usbsim::PnpState::started);
    }
    // A request the bus does not know (device relations) keeps the status
    // its sender preset.
    constexpr std::uint8_t queryDeviceRelations = 0x07;
    EXPECT_EQ(world.driver.send(io::major::Pnp, queryDeviceRelations, start),
              kernel::STATUS_NOT_SUPPORTED);

    EXPECT_EQ(world.driver.send(io::major::Pnp, io::minorPnp::SurpriseRemoval, start),
              kernel::STATUS_SUCCESS);
    EXPECT_EQ(world.bus.plugAndPlay().state(), usbsim::PnpState::surpriseRemoved);
    EXPECT_EQ(world.driver.send(io::major::Pnp, io::minorPnp::RemoveDevice, start),
              kernel::STATUS_SUCCESS);
    EXPECT_EQ(world.bus.plugAndPlay().state(), usbsim::PnpState::removed);
}

} // namespace
