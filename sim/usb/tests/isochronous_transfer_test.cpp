// One isochronous transfer at a time: where its packets go (at a start
// frame, or as soon as possible after the pipe's last packet), what a late
// or far start frame does, when it completes, which requests are refused,
// and cancel and unplug.
#include "platform/usb/bus_status.h"
#include "sim/usb/fixtures.h"
#include "sim/usb/tests/stream_driver.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using usbsimtest::IsoStream;
using usbsimtest::IsoTransfer;
using usbsimtest::StreamWorld;

constexpr std::uint8_t playback = 0x01; // both fixtures' OUT endpoint, on interface 1

// The release 1 headset at full speed with its playback setting selected, at frame 20.
class IsochronousTransferTest : public ::testing::Test {
protected:
    IsochronousTransferTest() {
        pipe = world.driver.selectSetting(1, 1, playback);
        EXPECT_NE(pipe, nullptr);
        usbsim::advanceFrames(world.clock, 20 - world.bus.frames().frameNumber());
    }

    // A transfer of `packets` OUT packets of 192 bytes (48 stereo frames).
    std::unique_ptr<IsoTransfer> transfer(std::size_t packets) {
        const std::vector<std::uint32_t> lengths(packets, 192);
        auto made = std::make_unique<IsoTransfer>(world.driver, pipe, false, lengths);
        for (std::size_t i = 0; i < made->buffer().size(); ++i)
            made->buffer()[i] = static_cast<std::uint8_t>(i);
        return made;
    }

    StreamWorld world{usbsim::fixtures::uac1Headset()};
    usb::PipeHandle pipe = nullptr;
};

TEST_F(IsochronousTransferTest, PacketsWhoseFrameHasBegunAreLateAndAFarStartFrameIsRefused) {
    struct Case {
        const char* name;
        std::int32_t ahead; // start frame relative to the current one
        std::uint32_t late;
        usb::BusStatus status;
        kernel::NTSTATUS ioStatus;
    };
    const Case cases[] = {
        {"two frames ahead", 2, 0, usb::BusStatus::success, kernel::STATUS_SUCCESS},
        {"the current frame, which has begun", 0, 1, usb::BusStatus::success,
         kernel::STATUS_SUCCESS},
        {"three frames behind", -3, 4, usb::BusStatus::success, kernel::STATUS_SUCCESS},
        {"every frame passed", -10, 5, usb::BusStatus::isochronousRequestFailed,
         kernel::STATUS_UNSUCCESSFUL},
        {"1024 frames ahead", 1024, 0, usb::BusStatus::success, kernel::STATUS_SUCCESS},
        {"1025 frames ahead", 1025, 0, usb::BusStatus::badStartFrame, kernel::STATUS_UNSUCCESSFUL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::uint32_t now = world.bus.frames().frameNumber();
        const std::size_t received = world.bus.isochronous().sink(playback).packets().size();
        const std::unique_ptr<IsoTransfer> t = transfer(5);
        const std::uint32_t start = now + static_cast<std::uint32_t>(c.ahead);
        EXPECT_EQ(t->send(start), kernel::STATUS_PENDING);
        EXPECT_FALSE(t->done());
        world.clock.settle();
        const bool refused = c.status == usb::BusStatus::badStartFrame;
        const bool allLate = c.late == 5;
        if (!refused && !allLate) {
            // Done once the frame of its last packet has passed, not before.
            const std::uint32_t lastEnds = start + 5;
            usbsim::advanceFrames(world.clock, lastEnds - now - 1);
            EXPECT_FALSE(t->done());
            usbsim::advanceFrames(world.clock, 1);
        }
        ASSERT_TRUE(t->done());
        const usb::IsochronousTransfer& record = t->record();
        EXPECT_EQ(t->status(), c.ioStatus);
        EXPECT_EQ(record.header.status, c.status);
        if (refused) continue;
        EXPECT_EQ(record.startFrame, start);
        EXPECT_EQ(record.errorCount, c.late);
        for (std::uint32_t i = 0; i < 5; ++i)
            EXPECT_EQ(record.packets()[i].status, i < c.late
                                                      ? usb::BusStatus::isoNotAccessedByHardware
                                                      : usb::BusStatus::success)
                << i;
        // The packets in time went over the bus, each in its own frame.
        const usbsim::OutSink sink = world.bus.isochronous().sink(playback);
        ASSERT_EQ(sink.packets().size(), received + 5 - c.late);
        for (std::uint32_t i = c.late; i < 5; ++i)
            EXPECT_EQ(sink.packets()[received + i - c.late].frame(), start + i);
    }
}

TEST_F(IsochronousTransferTest, AsSoonAsPossibleFollowsThePipesLastPacketOrTheNextFrame) {
    const std::unique_ptr<IsoTransfer> first = transfer(5);
    const std::unique_ptr<IsoTransfer> second = transfer(5);
    const std::unique_ptr<IsoTransfer> overlapping = transfer(4);
    first->send(std::nullopt);
    second->send(std::nullopt);
    world.clock.settle();
    EXPECT_EQ(first->record().startFrame, 21u); // the pipe was idle: the next frame
    EXPECT_EQ(second->record().startFrame, 26u);
    // A start frame inside what the pipe holds: those packets are not accessed.
    overlapping->send(29);
    usbsim::advanceFrames(world.clock, 15);
    ASSERT_TRUE(first->done() && second->done() && overlapping->done());
    EXPECT_EQ(overlapping->record().errorCount, 2u);
    EXPECT_EQ(world.bus.isochronous().sink(playback).gaps(), 0u);

    // Idle since frame 33: from the next frame again. The setting stayed, so
    // the stream never stopped, and the frames 33 to 35 it missed are gaps.
    const std::unique_ptr<IsoTransfer> later = transfer(3);
    later->send(std::nullopt);
    world.clock.settle();
    EXPECT_EQ(later->record().startFrame, 36u);
    usbsim::advanceFrames(world.clock, 5);
    ASSERT_TRUE(later->done());
    EXPECT_EQ(world.bus.isochronous().sink(playback).gaps(), 3u);
}

TEST(IsochronousHighSpeedTest, PacketsTakeOneMicroframeEachAndContinueWithinAFrame) {
    StreamWorld world(usbsim::fixtures::uac2FeedbackDevice());
    const usb::PipeHandle pipe = world.driver.selectSetting(1, 1, playback);
    ASSERT_NE(pipe, nullptr);
    const std::vector<std::uint32_t> lengths(4, 48);
    IsoTransfer first(world.driver, pipe, false, lengths);
    IsoTransfer second(world.driver, pipe, false, lengths);
    first.send(std::nullopt);
    second.send(std::nullopt);
    world.clock.settle();
    // Both in frame 1: microframes 0-3 and 4-7.
    EXPECT_EQ(first.record().startFrame, 1u);
    EXPECT_EQ(second.record().startFrame, 1u);
    world.clock.advance(std::chrono::microseconds(1500)); // microframe 3 of frame 1 has passed
    world.clock.settle();
    EXPECT_TRUE(first.done());
    EXPECT_FALSE(second.done());
    usbsim::advanceFrames(world.clock, 1);
    ASSERT_TRUE(second.done());
    const usbsim::OutSink sink = world.bus.isochronous().sink(playback);
    ASSERT_EQ(sink.packets().size(), 8u);
    for (std::uint64_t i = 0; i < 8; ++i) EXPECT_EQ(sink.packets()[i].microframe, 8 + i);
}

TEST_F(IsochronousTransferTest, RequestsTheBusCannotServeAreRefused) {
    struct Case {
        const char* name;
        bool in; // an IN transfer, here on the OUT pipe
        std::function<void(usb::IsochronousTransfer&)> spoil;
    };
    const auto none = [](usb::IsochronousTransfer&) {};
    const Case cases[] = {
        {"a pipe the bus never gave", false,
         [](usb::IsochronousTransfer& r) { r.transfer.pipeHandle = &r; }},
        {"IN on an OUT pipe", true, none},
        {"a packet longer than the endpoint takes", false,
         [](usb::IsochronousTransfer& r) { r.packets()[1].length = 197; }},
        {"a packet past the buffer", false,
         [](usb::IsochronousTransfer& r) { r.packets()[3].offset = 4 * 192 + 1; }},
        {"packets out of order", false,
         [](usb::IsochronousTransfer& r) { r.packets()[2].offset = 0; }},
        {"no packets", false, [](usb::IsochronousTransfer& r) { r.numberOfPackets = 0; }},
        {"a record too short for its packets", false,
         [](usb::IsochronousTransfer& r) { r.header.length -= 1; }},
        {"no buffer", false,
         [](usb::IsochronousTransfer& r) { r.transfer.transferBuffer = nullptr; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::uint32_t> lengths(4, 192);
        IsoTransfer t(world.driver, pipe, c.in, lengths, 192);
        c.spoil(t.record());
        t.send(std::nullopt);
        world.clock.settle();
        ASSERT_TRUE(t.done());
        EXPECT_EQ(t.status(), kernel::STATUS_INVALID_PARAMETER);
        EXPECT_EQ(t.record().header.status, usb::BusStatus::invalidParameter);
    }
    EXPECT_TRUE(world.bus.isochronous().sink(playback).packets().empty());
    // An endpoint its interface no longer has.
    ASSERT_EQ(world.driver.selectSetting(1, 0, playback), nullptr);
    const std::unique_ptr<IsoTransfer> t = transfer(4);
    t->send(std::nullopt);
    world.clock.settle();
    EXPECT_EQ(t->status(), kernel::STATUS_INVALID_PARAMETER);
    EXPECT_TRUE(world.bus.isochronous().sink(playback).packets().empty());
}

TEST_F(IsochronousTransferTest, ACancelledTransferCompletesCancelledAfterWhatHadPassed) {
    const std::unique_ptr<IsoTransfer> t = transfer(10);
    t->send(std::nullopt); // frames 21-30
    usbsim::advanceFrames(world.clock, 3);
    EXPECT_TRUE(io::cancelIrp(t->irp()));
    EXPECT_FALSE(t->done());
    world.clock.settle();
    ASSERT_TRUE(t->done());
    EXPECT_EQ(t->status(), kernel::STATUS_CANCELLED);
    EXPECT_EQ(t->record().header.status, usb::BusStatus::cancelled);
    // Frames 21 and 22 had passed.
    EXPECT_EQ(world.bus.isochronous().sink(playback).packets().size(), 2u);
    EXPECT_EQ(t->record().packets()[1].status, usb::BusStatus::success);
    EXPECT_EQ(t->record().packets()[2].status, usb::BusStatus::cancelled);
    EXPECT_EQ(world.bus.isochronous().pendingTransfers(), 0u);
    // Its frames are free again: the next transfer starts with the next frame.
    const std::unique_ptr<IsoTransfer> next = transfer(1);
    next->send(std::nullopt);
    world.clock.settle();
    EXPECT_EQ(next->record().startFrame, 24u);
    usbsim::advanceFrames(world.clock, 2);
    ASSERT_TRUE(next->done());
}

TEST_F(IsochronousTransferTest, UnplugFailsTheStreamInFlightAndNewTransfersUntilReplug) {
    IsoStream stream(world.driver, pipe, {.rate = 48000, .frameBytes = 4}, 10, 3);
    stream.start(); // from frame 21
    usbsim::advanceFrames(world.clock, 50);
    world.bus.unplug();
    world.clock.settle();
    EXPECT_EQ(stream.failedTransfers(), 3u);
    EXPECT_EQ(stream.lastFailure(), kernel::STATUS_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(world.bus.isochronous().pendingTransfers(), 0u);
    // Frames 21 to 69 passed before the unplug, and went over the bus.
    const usbsim::OutSink sink = world.bus.isochronous().sink(playback);
    ASSERT_EQ(sink.packets().size(), 49u);
    EXPECT_EQ(sink.gaps(), 0u);
    const usbsim::Bytes sent = sink.stream();
    EXPECT_TRUE(std::equal(sent.begin(), sent.end(), stream.bytes().begin()));
    world.drain(stream);

    const std::unique_ptr<IsoTransfer> whileGone = transfer(2);
    whileGone->send(std::nullopt);
    world.clock.settle();
    EXPECT_EQ(whileGone->status(), kernel::STATUS_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(whileGone->record().header.status, usb::BusStatus::deviceGone);

    // The slots the failed transfers held are free again: from the next frame.
    world.bus.replug();
    const std::unique_ptr<IsoTransfer> back = transfer(2);
    back->send(std::nullopt);
    usbsim::advanceFrames(world.clock, 3);
    ASSERT_TRUE(back->done());
    EXPECT_EQ(back->status(), kernel::STATUS_SUCCESS);
    EXPECT_EQ(back->record().startFrame, 71u);
}

TEST_F(IsochronousTransferTest, APortCycleFailsTheStreamInFlightAndTheBusServesAfter) {
    IsoStream stream(world.driver, pipe, {.rate = 48000, .frameBytes = 4}, 10, 2);
    stream.start();
    usbsim::advanceFrames(world.clock, 5);
    io::IoStackLocation::Parameters cycle{};
    cycle.deviceIoControl.ioControlCode = usb::internal_ioctl::cyclePort;
    EXPECT_EQ(world.driver.send(io::major::InternalDeviceControl, 0, cycle),
              kernel::STATUS_SUCCESS);
    world.clock.settle();
    EXPECT_EQ(stream.failedTransfers(), 2u);
    EXPECT_EQ(stream.lastFailure(), kernel::STATUS_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(world.bus.isochronous().pendingTransfers(), 0u);
    world.drain(stream);

    // The function powered on unconfigured: the old pipe is gone with it.
    const std::unique_ptr<IsoTransfer> onOldPipe = transfer(2);
    onOldPipe->send(std::nullopt);
    usbsim::advanceFrames(world.clock, 3);
    ASSERT_TRUE(onOldPipe->done());
    EXPECT_NE(onOldPipe->status(), kernel::STATUS_SUCCESS);
    EXPECT_EQ(world.function.configurationValue(), 0);
}

} // namespace
