// Streams over thousands of frames in lockstep, the way a driver runs them:
// OUT packets reach the device's sink without a gap and unchanged, IN packets
// carry exactly the device clock's rate with no frame lost, and the feedback
// endpoint reports that clock.
#include "sim/usb/fixtures.h"
#include "sim/usb/tests/stream_driver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <numeric>

namespace {

using usbsim::FunctionDescription;
using usbsimtest::IsoStream;
using usbsimtest::IsoTransfer;
using usbsimtest::StreamShape;
using usbsimtest::StreamWorld;

constexpr std::uint8_t clockId = 10; // the release 2 fixture's clock source

// Both fixtures' playback (interface 1) and microphone (interface 2) endpoints.
struct Endpoint {
    std::uint8_t interface;
    std::uint8_t address;
};
constexpr Endpoint playback{1, 0x01};
constexpr Endpoint microphone{2, 0x82};

struct StreamCase {
    const char* name;
    std::function<FunctionDescription()> device;
    StreamShape shape;
    std::int32_t clockOffset = 0; // IN: the device clock off its nominal rate
};

// Sets the nominal rate the way a driver does for the function's release.
void setRate(StreamWorld& world, std::uint8_t address, std::uint32_t rate) {
    const kernel::NTSTATUS status = world.function.description().release == usb::AudioRelease::uac1
                                        ? world.driver.setEndpointRate(address, rate)
                                        : world.driver.setClockRate(clockId, rate);
    ASSERT_EQ(status, kernel::STATUS_SUCCESS);
}

// Selects setting 1 of the endpoint's interface, sets the case's rate and runs
// a driver's stream of 10-packet transfers, 3 in flight, for 2.5 s.
void runStream(StreamWorld& world, Endpoint at, const StreamCase& c,
               std::unique_ptr<IsoStream>& stream) {
    const usb::PipeHandle pipe = world.driver.selectSetting(at.interface, 1, at.address);
    ASSERT_NE(pipe, nullptr);
    ASSERT_NO_FATAL_FAILURE(setRate(world, at.address, c.shape.rate));
    world.bus.isochronous().setSampleClockOffset(c.clockOffset);
    stream = std::make_unique<IsoStream>(world.driver, pipe, c.shape, 10, 3);
    stream->start();
    usbsim::advanceFrames(world.clock, 2500);
    world.drain(*stream);
}

// Frames in the first second of packets.
std::uint64_t framesOfFirstSecond(const std::vector<std::uint32_t>& lengths,
                                  const StreamShape& shape) {
    const std::size_t packets = shape.packetsPerMillisecond * 1000;
    EXPECT_GE(lengths.size(), packets);
    const std::uint64_t bytes = std::accumulate(
        lengths.begin(), lengths.begin() + std::min(packets, lengths.size()), std::uint64_t{0});
    return bytes / shape.frameBytes;
}

TEST(IsochronousStreamTest, OutPacketsReachTheSinkWithoutGapsAndUnchanged) {
    const auto everySecondMicroframe = [] {
        FunctionDescription d = usbsim::fixtures::uac2FeedbackDevice();
        d.streaming[0].settings[0].data.interval = 2;
        return d;
    };
    const StreamCase cases[] = {
        {"release 1 at 44.1 kHz", usbsim::fixtures::uac1Headset, {.rate = 44100, .frameBytes = 4}},
        {"release 1 at 48 kHz", usbsim::fixtures::uac1Headset, {.rate = 48000, .frameBytes = 4}},
        {"release 2, high speed, 44.1 kHz in microframes",
         usbsim::fixtures::uac2FeedbackDevice,
         {.rate = 44100, .packetsPerMillisecond = 8, .frameBytes = 8}},
        {"release 2, high speed, 48 kHz in microframes",
         usbsim::fixtures::uac2FeedbackDevice,
         {.rate = 48000, .packetsPerMillisecond = 8, .frameBytes = 8}},
        {"release 2, high speed, 48 kHz every second microframe",
         everySecondMicroframe,
         {.rate = 48000, .packetsPerMillisecond = 4, .frameBytes = 8}},
    };
    for (const StreamCase& c : cases) {
        SCOPED_TRACE(c.name);
        StreamWorld world(c.device());
        std::unique_ptr<IsoStream> running;
        ASSERT_NO_FATAL_FAILURE(runStream(world, playback, c, running));
        const IsoStream& stream = *running;

        const usbsim::OutSink sink = world.bus.isochronous().sink(playback.address);
        EXPECT_EQ(stream.failedPackets(), 0u);
        EXPECT_EQ(sink.gaps(), 0u);
        // Every transfer was served whole: ten packets each.
        EXPECT_EQ(world.bus.isochronous().transfersServed(playback.address) * 10,
                  sink.packets().size());
        EXPECT_EQ(world.bus.isochronous().transfersServed(microphone.address), 0u);
        EXPECT_EQ(sink.stream(), stream.bytes());
        ASSERT_EQ(sink.packets().size(), stream.packetLengths().size());
        const std::uint64_t slot = 8 / c.shape.packetsPerMillisecond;
        std::vector<std::uint32_t> received;
        for (std::size_t i = 0; i < sink.packets().size(); ++i) {
            received.push_back(sink.packets()[i].bytes);
            if (i != 0) {
                ASSERT_EQ(sink.packets()[i].microframe, sink.packets()[i - 1].microframe + slot)
                    << i;
            }
        }
        EXPECT_EQ(received, stream.packetLengths());
        EXPECT_EQ(framesOfFirstSecond(received, c.shape), c.shape.rate);
    }
}

TEST(IsochronousStreamTest, InPacketsCarryTheDeviceClockWithNoFrameLost) {
    const StreamShape release1{.in = true, .rate = 48000, .frameBytes = 2, .room = 98};
    const StreamShape release2{
        .in = true, .rate = 48000, .packetsPerMillisecond = 8, .frameBytes = 2, .room = 26};
    StreamShape release2At44100 = release2;
    release2At44100.rate = 44100;
    const StreamCase cases[] = {
        {"release 1 microphone at 48 kHz", usbsim::fixtures::uac1Headset, release1},
        {"release 1 microphone, device clock at 47990 Hz", usbsim::fixtures::uac1Headset, release1,
         -10},
        {"release 2 microphone, high speed, 44.1 kHz", usbsim::fixtures::uac2FeedbackDevice,
         release2At44100},
        {"release 2 microphone, high speed, device clock 5 Hz fast",
         usbsim::fixtures::uac2FeedbackDevice, release2, 5},
    };
    for (const StreamCase& c : cases) {
        SCOPED_TRACE(c.name);
        StreamWorld world(c.device());
        std::unique_ptr<IsoStream> running;
        ASSERT_NO_FATAL_FAILURE(runStream(world, microphone, c, running));
        const IsoStream& stream = *running;

        EXPECT_EQ(stream.failedPackets(), 0u);
        EXPECT_EQ(world.bus.isochronous().framesLost(microphone.address), 0u);
        const auto deviceRate =
            static_cast<std::uint64_t>(std::int64_t{c.shape.rate} + c.clockOffset);
        EXPECT_EQ(framesOfFirstSecond(stream.packetLengths(), c.shape), deviceRate);
        // Mono 16-bit samples holding the frame count: one after the other.
        const usbsim::Bytes& bytes = stream.bytes();
        ASSERT_GT(bytes.size(), deviceRate * 2);
        for (std::size_t frame = 0; frame < bytes.size() / 2; ++frame)
            ASSERT_EQ(bytes[2 * frame] | bytes[2 * frame + 1] << 8, frame % 65536) << frame;
    }
}

TEST(IsochronousStreamTest, FeedbackReportsTheDeviceClockInTheFormatOfTheBusSpeed) {
    struct Case {
        const char* name;
        bool highSpeed;
        std::uint32_t packetBytes;
        double fraction;       // 2^14 or 2^16
        double slotsPerSecond; // the value is frames per frame, or per microframe
    };
    const Case cases[] = {
        {"full speed, 10.14 in 3 bytes", false, 3, 16384.0, 1000.0},
        {"high speed, 16.16 in 4 bytes", true, 4, 65536.0, 8000.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FunctionDescription description = usbsim::fixtures::uac2FeedbackDevice();
        description.highSpeed = c.highSpeed;
        for (usbsim::AlternateSetting& setting : description.streaming[0].settings)
            setting.feedback->maxPacketSize = static_cast<std::uint16_t>(c.packetBytes);
        StreamWorld world(std::move(description));
        const usb::PipeHandle pipe = world.driver.selectSetting(playback.interface, 1, 0x81);
        ASSERT_NE(pipe, nullptr);
        world.bus.isochronous().setSampleClockOffset(-10);

        const std::vector<std::uint32_t> none(10, 0);
        IsoTransfer transfer(world.driver, pipe, true, none, c.packetBytes);
        transfer.send(std::nullopt);
        // One packet a frame from the next frame on: done once the tenth has passed.
        usbsim::advanceFrames(world.clock, 10);
        EXPECT_FALSE(transfer.done());
        EXPECT_EQ(world.bus.isochronous().transfersServed(0x81), 0u);
        EXPECT_EQ(world.bus.isochronous().transfersScheduled(0x81), 1u);
        usbsim::advanceFrames(world.clock, 1);
        ASSERT_TRUE(transfer.done());
        EXPECT_EQ(world.bus.isochronous().transfersServed(0x81), 1u);
        EXPECT_EQ(world.bus.isochronous().transfersScheduled(0x81), 0u);
        EXPECT_EQ(world.bus.isochronous().feedbackRate(0x81), 47990u);
        ASSERT_EQ(transfer.status(), kernel::STATUS_SUCCESS);
        const usb::IsochronousTransfer& record = transfer.record();
        EXPECT_EQ(record.startFrame, 1u);
        for (std::uint32_t i = 0; i < record.numberOfPackets; ++i) {
            const usb::IsoPacket& packet = record.packets()[i];
            ASSERT_EQ(packet.length, c.packetBytes);
            const std::uint64_t value =
                usbsimtest::readLittleEndian(&transfer.buffer()[packet.offset], c.packetBytes);
            EXPECT_NEAR(static_cast<double>(value) / c.fraction * c.slotsPerSecond, 47990.0,
                        c.slotsPerSecond / c.fraction);
        }
    }
}

} // namespace

namespace {

// The schedule's wakes held back longer than the transfers in flight last,
// as a loaded machine holds back the clock's service: the slots served late
// carry their packets unchanged, then slots pass with no transfer to fill
// them, and the sink counts each as a gap.
TEST(IsochronousStreamTest, WakesHeldBackLeaveTheSlotsAfterTheTransfersInFlightAsGaps) {
    const StreamCase c{
        "release 1 at 48 kHz", usbsim::fixtures::uac1Headset, {.rate = 48000, .frameBytes = 4}};
    StreamWorld world(c.device());
    const usb::PipeHandle pipe =
        world.driver.selectSetting(playback.interface, 1, playback.address);
    ASSERT_NE(pipe, nullptr);
    ASSERT_NO_FATAL_FAILURE(setRate(world, playback.address, c.shape.rate));
    IsoStream stream(world.driver, pipe, c.shape, 10, 3);
    stream.start();
    usbsim::advanceFrames(world.clock, 500);
    ASSERT_EQ(world.bus.isochronous().sink(playback.address).gaps(), 0u);
    world.bus.isochronous().holdWakes(std::chrono::milliseconds(50));
    usbsim::advanceFrames(world.clock, 500);
    world.drain(stream);
    const usbsim::OutSink sink = world.bus.isochronous().sink(playback.address);
    // Three transfers of ten 1 ms packets at most were in flight: 20 slots
    // of the 50 at least had none, and every slot from the first packet to
    // the last is a packet or a gap.
    EXPECT_GE(sink.gaps(), 20u);
    EXPECT_LE(sink.gaps(), 50u);
    ASSERT_FALSE(sink.packets().empty());
    const std::uint64_t slots =
        (sink.packets().back().microframe - sink.packets().front().microframe) / 8 + 1;
    EXPECT_EQ(sink.packets().size() + sink.gaps(), slots);
    EXPECT_EQ(stream.failedPackets(), 0u);
    EXPECT_EQ(sink.stream(), stream.bytes()); // what was sent arrived, unchanged
}

} // namespace
