// A release 1 playback stream on the simulated bus in lockstep: packet sizes
// at every rate and speed, the requests that set the stream up, the
// limiter's delay, a failed packet and an unplug.
#include "platform/kernel/debug_print.h"
#include "platform/kernel/pool.h"
#include "sim/usb/fixtures.h"
#include "stream_test_client.h"
#include "usb_stream_fixture.h"

#include <map>
#include <numeric>

namespace usbstream_test {
namespace {

constexpr std::uint8_t PlaybackInterface = 1;
constexpr std::uint8_t PlaybackEndpoint = 0x01;

struct PlaybackShape {
    std::vector<std::uint32_t> rates;
    bool highSpeed = false;
    std::uint8_t interval = 1;
    std::uint8_t channels = 2;
    std::uint8_t subslot = 2;
};

// The release 1 headset with its playback interface reshaped.
usbsim::FunctionDescription Playback(const PlaybackShape& shape) {
    usbsim::FunctionDescription d = usbsim::fixtures::uac1Headset();
    d.highSpeed = shape.highSpeed;
    usbsim::AlternateSetting& setting = d.streaming[0].settings[0];
    setting.format.rates = shape.rates;
    setting.format.channels = shape.channels;
    setting.format.subslotSize = shape.subslot;
    setting.format.bitResolution = static_cast<std::uint8_t>(shape.subslot * 8);
    setting.data.maxPacketSize = 1020;
    setting.data.interval = shape.interval;
    return d;
}

class Uac1RenderTest : public UsbStreamFixture {
protected:
    CUsbStreamEngine* MakePlayback(const PlaybackShape& shape) {
        Start(Playback(shape));
        CUsbStreamEngine* engine = MakeEngine(UsbStreamKind::uac1Render, PlaybackInterface, 1);
        for (std::uint32_t rate : shape.rates) {
            const ks::WaveFormatExtensible format =
                UsbPcmFormat(shape.channels, shape.subslot * 8, rate);
            EXPECT_EQ(engine->AddUsbFormat(&format, 1), STATUS_SUCCESS);
        }
        return engine;
    }
    void Open(TestClient& client) {
        std::uint32_t a = 0, b = 0, frame = 0;
        ASSERT_EQ(engines.back()->OpenClient(client.Handle(), &a, &b, &frame), STATUS_SUCCESS);
    }
    void StartRunning(TestClient& client) {
        std::uint32_t a = 0, b = 0;
        ASSERT_EQ(engines.back()->StartClient(
                      client.Handle(), stack->bus.frames().frameNumber() + 2, &a, &b, nullptr),
                  STATUS_SUCCESS);
    }
    void StopAndClose(TestClient& client) {
        CUsbStreamEngine* engine = engines.back();
        Drive(stack->clock, [&] {
            EXPECT_EQ(engine->StopClient(client.Handle(), nullptr), STATUS_SUCCESS);
            EXPECT_EQ(engine->CloseClient(client.Handle()), STATUS_SUCCESS);
        });
    }
    const usbsim::OutSink Sink() { return stack->bus.isochronous().sink(PlaybackEndpoint); }
};

TEST_F(Uac1RenderTest, PacketsCarryTheRateExactlyEverySecondWithoutGaps) {
    struct Case {
        std::uint32_t rate;
        bool highSpeed;
        std::uint8_t interval;
        std::uint32_t packetsPerMs;
    };
    const Case cases[] = {
        {8000, false, 1, 1},  {11025, false, 1, 1}, {44100, false, 1, 1},
        {48000, false, 1, 1}, {96000, false, 1, 1}, {44100, true, 1, 8},
        {48000, true, 2, 4},  {44100, true, 3, 2},  {96000, true, 4, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, high speed " << c.highSpeed
                                        << ", interval " << int(c.interval));
        CUsbStreamEngine* engine =
            MakePlayback({.rates = {c.rate}, .highSpeed = c.highSpeed, .interval = c.interval});
        {
            TestClient client(engine, WaveClientPriority, UsbPcmFormat(2, 16, c.rate));
            ASSERT_NO_FATAL_FAILURE(Open(client));
            EXPECT_EQ(engine->GetPacketsPerMs(), c.packetsPerMs);
            ASSERT_NO_FATAL_FAILURE(StartRunning(client));
            usbsim::advanceFrames(stack->clock, 10000);
            StopAndClose(client);
        }
        const usbsim::OutSink sink = Sink();
        EXPECT_EQ(sink.gaps(), 0u);
        // Whole seconds from the first packet: exactly the rate's frames each.
        const std::uint32_t perSecond = c.packetsPerMs * 1000;
        ASSERT_GE(sink.packets().size(), 9 * perSecond);
        std::map<std::uint32_t, std::uint32_t> frameCounts;
        for (std::size_t second = 0; second < 9; ++second) {
            std::uint64_t bytes = 0;
            for (std::size_t i = second * perSecond; i < (second + 1) * perSecond; ++i) {
                bytes += sink.packets()[i].bytes;
                ++frameCounts[sink.packets()[i].bytes / 4];
            }
            EXPECT_EQ(bytes / 4, c.rate) << "second " << second;
        }
        // Only the whole frames of a packet and one more.
        const std::uint32_t whole = c.rate / perSecond;
        for (const auto& [frames, count] : frameCounts)
            EXPECT_TRUE(frames == whole || frames == whole + 1) << frames << " frames";
        Stop();
    }
}

TEST_F(Uac1RenderTest, At44100EveryTenthPacketCarries45Frames) {
    CUsbStreamEngine* engine = MakePlayback({.rates = {44100}});
    TestClient client(engine, WaveClientPriority, UsbPcmFormat(2, 16, 44100));
    ASSERT_NO_FATAL_FAILURE(Open(client));
    ASSERT_NO_FATAL_FAILURE(StartRunning(client));
    usbsim::advanceFrames(stack->clock, 100);
    StopAndClose(client);
    const usbsim::OutSink sink = Sink();
    const std::vector<usbsim::SinkPacket>& packets = sink.packets();
    ASSERT_GE(packets.size(), 50u);
    for (std::size_t i = 0; i < 50; ++i)
        EXPECT_EQ(packets[i].bytes / 4, i % 10 == 9 ? 45u : 44u) << "packet " << i;
}

TEST_F(Uac1RenderTest, OpeningSelectsTheSettingAndSetsTheEndpointRate) {
    CUsbStreamEngine* engine = MakePlayback({.rates = {44100, 48000}});
    TestClient client(engine, WaveClientPriority, UsbPcmFormat(2, 16, 48000));
    stack->function.clearLog();
    ASSERT_NO_FATAL_FAILURE(Open(client));
    EXPECT_EQ(stack->function.alternateSetting(PlaybackInterface), 1);
    EXPECT_EQ(Usb()->ActiveStreams(), 1);
    const auto& log = stack->function.log();
    ASSERT_FALSE(log.empty());
    const auto& rate = log.back();
    EXPECT_EQ(rate.setup.bmRequestType, 0x22);
    EXPECT_EQ(rate.setup.bRequest, 0x01);
    EXPECT_EQ(rate.setup.wValue.value(), 0x0100);
    EXPECT_EQ(rate.setup.wIndex.value(), PlaybackEndpoint);
    EXPECT_EQ(rate.data, (usbsim::Bytes{0x80, 0xBB, 0x00}));
    EXPECT_EQ(engine->GetStreamState(), UsbStreamState::prepared);

    // Setting 0 again however often it is asked for: the count drops once.
    ASSERT_EQ(engine->CloseClient(client.Handle()), STATUS_SUCCESS);
    EXPECT_EQ(engine->GetStreamState(), UsbStreamState::closed);
    EXPECT_EQ(engine->SelectZeroBandwidth(), STATUS_SUCCESS);
    EXPECT_EQ(stack->function.alternateSetting(PlaybackInterface), 0);
    EXPECT_EQ(Usb()->ActiveStreams(), 0);
}

// The first start plays 256 frames of silence, the limiter's look-ahead; a
// stop keeps what the look-ahead holds, so the next start in the same format
// plays the ramp on from where it stopped, with nothing lost.
TEST_F(Uac1RenderTest, TheLimiterDelaysARampBy256FramesAndCarriesThemAcrossAStopBitExact) {
    for (std::uint8_t subslot : {2, 3}) {
        SCOPED_TRACE(testing::Message() << int(subslot) << "-byte samples");
        CUsbStreamEngine* engine = MakePlayback({.rates = {48000}, .subslot = subslot});
        ASSERT_NE(engine->GetLimiter(), nullptr);
        {
            TestClient client(engine, WaveClientPriority, UsbPcmFormat(2, subslot * 8, 48000));
            ASSERT_NO_FATAL_FAILURE(Open(client));
            std::size_t streamed = 0;
            for (int start = 0; start < 2; ++start) {
                const std::uint64_t firstFrame = client.FramesFilled();
                ASSERT_NO_FATAL_FAILURE(StartRunning(client));
                usbsim::advanceFrames(stack->clock, 40);
                Drive(stack->clock, [&] {
                    EXPECT_EQ(engine->StopClient(client.Handle(), nullptr), STATUS_SUCCESS);
                });
                const usbsim::OutSink sink = Sink();
                const usbsim::Bytes& bytes = sink.stream();
                const std::size_t frameBytes = 2u * subslot;
                const std::size_t frames = (bytes.size() - streamed) / frameBytes;
                ASSERT_GT(frames, 600u);
                for (std::size_t f = 0; f < frames; ++f) {
                    const std::uint8_t* sample = bytes.data() + streamed + f * frameBytes;
                    const std::uint32_t expected =
                        start == 0 && f < 256
                            ? 0
                            : static_cast<std::uint32_t>((firstFrame + f - 256) % 0x7FFF);
                    for (std::size_t channel = 0; channel < 2; ++channel) {
                        const std::uint8_t* at = sample + channel * subslot;
                        const std::uint32_t value = at[subslot - 2] | (at[subslot - 1] << 8);
                        ASSERT_EQ(value, expected) << "start " << start << ", frame " << f;
                        if (subslot == 3) {
                            ASSERT_EQ(at[0], 0) << "frame " << f;
                        }
                    }
                }
                streamed = bytes.size();
            }
            ASSERT_EQ(engine->CloseClient(client.Handle()), STATUS_SUCCESS);
        }
        Stop();
    }
}

// What the look-ahead holds is of the old format: a start in another one
// begins with the limiter's silence again, the same format goes on unless a
// client discarded the held frames first.
TEST_F(Uac1RenderTest, OnlyAnotherFormatOrADiscardBeginsWithTheLimitersSilenceAgain) {
    CUsbStreamEngine* engine = MakePlayback({.rates = {48000, 44100}});
    std::size_t streamed = 0;
    std::uint64_t carried = 0; // frames of the last client the look-ahead holds
    std::uint32_t previousRate = 0;
    struct Start {
        std::uint32_t rate;
        bool discard;
    };
    for (const Start& start :
         {Start{48000, false}, Start{44100, false}, Start{44100, false}, Start{44100, true}}) {
        const std::uint32_t rate = start.rate;
        SCOPED_TRACE(testing::Message() << rate << (start.discard ? " discarded" : ""));
        if (start.discard) engine->DiscardHeldFrames();
        TestClient client(engine, WaveClientPriority, UsbPcmFormat(2, 16, rate));
        ASSERT_NO_FATAL_FAILURE(Open(client));
        ASSERT_NO_FATAL_FAILURE(StartRunning(client));
        usbsim::advanceFrames(stack->clock, 40);
        StopAndClose(client);
        const usbsim::OutSink sink = Sink();
        const usbsim::Bytes& bytes = sink.stream();
        const std::size_t frames = (bytes.size() - streamed) / 4;
        ASSERT_GT(frames, 600u);
        const bool sameFormat = rate == previousRate && !start.discard;
        for (std::size_t f = 0; f < 256; ++f) {
            const std::uint32_t value = bytes[streamed + f * 4] | bytes[streamed + f * 4 + 1] << 8;
            ASSERT_EQ(value, sameFormat ? carried - 256 + f : 0u) << "frame " << f;
        }
        const std::uint32_t first = bytes[streamed + 256 * 4] | bytes[streamed + 256 * 4 + 1] << 8;
        EXPECT_EQ(first, 0u) << "the new client's ramp";
        carried = client.FramesFilled();
        previousRate = rate;
        streamed = bytes.size();
    }
    Stop();
}

TEST_F(Uac1RenderTest, AFailedPacketRecoversByReselectingTheSetting) {
    CUsbStreamEngine* engine = MakePlayback({.rates = {48000}});
    TestClient client(engine, WaveClientPriority, UsbPcmFormat(2, 16, 48000));
    ASSERT_NO_FATAL_FAILURE(Open(client));
    ASSERT_NO_FATAL_FAILURE(StartRunning(client));
    usbsim::advanceFrames(stack->clock, 30);
    const std::uint32_t selectionsBefore = stack->function.selections(PlaybackInterface);
    kernel::clearDebugLog();
    client.ClearMessages();
    Usb()->BreakTransfers(1);
    usbsim::advanceFrames(stack->clock, 300);
    EXPECT_GE(stack->function.selections(PlaybackInterface), selectionsBefore + 2)
        << "setting 0, then the format's setting again";
    bool restarted = false;
    for (const HeardMessage& m : client.Messages())
        restarted |= m.code == stream_message::formatApplied &&
                     (m.argument1 & stream_message::formatChangedBit) != 0;
    EXPECT_TRUE(restarted);
    const std::size_t before = Sink().packets().size();
    usbsim::advanceFrames(stack->clock, 100);
    EXPECT_EQ(Sink().packets().size() - before, 100u) << "streaming again";
    EXPECT_FALSE(engine->WorkerEnded());
    StopAndClose(client);
}

TEST_F(Uac1RenderTest, AnUnplugEndsTheWorkerAndTheStreamTearsDownCleanly) {
    CUsbStreamEngine* engine = MakePlayback({.rates = {48000}});
    TestClient client(engine, WaveClientPriority, UsbPcmFormat(2, 16, 48000));
    ASSERT_NO_FATAL_FAILURE(Open(client));
    ASSERT_NO_FATAL_FAILURE(StartRunning(client));
    usbsim::advanceFrames(stack->clock, 30);
    kernel::clearDebugLog();
    stack->bus.unplug();
    usbsim::advanceFrames(stack->clock, 20);
    EXPECT_TRUE(engine->WorkerEnded());
    EXPECT_TRUE(engine->IsDeviceGoneFlagged());
    EXPECT_EQ(engine->GetPendingTransfers(), 0);
    const std::vector<std::string> log = kernel::debugLog();
    EXPECT_NE(std::find(log.begin(), log.end(), "Error_ErrorOccur, m_StreamState = 2\n"),
              log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "Error_ErrorOccur ntStatus = c000009d\n"),
              log.end());
    const std::size_t packets = Sink().packets().size();
    usbsim::advanceFrames(stack->clock, 50);
    EXPECT_EQ(Sink().packets().size(), packets);
    EXPECT_EQ(stack->bus.isochronous().pendingTransfers(), 0u);
    StopAndClose(client);
    EXPECT_EQ(engine->GetStreamState(), UsbStreamState::closed);
}

} // namespace
} // namespace usbstream_test
