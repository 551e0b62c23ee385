// A release 2 playback stream with explicit feedback on the simulated bus:
// the device's clock sets the pace, recovery resets the pipes, and the
// clock source takes the rate.
#include "driver/usbstream/uac2_stream_engines.h"
#include "sim/usb/fixtures.h"
#include "stream_test_client.h"
#include "test_clock_source.h"
#include "usb_stream_fixture.h"

#include <algorithm>

namespace usbstream_test {
namespace {

constexpr std::uint8_t PlaybackInterface = 1;
constexpr std::uint8_t PlaybackEndpoint = 0x01;
constexpr std::uint32_t ClockId = 10;
constexpr std::uint8_t SixteenBitSetting = 2;

class Uac2RenderTest : public UsbStreamFixture {
protected:
    CUac2RenderStreamEngine* MakePlayback(usbsim::FunctionDescription description,
                                          bool withClock = true) {
        Start(std::move(description));
        if (withClock) {
            clock = std::make_unique<Held<CTestClockSource>>(
                Make<CTestClockSource>(ClockId, static_cast<IUsbDevice*>(Usb())));
            EXPECT_EQ(Usb()->AddChildObject(clock->get()), STATUS_SUCCESS);
        }
        auto* engine = static_cast<CUac2RenderStreamEngine*>(
            MakeEngine(UsbStreamKind::uac2Render, PlaybackInterface, 1, ClockId));
        const ks::WaveFormatExtensible format = UsbPcmFormat(2, 16, 48000);
        EXPECT_EQ(engine->AddUsbFormat(&format, SixteenBitSetting), STATUS_SUCCESS);
        return engine;
    }
    void TearDown() override {
        clock.reset();
        UsbStreamFixture::TearDown();
    }
    // The device's FIFO over the run: the frames it received less those its
    // clock played since the first packet, from `settle` ms on; the spread
    // between the fullest and the emptiest moment.
    std::int64_t FifoSpread(std::uint32_t deviceRate, std::uint64_t settleMicroframes) {
        const usbsim::OutSink sink = stack->bus.isochronous().sink(PlaybackEndpoint);
        EXPECT_FALSE(sink.packets().empty());
        if (sink.packets().empty()) return 0;
        const std::uint64_t origin = sink.packets().front().microframe;
        std::int64_t received = 0, lowest = INT64_MAX, highest = INT64_MIN;
        for (const usbsim::SinkPacket& packet : sink.packets()) {
            received += packet.bytes / 4;
            const std::uint64_t elapsed = packet.microframe - origin;
            const auto played = static_cast<std::int64_t>(elapsed * deviceRate / 8000);
            if (elapsed < settleMicroframes) continue;
            lowest = std::min(lowest, received - played);
            highest = std::max(highest, received - played);
        }
        return highest - lowest;
    }
    void Run(CUsbStreamEngine* engine, std::uint32_t frames) {
        TestClient client(engine, WaveClientPriority, UsbPcmFormat(2, 16, 48000));
        std::uint32_t a = 0, b = 0, frame = 0;
        ASSERT_EQ(engine->OpenClient(client.Handle(), &a, &b, &frame), STATUS_SUCCESS);
        ASSERT_EQ(engine->StartClient(client.Handle(), frame + 2, &a, &b, nullptr), STATUS_SUCCESS);
        usbsim::advanceFrames(stack->clock, frames);
        Drive(stack->clock, [&] {
            EXPECT_EQ(engine->StopClient(client.Handle(), nullptr), STATUS_SUCCESS);
            EXPECT_EQ(engine->CloseClient(client.Handle()), STATUS_SUCCESS);
        });
    }

    std::unique_ptr<Held<CTestClockSource>> clock;
};

// The release 2 device without its feedback endpoint.
usbsim::FunctionDescription WithoutFeedback() {
    usbsim::FunctionDescription d = usbsim::fixtures::uac2FeedbackDevice();
    for (usbsim::AlternateSetting& setting : d.streaming[0].settings) setting.feedback.reset();
    return d;
}

TEST_F(Uac2RenderTest, FeedbackKeepsASlowDevicesFifoWithinTwoPackets) {
    CUac2RenderStreamEngine* engine = MakePlayback(usbsim::fixtures::uac2FeedbackDevice());
    stack->bus.isochronous().setSampleClockOffset(-10);
    Run(engine, 10000);
    EXPECT_EQ(engine->GetMeasuredRate(), 47989u);
    EXPECT_EQ(stack->bus.isochronous().sink(PlaybackEndpoint).gaps(), 0u);
    // Two packets of 6 frames; the first 200 ms ran on prebuilt transfers.
    EXPECT_LE(FifoSpread(47990, 200 * 8), 12);
}

TEST_F(Uac2RenderTest, WithoutFeedbackTheFifoDriftsAndTheStreamRunsAtNominal) {
    CUac2RenderStreamEngine* engine = MakePlayback(WithoutFeedback());
    stack->bus.isochronous().setSampleClockOffset(-10);
    Run(engine, 10000);
    EXPECT_EQ(engine->GetMeasuredRate(), 48000u);
    EXPECT_GE(FifoSpread(47990, 200 * 8), 90) << "10 Hz over 10 s";
}

TEST_F(Uac2RenderTest, ARecoveryResetsThePipesWithoutSelectingAgain) {
    CUac2RenderStreamEngine* engine = MakePlayback(usbsim::fixtures::uac2FeedbackDevice());
    TestClient client(engine, WaveClientPriority, UsbPcmFormat(2, 16, 48000));
    std::uint32_t a = 0, b = 0, frame = 0;
    ASSERT_EQ(engine->OpenClient(client.Handle(), &a, &b, &frame), STATUS_SUCCESS);
    ASSERT_EQ(engine->StartClient(client.Handle(), frame + 2, &a, &b, nullptr), STATUS_SUCCESS);
    usbsim::advanceFrames(stack->clock, 30);
    const std::uint32_t selections = stack->function.selections(PlaybackInterface);
    const int resets = stack->bus.received(usbsim::BusRequestKind::resetPipe);
    client.ClearMessages();
    Usb()->BreakTransfers(1);
    // What was in flight (100 ms ahead) comes back before recovery begins.
    usbsim::advanceFrames(stack->clock, 200);
    EXPECT_EQ(stack->bus.received(usbsim::BusRequestKind::resetPipe) - resets, 2)
        << "data, feedback";
    EXPECT_EQ(stack->function.selections(PlaybackInterface), selections);
    for (const HeardMessage& m : client.Messages())
        EXPECT_NE(m.code, stream_message::formatApplied);
    const std::size_t packets = stack->bus.isochronous().sink(PlaybackEndpoint).packets().size();
    usbsim::advanceFrames(stack->clock, 50);
    EXPECT_GE(stack->bus.isochronous().sink(PlaybackEndpoint).packets().size() - packets, 50u * 8);
    Drive(stack->clock, [&] {
        EXPECT_EQ(engine->StopClient(client.Handle(), nullptr), STATUS_SUCCESS);
        EXPECT_EQ(engine->CloseClient(client.Handle()), STATUS_SUCCESS);
    });
}

TEST_F(Uac2RenderTest, AMissingClockSourceFailsThePrepare) {
    CUac2RenderStreamEngine* engine =
        MakePlayback(usbsim::fixtures::uac2FeedbackDevice(), /*withClock=*/false);
    TestClient client(engine, WaveClientPriority, UsbPcmFormat(2, 16, 48000));
    std::uint32_t a = 0, b = 0, frame = 0;
    EXPECT_EQ(engine->OpenClient(client.Handle(), &a, &b, &frame), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(engine->GetStreamState(), UsbStreamState::closed);
    EXPECT_EQ(stack->function.alternateSetting(PlaybackInterface), 0);
}

TEST_F(Uac2RenderTest, AbortPipeSpeaksOnlyForTheMakersFormat) {
    CUac2RenderStreamEngine* engine = MakePlayback(usbsim::fixtures::uac2FeedbackDevice());
    ks::WaveFormatExtensible vendor = UsbPcmFormat(2, 16, 48000);
    vendor.SubFormat = MakerVendorSubFormat;
    ASSERT_EQ(engine->AddUsbFormat(&vendor, SixteenBitSetting), STATUS_SUCCESS);
    for (const bool makers : {false, true}) {
        TestClient client(engine, WaveClientPriority, makers ? vendor : UsbPcmFormat(2, 16, 48000));
        std::uint32_t a = 0, b = 0, frame = 0;
        ASSERT_EQ(engine->OpenClient(client.Handle(), &a, &b, &frame), STATUS_SUCCESS);
        const std::size_t requests = stack->function.log().size();
        engine->AbortPipe();
        if (makers) {
            ASSERT_EQ(stack->function.log().size(), requests + 1);
            const auto& sent = stack->function.log().back();
            EXPECT_EQ(sent.setup.bmRequestType, 0x41);
            EXPECT_EQ(sent.setup.bRequest, 0x10);
            EXPECT_EQ(sent.setup.wIndex.value(), PlaybackInterface);
        } else {
            EXPECT_EQ(stack->function.log().size(), requests);
        }
        ASSERT_EQ(engine->CloseClient(client.Handle()), STATUS_SUCCESS);
    }
}

} // namespace
} // namespace usbstream_test
