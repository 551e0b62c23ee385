// The effect render engine in lockstep on the T6L1 and Q7K2 headsets, whose
// playback interfaces take two channels: clients of up to eight channels
// reach the device as their first two, after the limiter's delay, and hear
// of each transfer in their own bytes.
#include "driver/usbstream/effect_render_stream_engine.h"
#include "sim/usb/fixtures.h"
#include "stream_test_client.h"
#include "usb_stream_fixture.h"

namespace usbstream_test {
namespace {

constexpr std::uint8_t PlaybackInterface = 1;
constexpr std::uint8_t PlaybackEndpoint = 0x01;
constexpr std::uint32_t Rate = 48000;
constexpr std::size_t LimiterDelayFrames = 256;
constexpr std::uint32_t DeviceFrameBytes = 4;

class EffectRenderTest : public UsbStreamFixture {
protected:
    CUsbStreamEngine* MakePlayback(usbsim::FunctionDescription device,
                                   std::vector<std::uint16_t> channelCounts) {
        Start(std::move(device));
        CUsbStreamEngine* engine = MakeEngine(UsbStreamKind::effectRender, PlaybackInterface, 1);
        for (std::uint16_t channels : channelCounts) {
            const ks::WaveFormatExtensible format = UsbPcmFormat(channels, 16, Rate);
            EXPECT_EQ(engine->AddUsbFormat(&format, 1), STATUS_SUCCESS);
        }
        return engine;
    }
    // Streams 40 ms from the client and stops it.
    void Stream(CUsbStreamEngine* engine, TestClient& client) {
        std::uint32_t a = 0, b = 0, frame = 0;
        ASSERT_EQ(engine->OpenClient(client.Handle(), &a, &b, &frame), STATUS_SUCCESS);
        ASSERT_EQ(engine->StartClient(client.Handle(), stack->bus.frames().frameNumber() + 2, &a,
                                      &b, nullptr),
                  STATUS_SUCCESS);
        usbsim::advanceFrames(stack->clock, 40);
        Drive(stack->clock, [&] {
            EXPECT_EQ(engine->StopClient(client.Handle(), nullptr), STATUS_SUCCESS);
            EXPECT_EQ(engine->CloseClient(client.Handle()), STATUS_SUCCESS);
        });
    }
};

TEST_F(EffectRenderTest, MultichannelClientsReachTheDeviceAsTheirFirstTwoChannels) {
    struct Case {
        const char* name;
        usbsim::FunctionDescription (*device)();
        std::uint16_t channels;
    };
    const Case cases[] = {
        {"T6L1, 7.1", usbsim::fixtures::t6l1Device, 8},
        {"Q7K2, 7.1", [] { return usbsim::fixtures::q7k2Device(); }, 8},
        {"T6L1, 5.1", usbsim::fixtures::t6l1Device, 6},
        {"T6L1, stereo", usbsim::fixtures::t6l1Device, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CUsbStreamEngine* engine = MakePlayback(c.device(), {2, 6, 8});
        ASSERT_NE(engine->GetLimiter(), nullptr);
        {
            TestClient client(engine, WaveClientPriority, UsbPcmFormat(c.channels, 16, Rate));
            ASSERT_NO_FATAL_FAILURE(Stream(engine, client));
            // Every 1 ms packet is 48 device frames; each transfer of ten is
            // reported in the client's bytes.
            const usbsim::OutSink sink = stack->bus.isochronous().sink(PlaybackEndpoint);
            ASSERT_GE(sink.packets().size(), 30u);
            for (const usbsim::SinkPacket& packet : sink.packets())
                ASSERT_EQ(packet.bytes, 48 * DeviceFrameBytes);
            std::size_t transfers = 0;
            for (const HeardMessage& message : client.Messages()) {
                if (message.code != stream_message::transferDone) continue;
                ++transfers;
                EXPECT_EQ(message.argument1, 480u * c.channels * 2);
            }
            EXPECT_GT(transfers, 0u);
            // Both kept channels carry the ramp the client wrote, behind the
            // limiter's delay.
            const usbsim::Bytes& bytes = sink.stream();
            const std::size_t frames = bytes.size() / DeviceFrameBytes;
            ASSERT_GT(frames, 1000u);
            for (std::size_t f = 0; f < frames; ++f) {
                const std::uint32_t expected =
                    f < LimiterDelayFrames ? 0 : static_cast<std::uint32_t>(f - LimiterDelayFrames);
                for (std::size_t channel = 0; channel < 2; ++channel) {
                    const std::uint8_t* at = bytes.data() + f * DeviceFrameBytes + channel * 2;
                    ASSERT_EQ(static_cast<std::uint32_t>(at[0] | at[1] << 8), expected)
                        << "frame " << f << ", channel " << channel;
                }
            }
        }
        Stop();
    }
}

} // namespace
} // namespace usbstream_test
