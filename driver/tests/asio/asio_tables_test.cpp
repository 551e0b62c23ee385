// The rules by which transfer shapes, latencies and buffer sizes follow
// from the buffer, the rate and the latency index.
#include "driver/adapter/asio_records.h"

#include <gtest/gtest.h>

namespace {

TEST(AsioTables, TransferShapeFollowsTheBufferLength) {
    struct Case {
        std::uint32_t frames, rate, kind, ms, count, inFlight;
    };
    for (const Case& c : {
             Case{32, 48000, AsioKindPcm, 1, 2, 2},     // below 2 ms: raised to 2
             Case{64, 48000, AsioKindPcm, 1, 2, 2},     //
             Case{256, 48000, AsioKindPcm, 1, 5, 4},    // 5 ms
             Case{384, 48000, AsioKindPcm, 2, 4, 3},    // 8 ms
             Case{768, 48000, AsioKindPcm, 4, 4, 3},    // 16 ms
             Case{960, 48000, AsioKindPcm, 5, 4, 3},    // 20 ms
             Case{4096, 48000, AsioKindPcm, 5, 5, 4},   // 85 ms: at most 5 transfers
             Case{441, 44100, AsioKindPcm, 2, 5, 4},    // 10 ms at 44 frames a ms
             Case{4096, 2822400, AsioKindDsd, 5, 5, 4}, // 44 frames a ms
         }) {
        SCOPED_TRACE(c.frames);
        const AsioTransferShape shape = AsioTransferShapeFor(c.frames, c.rate, c.kind);
        EXPECT_EQ(shape.msPerTransfer, c.ms);
        EXPECT_EQ(shape.count, c.count);
        EXPECT_EQ(shape.inFlight, c.inFlight);
    }
}

TEST(AsioTables, LatenciesByKindAndRate) {
    struct Case {
        std::uint32_t rate, kind, index, shortest;
    };
    for (const Case& c : {
             Case{48000, AsioKindPcm, 3, 480}, Case{44100, AsioKindPcm, 0, 176},
             Case{2822400, AsioKindDsd, 3, 10 * 64 * 44},
             Case{3072000, AsioKindDsd, 0, 4 * 64 * 48},
             Case{48000, AsioKindDsd, 1, 6 * 2816}, // a DSD client still at a PCM rate
         }) {
        std::uint32_t latencies[2] = {};
        ASSERT_TRUE(AsioLatencyFrames(c.rate, c.kind, c.index, latencies));
        EXPECT_EQ(latencies[0], c.shortest);
        EXPECT_EQ(latencies[1], 2 * c.shortest);
    }
    std::uint32_t latencies[2] = {};
    EXPECT_FALSE(AsioLatencyFrames(48000, AsioKindPcm, AsioLatencyCount, latencies));
}

TEST(AsioTables, BufferSizesByRate) {
    struct Case {
        std::uint32_t rate, index;
        std::uint32_t sizes[4];
    };
    for (const Case& c : {
             Case{48000, 3, {192, 2400, 480, 1}},
             Case{44100, 7, {176, 2200, 2200, 1}},
             Case{2822400, 0, {6 * 64 * 44, 50 * 64 * 44, 6 * 64 * 44, 64}}, // index 0 reads as 1
             Case{6144000, 2, {6 * 128 * 48, 50 * 128 * 48, 8 * 128 * 48, 128}},
         }) {
        std::uint32_t sizes[4] = {};
        ASSERT_TRUE(AsioBufferSizes(c.rate, c.index, sizes));
        EXPECT_EQ(std::vector<std::uint32_t>(sizes, sizes + 4),
                  std::vector<std::uint32_t>(c.sizes, c.sizes + 4));
    }
    std::uint32_t sizes[4] = {};
    EXPECT_FALSE(AsioBufferSizes(2822401, 0, sizes));
}

} // namespace
