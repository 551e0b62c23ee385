// Capture streams of both releases on the simulated bus: what arrives is the
// device's frames in order, with silence where a packet came back empty.
#include "sim/usb/fixtures.h"
#include "stream_test_client.h"
#include "test_clock_source.h"
#include "usb_stream_fixture.h"

namespace usbstream_test {
namespace {

constexpr std::uint8_t MicrophoneInterface = 2;
constexpr std::uint32_t ClockId = 10;

// The 16-bit samples of a mono capture.
std::vector<std::uint16_t> Samples(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::uint16_t> samples(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return samples;
}

class CaptureStreamTest : public UsbStreamFixture {
protected:
    CUsbStreamEngine* MakeMicrophone(UsbStreamKind kind, std::uint32_t rate) {
        CUsbStreamEngine* engine = MakeEngine(kind, MicrophoneInterface, 10, ClockId);
        const ks::WaveFormatExtensible format = UsbPcmFormat(1, 16, rate);
        EXPECT_EQ(engine->AddUsbFormat(&format, 1), STATUS_SUCCESS);
        return engine;
    }
    // Opens, starts, runs the frames, stops and closes; what the client got.
    std::vector<std::uint8_t> Run(CUsbStreamEngine* engine, std::uint32_t rate,
                                  std::uint32_t frames, std::uint32_t valueA = 10,
                                  std::uint32_t valueB = 10) {
        TestClient client(engine, WaveClientPriority, UsbPcmFormat(1, 16, rate), valueA, valueB);
        std::uint32_t a = 0, b = 0, frame = 0;
        EXPECT_EQ(engine->OpenClient(client.Handle(), &a, &b, &frame), STATUS_SUCCESS);
        lastValueB = b;
        EXPECT_EQ(engine->StartClient(client.Handle(), frame + 2, &a, &b, nullptr), STATUS_SUCCESS);
        usbsim::advanceFrames(stack->clock, frames);
        Drive(stack->clock, [&] {
            EXPECT_EQ(engine->StopClient(client.Handle(), nullptr), STATUS_SUCCESS);
            EXPECT_EQ(engine->CloseClient(client.Handle()), STATUS_SUCCESS);
        });
        return client.Captured();
    }
    std::uint32_t lastValueB = 0;
};

TEST_F(CaptureStreamTest, EveryFrameArrivesInOrderAtBothReleases) {
    struct Case {
        const char* name;
        usbsim::FunctionDescription (*device)();
        UsbStreamKind kind;
    };
    for (const Case& c :
         {Case{"release 1", usbsim::fixtures::uac1Headset, UsbStreamKind::uac1Capture},
          Case{"release 2", usbsim::fixtures::uac2FeedbackDevice, UsbStreamKind::uac2Capture}}) {
        SCOPED_TRACE(c.name);
        Start(c.device());
        Held<CTestClockSource> clock(
            Make<CTestClockSource>(ClockId, static_cast<IUsbDevice*>(Usb())));
        ASSERT_EQ(Usb()->AddChildObject(clock.get()), STATUS_SUCCESS);
        CUsbStreamEngine* engine = MakeMicrophone(c.kind, 48000);
        const std::vector<std::uint16_t> samples = Samples(Run(engine, 48000, 1000));
        ASSERT_GE(samples.size(), 48000u * 9 / 10);
        for (std::size_t i = 1; i < samples.size(); ++i)
            ASSERT_EQ(samples[i], static_cast<std::uint16_t>(samples[0] + i)) << "frame " << i;
        Stop();
    }
}

TEST_F(CaptureStreamTest, AShortRequestGetsTenMillisecondsInFlight) {
    Start(usbsim::fixtures::uac1Headset());
    CUsbStreamEngine* engine = MakeMicrophone(UsbStreamKind::uac1Capture, 48000);
    Run(engine, 48000, 20, 1, 2);
    EXPECT_EQ(lastValueB, 10u);
    EXPECT_EQ(engine->GetTransfersInFlight(), 10u);
}

// A high-speed release 1 microphone at 4 kHz, eight packets a millisecond of
// at most two frames: every other packet comes back empty.
usbsim::FunctionDescription SparseMicrophone() {
    usbsim::FunctionDescription d = usbsim::fixtures::uac1Headset();
    d.highSpeed = true;
    usbsim::AlternateSetting& setting = d.streaming[1].settings[0];
    setting.format.rates = {4000};
    setting.data.maxPacketSize = 4;
    setting.data.interval = 1;
    return d;
}

TEST_F(CaptureStreamTest, AnEmptyPacketBecomesSilenceThatStaysInItsSlot) {
    Start(SparseMicrophone());
    CUsbStreamEngine* engine = MakeMicrophone(UsbStreamKind::uac1Capture, 4000);
    const std::vector<std::uint16_t> samples = Samples(Run(engine, 4000, 1000));
    ASSERT_EQ(engine->GetFramesPerPacket(), 2u);
    std::vector<std::uint16_t> data;
    std::size_t silence = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (samples[i] == 0 && (data.empty() || data.back() != 0xFFFF)) {
            ++silence;
            continue;
        }
        data.push_back(samples[i]);
    }
    ASSERT_GE(data.size(), 3600u);
    for (std::size_t i = 1; i < data.size(); ++i)
        ASSERT_EQ(data[i], static_cast<std::uint16_t>(data[0] + i)) << "frame " << i;
    // One empty packet a frame of data: two frames of silence each, the
    // packet's slot, not the five a millisecond of the rate would take.
    EXPECT_NEAR(static_cast<double>(silence) / static_cast<double>(data.size()), 2.0, 0.05);
}

TEST_F(CaptureStreamTest, AHighSpeedPacketHoldsItsExtraTransactions) {
    usbsim::FunctionDescription d = SparseMicrophone();
    d.streaming[1].settings[0].format.rates = {48000};
    d.streaming[1].settings[0].data.maxPacketSize = 0x0808; // two transactions of 8 bytes
    Start(std::move(d));
    CUsbStreamEngine* engine = MakeMicrophone(UsbStreamKind::uac1Capture, 48000);
    const std::vector<std::uint16_t> samples = Samples(Run(engine, 48000, 200));
    EXPECT_EQ(engine->GetFramesPerPacket(), 8u);
    ASSERT_GE(samples.size(), 48u * 150);
    for (std::size_t i = 1; i < samples.size(); ++i)
        ASSERT_EQ(samples[i], static_cast<std::uint16_t>(samples[0] + i)) << "frame " << i;
}

} // namespace
} // namespace usbstream_test
