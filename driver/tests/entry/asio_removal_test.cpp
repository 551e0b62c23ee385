// The whole driver from its entry point losing its device while an ASIO
// client streams through it, by surprise or in order: once the client
// closes, no pool block, user mapping or handle is left, and the interfaces
// are disabled.
#include "driver/adapter/asio_records.h"
#include "driver/adapter/driver_entry.h"
#include "driver/tests/usbstream/stream_test_client.h"
#include "platform/io/device_interface.h"
#include "platform/io/user_mapping.h"
#include "platform/io/user_process.h"
#include "platform/kernel/pool.h"
#include "sim/os/asio_client.h"
#include "sim/os/simulated_system.h"
#include "sim/os/user_client.h"
#include "sim/usb/fixtures.h"
#include "testkit/sanitizers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace {

using usbstream_test::Drive;

// Rounds shrink where every allocation and access is instrumented.
constexpr int RemovalRounds = testkit::anySanitizer ? 2 : 20;

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

// An orderly removal while a client streams: a client that heeds the
// system's notice stops, gives its buffers up and closes first, and the
// removal goes through; one that keeps its file open vetoes it, streams on,
// and the removal goes through once it has closed. Either way nothing is
// left once the system ends.
TEST_F(AsioRemovalTest, AnOrderlyRemovalWhileAClientStreamsWaitsForItsFileAndLeavesNothing) {
    const std::size_t blocks = kernel::poolLiveBlocks();
    const std::size_t handles = io::userHandlesOpen();
    for (const bool heeds : {true, false}) {
        SCOPED_TRACE(heeds ? "the client heeds the notice" : "the client keeps its file");
        {
            ossim::SimulatedSystem system(usbsim::fixtures::uac2AsioDevice());
            ASSERT_EQ(system.load(DriverEntry), kernel::STATUS_SUCCESS);
            ASSERT_EQ(system.plug(), kernel::STATUS_SUCCESS);
            ossim::UserClient user(system.clock());
            Client kept;
            ossim::AsioClient client(system);
            if (heeds) {
                ASSERT_EQ(client.open(), kernel::STATUS_SUCCESS);
                ASSERT_EQ(client.configure({}), kernel::STATUS_SUCCESS);
                ASSERT_EQ(client.start(), kernel::STATUS_SUCCESS);
                client.run(std::chrono::milliseconds(50));
                ASSERT_GT(client.wakes(), 0u);
            } else {
                StartStreaming(system, user, kept);
                EXPECT_EQ(system.remove(), kernel::STATUS_DEVICE_BUSY);
                ossim::StackState state{};
                ASSERT_EQ(system.host().stackState(system.device(), &state),
                          kernel::STATUS_SUCCESS);
                EXPECT_EQ(state, ossim::StackState::started);
                // The veto took nothing away: the client is still woken.
                system.step(std::chrono::milliseconds(20));
                EXPECT_EQ(user.process().waitForEvent(kept.event, std::chrono::milliseconds(0)),
                          kernel::STATUS_SUCCESS);
                Drive(system.clock(),
                      [&] { EXPECT_EQ(user.close(kept.file), kernel::STATUS_SUCCESS); });
                EXPECT_EQ(user.process().closeHandle(kept.event), kernel::STATUS_SUCCESS);
            }
            ASSERT_GT(system.bus().isochronous().sink(0x01).stream().size(), 0u);
            EXPECT_EQ(system.remove(), kernel::STATUS_SUCCESS);
            EXPECT_EQ(system.host().stacks(), 0u);
            EXPECT_TRUE(client.rings().empty());
            EXPECT_EQ(io::userMappings(), 0u);
        }
        EXPECT_EQ(kernel::poolLiveBlocks(), blocks);
        EXPECT_EQ(io::userHandlesOpen(), handles);
    }
}

} // namespace
