// The whole driver from its entry point losing its device while an ASIO
// client streams through it: once the client closes, no pool block, user
// mapping or handle is left, and the interfaces are disabled.
#include "driver/adapter/asio_records.h"
#include "driver/adapter/driver_entry.h"
#include "driver/tests/usbstream/stream_test_client.h"
#include "platform/io/device_interface.h"
#include "platform/io/user_mapping.h"
#include "platform/io/user_process.h"
#include "platform/kernel/pool.h"
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

} // namespace
