// What the simulated endpoints make of their packets: an IN source delivers
// exactly its clock's rate in whole frames, with its running frame count in
// every sample; an OUT sink counts the slots a running stream missed; the
// feedback value decodes to the device's rate within its format's step.
#include "sim/usb/isochronous_endpoints.h"

#include "sim/usb/tests/stream_driver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

namespace {

using usbsim::InSource;
using usbsim::OutSink;
using usbsim::SourceShape;
using usbsimtest::readLittleEndian;

struct RateCase {
    const char* name;
    std::uint32_t rate;
    std::uint64_t period;                   // microframes per packet
    std::vector<std::uint32_t> firstFrames; // frames in the first packets
};

TEST(InSourceTest, DeliversExactlyItsRateOverOneSecondInWholeFramesPerPacket) {
    const RateCase cases[] = {
        {"44.1 kHz, one packet a frame", 44100, 8, {44, 44, 44, 44, 44, 44, 44, 44, 44, 45}},
        {"48 kHz, one packet a frame", 48000, 8, {48, 48, 48}},
        {"47990 Hz, one packet a frame", 47990, 8, {47, 48, 48, 48, 48, 48, 48, 48, 48, 48}},
        {"44.1 kHz, every microframe", 44100, 1, {5, 6, 5, 6, 5, 6, 5, 6}},
        {"48 kHz, every microframe", 48000, 1, {6, 6, 6}},
        {"96 kHz, every second microframe", 96000, 2, {24, 24}},
    };
    for (const RateCase& c : cases) {
        SCOPED_TRACE(c.name);
        InSource source;
        const SourceShape shape{
            .rate = c.rate, .period = c.period, .channels = 2, .subslotSize = 2, .maxPacket = 1024};
        std::vector<std::uint8_t> room(1024);
        const std::uint64_t packetsPerSecond = 8000 / c.period;
        std::uint64_t frames = 0;
        const double mean = static_cast<double>(c.rate) / static_cast<double>(packetsPerSecond);
        for (std::uint64_t i = 0; i < packetsPerSecond; ++i) {
            const usbsim::SourcePacket packet = source.fill(shape, room);
            ASSERT_EQ(packet.bytes % 4, 0u);
            const std::uint32_t packetFrames = packet.bytes / 4;
            if (i < c.firstFrames.size()) {
                EXPECT_EQ(packetFrames, c.firstFrames[i]) << i;
            }
            EXPECT_TRUE(packetFrames == std::floor(mean) || packetFrames == std::ceil(mean));
            frames += packetFrames;
        }
        EXPECT_EQ(frames, c.rate);
        EXPECT_EQ(source.framesLost(), 0u);
    }
}

TEST(InSourceTest, EverySampleHoldsTheFrameCountSoLostFramesShow) {
    struct Case {
        const char* name;
        std::uint32_t maxPacket;
        std::size_t room;
        std::uint32_t deliveredPerPacket;
        bool cut;
    };
    // 48 frames a packet of three 3-byte channels (9 bytes a frame).
    const Case cases[] = {
        {"everything fits", 48 * 9, 48 * 9, 48, false},
        {"the endpoint takes 40 frames", 40 * 9, 48 * 9, 40, false},
        {"the buffer holds 30 frames", 48 * 9, 30 * 9 + 5, 30, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InSource source;
        const SourceShape shape{
            .rate = 48000, .period = 8, .channels = 3, .subslotSize = 3, .maxPacket = c.maxPacket};
        std::vector<std::uint8_t> room(c.room);
        for (std::uint64_t packet = 0; packet < 3; ++packet) {
            const usbsim::SourcePacket filled = source.fill(shape, room);
            ASSERT_EQ(filled.bytes, c.deliveredPerPacket * 9);
            EXPECT_EQ(filled.cut, c.cut);
            for (std::uint32_t frame = 0; frame < c.deliveredPerPacket; ++frame)
                for (std::size_t channel = 0; channel < 3; ++channel)
                    ASSERT_EQ(readLittleEndian(&room[frame * 9 + channel * 3], 3),
                              packet * 48 + frame);
        }
        EXPECT_EQ(source.framesLost(), 3u * (48 - c.deliveredPerPacket));
        EXPECT_EQ(source.framesSent(), 3u * c.deliveredPerPacket);
    }
}

// A device that sends every n-th packet empty keeps those frames in its FIFO
// (one packet deep) and sends them, oldest first, in the next packets as the
// endpoint has room; what the FIFO cannot hold is lost, the oldest first.
TEST(InSourceTest, EmptyPacketsHoldTheirFramesForTheNextOnes) {
    struct Case {
        const char* name;
        std::uint32_t emptyEvery;
        std::uint32_t maxFrames; // the endpoint's room in frames
        std::vector<std::uint32_t> frames;
        std::uint64_t lost;
    };
    const Case cases[] = {
        {"none empty", 0, 50, {48, 48, 48, 48, 48, 48}, 0},
        {"every third, room to catch up", 3, 96, {48, 48, 0, 96, 48, 0}, 0},
        {"every second, two frames of room", 2, 50, {48, 0, 50, 0, 50, 0}, 90},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InSource source;
        const SourceShape shape{.rate = 48000,
                                .period = 8,
                                .channels = 1,
                                .subslotSize = 2,
                                .maxPacket = c.maxFrames * 2,
                                .emptyEvery = c.emptyEvery};
        std::vector<std::uint8_t> room(c.maxFrames * 2);
        std::uint64_t next = 0;
        for (std::size_t packet = 0; packet < c.frames.size(); ++packet) {
            const usbsim::SourcePacket filled = source.fill(shape, room);
            ASSERT_EQ(filled.bytes, c.frames[packet] * 2) << packet;
            EXPECT_FALSE(filled.cut);
            if (filled.bytes == 0) continue;
            // The oldest frame the device still had; frames lost are skipped.
            const std::uint64_t firstSent = readLittleEndian(room.data(), 2);
            EXPECT_GE(firstSent, next) << packet;
            for (std::uint32_t frame = 0; frame < c.frames[packet]; ++frame)
                ASSERT_EQ(readLittleEndian(&room[frame * 2], 2), firstSent + frame);
            next = firstSent + c.frames[packet];
        }
        EXPECT_EQ(source.framesLost(), c.lost);
        // Only what went out in packets counts as sent.
        EXPECT_EQ(source.framesSent(),
                  std::accumulate(c.frames.begin(), c.frames.end(), std::uint64_t{0}));
    }
}

TEST(OutSinkTest, CountsTheSlotsARunningStreamMissed) {
    struct Case {
        const char* name;
        std::uint64_t period;
        std::vector<std::uint64_t> slots; // 0 restarts the stream before the next packet
        std::uint64_t gaps;
    };
    const Case cases[] = {
        {"one packet a frame, none missed", 8, {8, 16, 24, 32}, 0},
        {"one frame missed", 8, {8, 16, 32, 40}, 1},
        {"three frames missed", 8, {8, 40}, 3},
        {"every microframe, two missed", 1, {3, 4, 7, 8}, 2},
        {"the time between two runs is no gap", 8, {8, 16, 0, 80, 88}, 0},
        {"a gap after a restart counts", 8, {8, 0, 80, 96}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OutSink sink;
        std::vector<std::uint8_t> expected;
        for (std::uint64_t slot : c.slots) {
            if (slot == 0) {
                sink.restart();
                continue;
            }
            const std::vector<std::uint8_t> bytes(slot % 5 + 1, static_cast<std::uint8_t>(slot));
            sink.receive(slot, c.period, bytes);
            expected.insert(expected.end(), bytes.begin(), bytes.end());
        }
        EXPECT_EQ(sink.gaps(), c.gaps);
        EXPECT_EQ(sink.stream(), expected);
        ASSERT_FALSE(sink.packets().empty());
        EXPECT_EQ(sink.packets().back().microframe, c.slots.back());
        EXPECT_EQ(sink.packets().back().frame(), c.slots.back() / 8);
    }
}

// Packets of odd lengths whose bytes straddle the sink's chunks: the stream
// reads back whole and in order, however long it grew.
TEST(OutSinkTest, KeepsALongStreamWholeAcrossItsChunks) {
    OutSink sink;
    std::vector<std::uint8_t> expected;
    for (std::uint64_t slot = 1; slot <= 1500; ++slot) {
        std::vector<std::uint8_t> bytes(slot % 7 * 50 + 1);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<std::uint8_t>(slot * 31 + i);
        sink.receive(slot * 8, 8, bytes);
        expected.insert(expected.end(), bytes.begin(), bytes.end());
    }
    ASSERT_GT(expected.size(), std::size_t{3} << 16);
    EXPECT_EQ(sink.streamBytes(), expected.size());
    EXPECT_EQ(sink.stream(), expected);
    EXPECT_EQ(sink.packets().size(), 1500u);
    EXPECT_EQ(sink.gaps(), 0u);
}

TEST(FeedbackValueTest, DecodesToTheDeviceRateWithinTheFormatsStep) {
    struct Case {
        const char* name;
        std::uint32_t rate;
        bool highSpeed;
    };
    const Case cases[] = {
        {"47990 Hz as 10.14", 47990, false}, {"47990 Hz as 16.16", 47990, true},
        {"44100 Hz as 10.14", 44100, false}, {"44100 Hz as 16.16", 44100, true},
        {"96000 Hz as 16.16", 96000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const usbsim::Bytes value = usbsim::feedbackValue(c.rate, c.highSpeed);
        ASSERT_EQ(value.size(), c.highSpeed ? 4u : 3u);
        // Frames per slot in fixed point, times the slots of a second.
        const double fraction = c.highSpeed ? 65536.0 : 16384.0;
        const double slotsPerSecond = c.highSpeed ? 8000.0 : 1000.0;
        const double decoded = static_cast<double>(readLittleEndian(value.data(), value.size())) /
                               fraction * slotsPerSecond;
        EXPECT_NEAR(decoded, c.rate, slotsPerSecond / fraction / 2);
    }
}

} // namespace
