// The ASIO interface over many client lifetimes: a thousand rounds of open,
// CreateBuffers, Start, Stop and close against the stream engines leave no
// pool block, user mapping, handle or stream registration behind, and
// allocate nothing while the streams run.
#include "asio_test_world.h"
#include "driver/tests/usbstream/stream_test_client.h"
#include "platform/kernel/pool.h"
#include "testkit/sanitizers.h"

namespace asio_test {
namespace {

// Rounds shrink where every allocation and access is instrumented.
constexpr int SanitizerDivisor = testkit::anySanitizer ? 10 : 1;

constexpr int ClientRounds = 1000 / SanitizerDivisor;

class AsioCyclesTest : public AsioWorld {};

TEST_F(AsioCyclesTest, AThousandClientLifetimesLeaveNothingBehind) {
    StartHeadset();
    // The engines keep their transfer records from their first start in each
    // shape on: the count is taken once every shape below has run.
    constexpr int WarmRounds = 12;
    std::size_t blocks = 0;
    std::size_t handles = 0;
    for (int round = 0; round < ClientRounds; ++round) {
        if (round == WarmRounds) {
            blocks = kernel::poolLiveBlocks();
            handles = io::userHandlesOpen();
        }
        const std::uint32_t file = OpenFile();
        // Render only, capture only and both; the small and the large buffer.
        const std::vector<AsioChannelEntry> channels[] = {
            {{0, 0}, {0, 1}}, {{1, 0}}, {{0, 0}, {1, 0}}};
        std::vector<std::uint32_t> rings;
        ASSERT_EQ(
            CreateBuffers(file, channels[round % 3], round % 2 == 0 ? 64 : 256, &rings).status,
            kernel::STATUS_SUCCESS)
            << round;
        std::uint32_t event = 0;
        ASSERT_EQ(process->createEvent(kernel::EventType::Synchronization, false, &event),
                  kernel::STATUS_SUCCESS);
        ASSERT_EQ(Word(file, asio_control::Start, event).status, kernel::STATUS_SUCCESS);
        // While it runs, audio moves between the rings and the packets
        // without a single allocation.
        const std::uint64_t serial = kernel::poolAllocationSerial();
        usbsim::advanceFrames(stack->clock, 8);
        ASSERT_EQ(kernel::poolAllocationSerial(), serial) << round;
        std::uint32_t completions = 0;
        for (std::uint32_t ring : rings)
            completions += std::atomic_ref<std::uint32_t>(Ring(ring)->completions).load();
        ASSERT_GT(completions, 0u) << round;
        ASSERT_EQ(Control(file, asio_control::Stop, nullptr, 0, nullptr, 0).status,
                  kernel::STATUS_SUCCESS);
        // Every fourth client goes without giving its buffers up first.
        if (round % 4 != 0) {
            ASSERT_EQ(Control(file, asio_control::DisposeBuffers, nullptr, 0, nullptr, 0).status,
                      kernel::STATUS_SUCCESS);
        }
        ASSERT_EQ(process->closeHandle(event), kernel::STATUS_SUCCESS);
        CloseFile(file);
        ASSERT_EQ(io::userMappings(), 0u) << round;
        ASSERT_EQ(asio->ClientCount(), 0u) << round;
    }
    stack->clock.settle();
    EXPECT_EQ(kernel::poolLiveBlocks(), blocks);
    EXPECT_EQ(io::userHandlesOpen(), handles);
    EXPECT_FALSE(asio->StreamsRunning());
    // A stream registration left behind would refuse the next master's
    // streams, or hold the engine's format: a further client still streams.
    const std::uint32_t file = OpenFile();
    std::vector<std::uint32_t> rings;
    ASSERT_EQ(CreateBuffers(file, {{1, 0}}, 256, &rings).status, kernel::STATUS_SUCCESS);
    std::uint32_t event = 0;
    ASSERT_EQ(process->createEvent(kernel::EventType::Synchronization, false, &event),
              kernel::STATUS_SUCCESS);
    ASSERT_EQ(Word(file, asio_control::Start, event).status, kernel::STATUS_SUCCESS);
    usbsim::advanceFrames(stack->clock, 10);
    EXPECT_GT(std::atomic_ref<std::uint32_t>(Ring(rings[1])->completions).load(), 0u);
    ASSERT_EQ(process->closeHandle(event), kernel::STATUS_SUCCESS);
    CloseFile(file);
}

} // namespace
} // namespace asio_test
