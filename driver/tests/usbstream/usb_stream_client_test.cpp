// Clients sharing one release 1 playback engine: which client's format the
// device runs, what every client hears, and the refusals of bad calls.
#include "driver/engine/queried_interface.h"
#include "driver/usbstream/uac1_stream_engines.h"
#include "platform/portcls/content_forwarding.h"
#include "sim/usb/fixtures.h"
#include "stream_test_client.h"
#include "usb_stream_fixture.h"

namespace usbstream_test {
namespace {

constexpr std::uint8_t PlaybackInterface = 1;
constexpr std::uint8_t PlaybackEndpoint = 0x01;
constexpr std::uint32_t Lower = WaveClientPriority;
constexpr std::uint32_t Higher = AsioClientPriority;

class UsbStreamClientTest : public UsbStreamFixture {
protected:
    void SetUp() override {
        Start(usbsim::fixtures::uac1Headset());
        engine = MakeEngine(UsbStreamKind::uac1Render, PlaybackInterface, 1);
        for (std::uint32_t rate : {44100u, 48000u}) {
            const ks::WaveFormatExtensible format = UsbPcmFormat(2, 16, rate);
            ASSERT_EQ(engine->AddUsbFormat(&format, 1), STATUS_SUCCESS);
        }
    }
    NTSTATUS Open(TestClient& client) {
        std::uint32_t a = 0, b = 0, frame = 0;
        NTSTATUS status = STATUS_SUCCESS;
        Drive(stack->clock, [&] { status = engine->OpenClient(client.Handle(), &a, &b, &frame); });
        return status;
    }
    NTSTATUS StartRunning(TestClient& client) {
        std::uint32_t a = 0, b = 0;
        NTSTATUS status = STATUS_SUCCESS;
        Drive(stack->clock, [&] {
            status = engine->StartClient(client.Handle(), stack->bus.frames().frameNumber() + 2, &a,
                                         &b, nullptr);
        });
        return status;
    }
    NTSTATUS StopRunning(TestClient& client) {
        NTSTATUS status = STATUS_SUCCESS;
        Drive(stack->clock, [&] { status = engine->StopClient(client.Handle(), nullptr); });
        return status;
    }
    NTSTATUS Close(TestClient& client) {
        NTSTATUS status = STATUS_SUCCESS;
        Drive(stack->clock, [&] { status = engine->CloseClient(client.Handle()); });
        return status;
    }
    std::uint32_t DeviceRate() {
        return stack->bus.isochronous().sink(PlaybackEndpoint).packets().empty()
                   ? 0
                   : engine->GetUsbFormat().Format.nSamplesPerSec;
    }
    std::size_t SinkPackets() {
        return stack->bus.isochronous().sink(PlaybackEndpoint).packets().size();
    }
    // The format messages the client heard: argument 1 of each.
    static std::vector<std::uintptr_t> FormatMessages(TestClient& client) {
        std::vector<std::uintptr_t> found;
        for (const HeardMessage& m : client.Messages())
            if (m.code == stream_message::formatApplied) found.push_back(m.argument1);
        return found;
    }

    CUsbStreamEngine* engine = nullptr;
};

TEST_F(UsbStreamClientTest, ALowerClientJoinsTheRunningFormatWithoutAChange) {
    TestClient high(engine, Higher, UsbPcmFormat(2, 16, 48000));
    TestClient low(engine, Lower, UsbPcmFormat(2, 16, 44100), 4, 3);
    ASSERT_EQ(Open(high), STATUS_SUCCESS);
    ASSERT_EQ(StartRunning(high), STATUS_SUCCESS);
    EXPECT_EQ(FormatMessages(high),
              (std::vector<std::uintptr_t>{10 | stream_message::formatChangedBit}));
    high.ClearMessages();
    std::uint32_t a = 0, b = 0, frame = 7;
    ASSERT_EQ(engine->OpenClient(low.Handle(), &a, &b, &frame), STATUS_SUCCESS);
    EXPECT_EQ(frame, 0u) << "the device stayed as it was";
    EXPECT_EQ(a, 10u);
    ASSERT_EQ(engine->StartClient(low.Handle(), 0, &a, &b, nullptr), STATUS_SUCCESS);
    EXPECT_EQ(a, 10u) << "the running client's values";
    EXPECT_EQ(FormatMessages(high), (std::vector<std::uintptr_t>{10})) << "bit 31 clear";
    EXPECT_EQ(engine->GetUsbFormat().Format.nSamplesPerSec, 48000u);
    EXPECT_EQ(low.record->Active, 1);
    usbsim::advanceFrames(stack->clock, 20);
    EXPECT_EQ(StopRunning(low), STATUS_SUCCESS);
    EXPECT_EQ(StopRunning(high), STATUS_SUCCESS);
    EXPECT_EQ(engine->GetStreamState(), UsbStreamState::prepared)
        << "stopped, but prepared while clients are open";
    EXPECT_EQ(Close(low), STATUS_SUCCESS);
    EXPECT_EQ(Close(high), STATUS_SUCCESS);
    EXPECT_EQ(engine->GetStreamState(), UsbStreamState::closed);
}

TEST_F(UsbStreamClientTest, AHigherClientTakesTheDeviceAndGivesItBack) {
    TestClient low(engine, Lower, UsbPcmFormat(2, 16, 44100));
    TestClient high(engine, Higher, UsbPcmFormat(2, 16, 48000));
    ASSERT_EQ(Open(low), STATUS_SUCCESS);
    ASSERT_EQ(StartRunning(low), STATUS_SUCCESS);
    usbsim::advanceFrames(stack->clock, 20);
    ASSERT_EQ(Open(high), STATUS_SUCCESS);
    EXPECT_EQ(engine->GetStreamState(), UsbStreamState::prepared) << "the stream stopped";
    EXPECT_EQ(engine->GetUsbFormat().Format.nSamplesPerSec, 48000u);
    ASSERT_EQ(StartRunning(high), STATUS_SUCCESS);
    EXPECT_EQ(engine->GetStreamState(), UsbStreamState::running);
    const std::vector<std::uintptr_t> heard = FormatMessages(low);
    ASSERT_FALSE(heard.empty());
    EXPECT_NE(heard.back() & stream_message::formatChangedBit, 0u);
    usbsim::advanceFrames(stack->clock, 20);
    // The higher one stops: the lower one runs again in its own format.
    ASSERT_EQ(StopRunning(high), STATUS_SUCCESS);
    EXPECT_EQ(engine->GetStreamState(), UsbStreamState::running);
    EXPECT_EQ(engine->GetUsbFormat().Format.nSamplesPerSec, 44100u);
    ASSERT_EQ(Close(high), STATUS_SUCCESS);
    ASSERT_EQ(StopRunning(low), STATUS_SUCCESS);
    ASSERT_EQ(Close(low), STATUS_SUCCESS);
}

TEST_F(UsbStreamClientTest, AHigherClientThatClosesUnstartedLeavesTheLowerOneStreaming) {
    TestClient low(engine, Lower, UsbPcmFormat(2, 16, 44100));
    TestClient high(engine, Higher, UsbPcmFormat(2, 16, 48000));
    ASSERT_EQ(Open(low), STATUS_SUCCESS);
    ASSERT_EQ(StartRunning(low), STATUS_SUCCESS);
    usbsim::advanceFrames(stack->clock, 20);
    ASSERT_EQ(Open(high), STATUS_SUCCESS);
    low.ClearMessages();
    ASSERT_EQ(Close(high), STATUS_SUCCESS);
    EXPECT_EQ(engine->GetStreamState(), UsbStreamState::running);
    EXPECT_EQ(engine->GetUsbFormat().Format.nSamplesPerSec, 44100u);
    const std::vector<std::uintptr_t> heard = FormatMessages(low);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0], 10 | stream_message::formatChangedBit);
    const std::uint64_t filled = low.FramesFilled();
    const std::size_t packets = SinkPackets();
    usbsim::advanceFrames(stack->clock, 200);
    // After a start 5 frames on, a packet every frame; a 10 ms transfer
    // filled each 10 frames.
    EXPECT_GE(SinkPackets() - packets, 190u);
    EXPECT_GE(low.FramesFilled() - filled, 8000u) << "the client's position moves on";
    ASSERT_EQ(StopRunning(low), STATUS_SUCCESS);
    ASSERT_EQ(Close(low), STATUS_SUCCESS);
}

TEST_F(UsbStreamClientTest, TenTransfersInFlightAndABuildBeyondFindsNoContext) {
    TestClient client(engine, Lower, UsbPcmFormat(2, 16, 48000));
    ASSERT_EQ(Open(client), STATUS_SUCCESS);
    ASSERT_EQ(StartRunning(client), STATUS_SUCCESS);
    EXPECT_EQ(engine->GetPendingTransfers(), 10);
    EXPECT_EQ(engine->BuildTransfer(), kernel::STATUS_BUFFER_TOO_SMALL);
    ASSERT_EQ(StopRunning(client), STATUS_SUCCESS);
    EXPECT_EQ(engine->GetPendingTransfers(), 0);
    ASSERT_EQ(Close(client), STATUS_SUCCESS);
}

TEST_F(UsbStreamClientTest, BadCallsAreRefused) {
    TestClient client(engine, Lower, UsbPcmFormat(2, 16, 48000));
    const int stranger = 0;
    std::uint32_t a = 0, b = 0, frame = 0;
    EXPECT_EQ(engine->UnregisterClient(&stranger), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(engine->OpenClient(&stranger, &a, &b, &frame), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(engine->CloseClient(&stranger), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(engine->StartClient(client.Handle(), 0, &a, &b, nullptr), STATUS_INVALID_PARAMETER)
        << "nothing prepared";
    EXPECT_EQ(engine->StopClient(client.Handle(), nullptr), STATUS_INVALID_PARAMETER);

    UsbStreamClientRecord* record = nullptr;
    const ks::WaveFormatExtensible unknown = UsbPcmFormat(2, 16, 32000);
    const ks::WaveFormatExtensible known = UsbPcmFormat(2, 16, 48000);
    auto ignore = [](void*, void*, void*) {};
    EXPECT_EQ(engine->RegisterClient(Lower, &unknown, 10, 10, ignore, nullptr, &record),
              kernel::STATUS_NO_MATCH);
    EXPECT_EQ(engine->RegisterClient(Lower, &known, 0, 10, ignore, nullptr, &record),
              STATUS_INVALID_PARAMETER);
    EXPECT_EQ(engine->RegisterClient(Lower, &known, 10, 10, nullptr, nullptr, &record),
              STATUS_INVALID_PARAMETER);
    kernel::failPoolTag(UsbStreamTag);
    EXPECT_EQ(engine->RegisterClient(Lower, &known, 10, 10, ignore, nullptr, &record),
              STATUS_INSUFFICIENT_RESOURCES);
    kernel::clearPoolFaults();
    EXPECT_EQ(record, nullptr);
}

TEST_F(UsbStreamClientTest, AFailedPrepareLeavesTheClientRegistered) {
    TestClient client(engine, Lower, UsbPcmFormat(2, 16, 48000));
    kernel::failPoolTag(TransferTag);
    EXPECT_EQ(Open(client), STATUS_INSUFFICIENT_RESOURCES);
    kernel::clearPoolFaults();
    EXPECT_EQ(engine->GetStreamState(), UsbStreamState::closed);
    EXPECT_EQ(Usb()->ActiveStreams(), 0);
    EXPECT_EQ(Open(client), STATUS_SUCCESS) << "still registered, and the engine still closed";
    EXPECT_EQ(Close(client), STATUS_SUCCESS);
}

TEST_F(UsbStreamClientTest, ContentIdsGoToTheDeviceWithTheDataPipe) {
    TestClient client(engine, Lower, UsbPcmFormat(2, 16, 48000));
    CQueriedInterface<IUsbStreamDrm> drm(Adapter() == nullptr ? nullptr : engine->GetOuterUnknown(),
                                         IID_IUsbStreamDrm);
    ASSERT_TRUE(drm);
    ASSERT_EQ(Open(client), STATUS_SUCCESS);
    const std::size_t before = portcls::forwardedContents().size();
    EXPECT_EQ(drm->SetContentId(42), STATUS_SUCCESS);
    const std::vector<portcls::ForwardedContent> forwarded = portcls::forwardedContents();
    ASSERT_EQ(forwarded.size(), before + 1);
    EXPECT_EQ(forwarded.back().contentId, 42u);
    EXPECT_EQ(forwarded.back().device, stack->bus.device());
    EXPECT_NE(forwarded.back().context, nullptr);
    EXPECT_EQ(forwarded.back().fileObject, forwarded.back().context);
    EXPECT_EQ(Close(client), STATUS_SUCCESS);
}

// A release 1 playback engine whose builds fail when the test says so.
class CScriptedEngine : public CUac1RenderStreamEngine {
public:
    using CUac1RenderStreamEngine::CUac1RenderStreamEngine;
    kernel::NTSTATUS BuildTransfer() override {
        return kernel::succeeded(buildStatus) ? CUac1RenderStreamEngine::BuildTransfer()
                                              : buildStatus;
    }
    kernel::NTSTATUS buildStatus = STATUS_SUCCESS;
};

TEST_F(UsbStreamClientTest, AFailedStartGivesTheDeviceBackToThePreviousClient) {
    CScriptedEngine* scripted = Make<CScriptedEngine>(std::uint8_t{PlaybackInterface}, 1u);
    engines.push_back(scripted);
    engine = scripted;
    ASSERT_EQ(engine->InitStream(0, Adapter()), STATUS_SUCCESS);
    const ks::WaveFormatExtensible format = UsbPcmFormat(2, 16, 48000);
    ASSERT_EQ(engine->AddUsbFormat(&format, 1), STATUS_SUCCESS);
    TestClient low(engine, Lower, format, 10, 10);
    TestClient high(engine, Higher, format, 5, 4);
    ASSERT_EQ(Open(low), STATUS_SUCCESS);
    ASSERT_EQ(StartRunning(low), STATUS_SUCCESS);
    ASSERT_EQ(Open(high), STATUS_SUCCESS);
    low.ClearMessages();
    scripted->buildStatus = kernel::STATUS_DEVICE_NOT_CONNECTED;
    EXPECT_EQ(StartRunning(high), kernel::STATUS_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(high.record->Active, 0);
    EXPECT_EQ(low.record->Active, 1);
    // Told of the new client (bit 31), then of the old one again (bit clear).
    EXPECT_EQ(FormatMessages(low),
              (std::vector<std::uintptr_t>{5 | stream_message::formatChangedBit, 10}));
    const std::vector<HeardMessage> heard = low.Messages();
    ASSERT_FALSE(heard.empty());
    EXPECT_TRUE(heard.back().forMe);
    EXPECT_EQ(engine->GetStreamState(), UsbStreamState::closed);
    EXPECT_EQ(engine->GetPendingTransfers(), 0);
    scripted->buildStatus = STATUS_SUCCESS;
    ASSERT_EQ(StopRunning(low), STATUS_SUCCESS);
    ASSERT_EQ(Close(high), STATUS_SUCCESS);
    ASSERT_EQ(Close(low), STATUS_SUCCESS);
}

} // namespace
} // namespace usbstream_test
