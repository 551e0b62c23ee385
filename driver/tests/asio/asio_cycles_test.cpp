// The ASIO interface over many client lifetimes: a thousand rounds of open,
// CreateBuffers, Start, Stop and close against the stream engines, and the
// whole driver losing its device while a client streams. Neither may leave a
// pool block, a user mapping, a handle or a stream registration behind.
#include "asio_test_world.h"
#include "driver/adapter/driver_entry.h"
#include "driver/tests/usbstream/stream_test_client.h"
#include "platform/kernel/pool.h"
#include "sim/os/simulated_system.h"
#include "sim/os/user_client.h"
#include "sim/usb/fixtures.h"

#include <cstring>
#include <span>

namespace asio_test {
namespace {

// Rounds shrink where every allocation and access is instrumented.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int SanitizerDivisor = 10;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr int SanitizerDivisor = 10;
#else
constexpr int SanitizerDivisor = 1;
#endif
#else
constexpr int SanitizerDivisor = 1;
#endif

constexpr int ClientRounds = 1000 / SanitizerDivisor;
constexpr int RemovalRounds = 20 / SanitizerDivisor;

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

// The whole driver from its entry point on the device that serves ASIO.
class AsioRemovalTest : public ::testing::Test {
protected:
    struct Client {
        std::uint32_t file = 0;
        std::uint32_t event = 0;
        std::vector<std::uint32_t> rings;
    };

    static std::span<const std::uint8_t> Bytes(const std::vector<std::uint32_t>& words) {
        return {reinterpret_cast<const std::uint8_t*>(words.data()), words.size() * 4};
    }
    static std::uint32_t WordAt(const ossim::ControlResult& result, std::size_t index) {
        std::uint32_t word = 0;
        if (result.output.size() >= (index + 1) * 4)
            std::memcpy(&word, result.output.data() + index * 4, 4);
        return word;
    }

    // A control sent while the frames run: the driver's own requests to the
    // device wait on the bus.
    static ossim::ControlResult Send(ossim::SimulatedSystem& system, ossim::UserClient& user,
                                     std::uint32_t file, std::uint32_t code,
                                     std::span<const std::uint8_t> input,
                                     std::uint32_t outputLength) {
        ossim::ControlResult result{};
        Drive(system.clock(), [&] { result = user.control(file, code, input, outputLength); });
        return result;
    }

    // Opens the interface, asks for every output channel and the first input
    // of the device, and starts it.
    void StartStreaming(ossim::SimulatedSystem& system, ossim::UserClient& user, Client& client) {
        ASSERT_EQ(user.open(GUID_ASIO_PRIVATE_INTERFACE, AsioInterfaceReference, &client.file),
                  kernel::STATUS_SUCCESS);
        const ossim::ControlResult channels =
            Send(system, user, client.file, asio_control::GetChannels, {}, 16);
        ASSERT_EQ(channels.status, kernel::STATUS_SUCCESS);
        const std::uint32_t endpoints = WordAt(channels, 0);
        const std::uint32_t outputs = WordAt(channels, 1);
        const std::uint32_t inputs = WordAt(channels, 2);
        ASSERT_GT(endpoints, 0u);
        ASSERT_GT(outputs + inputs, 0u);
        std::vector<std::uint32_t> request = {0, 0, 256};
        for (std::uint32_t channel = 0; channel < outputs; ++channel)
            request.insert(request.end(), {0, channel});
        if (inputs > 0) request.insert(request.end(), {1, 0});
        request[1] = static_cast<std::uint32_t>((request.size() - 3) / 2);
        const ossim::ControlResult created = Send(
            system, user, client.file, asio_control::CreateBuffers, Bytes(request), endpoints * 4);
        ASSERT_EQ(created.status, kernel::STATUS_SUCCESS);
        for (std::uint32_t index = 0; index < endpoints; ++index)
            client.rings.push_back(WordAt(created, index));
        ASSERT_EQ(
            user.process().createEvent(kernel::EventType::Synchronization, false, &client.event),
            kernel::STATUS_SUCCESS);
        const std::vector<std::uint32_t> event = {client.event};
        ASSERT_EQ(Send(system, user, client.file, asio_control::Start, Bytes(event), 0).status,
                  kernel::STATUS_SUCCESS);
        system.step(std::chrono::milliseconds(20));
        ASSERT_EQ(user.process().waitForEvent(client.event, std::chrono::milliseconds(0)),
                  kernel::STATUS_SUCCESS);
    }
};

TEST_F(AsioRemovalTest, TheDeviceGoingWhileAClientStreamsLeavesNothingBehind) {
    const std::size_t blocks = kernel::poolLiveBlocks();
    const std::size_t handles = io::userHandlesOpen();
    for (int round = 0; round < RemovalRounds; ++round) {
        SCOPED_TRACE(round);
        {
            ossim::SimulatedSystem system(usbsim::fixtures::uac2FeedbackDevice());
            ASSERT_EQ(system.load(DriverEntry), kernel::STATUS_SUCCESS);
            ASSERT_EQ(system.plug(), kernel::STATUS_SUCCESS);
            ossim::UserClient user(system.clock());
            Client client;
            StartStreaming(system, user, client);
            ASSERT_GT(io::userMappings(), 0u);
            ASSERT_EQ(system.surpriseRemove(), kernel::STATUS_SUCCESS);
            system.step(std::chrono::milliseconds(5));
            // The client learns of the removal only through its failing
            // requests; it closes as its host would, and every ring goes.
            Drive(system.clock(),
                  [&] { EXPECT_EQ(user.close(client.file), kernel::STATUS_SUCCESS); });
            EXPECT_EQ(user.process().closeHandle(client.event), kernel::STATUS_SUCCESS);
            EXPECT_EQ(io::userMappings(), 0u);
            for (const io::DeviceInterfaceEntry& entry :
                 system.host().deviceInterfaces(system.device()))
                EXPECT_FALSE(entry.enabled)
                    << std::string(entry.referenceString.begin(), entry.referenceString.end());
        }
        ASSERT_EQ(kernel::poolLiveBlocks(), blocks);
        ASSERT_EQ(io::userHandlesOpen(), handles);
    }
}

} // namespace
} // namespace asio_test
