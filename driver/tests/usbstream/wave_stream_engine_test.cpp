// The wave stream as a client of a real release 1 playback engine on the
// simulated bus: what the port wrote into the cyclic buffer reaches the
// device in order, from the lead the running transfers give.
#include "driver/miniport/wave_miniport.h"
#include "driver/tests/wave_test_support.h"
#include "sim/usb/fixtures.h"
#include "stream_test_client.h"
#include "usb_stream_fixture.h"

namespace usbstream_test {
namespace {

constexpr std::uint8_t PlaybackInterface = 1;
constexpr std::uint8_t PlaybackEndpoint = 0x01;
constexpr std::uint32_t LimiterDelayFrames = 256;

class CEndpointHal : public CAudioHal {
public:
    using CAudioHal::CAudioHal;
    NTSTATUS ParseDescriptors() override { return STATUS_SUCCESS; }
};

TEST_F(UsbStreamFixture, WaveStreamPlaysItsBufferContiguouslyThroughTheEngine) {
    Start(usbsim::fixtures::uac1Headset());
    CUsbStreamEngine* engine = MakeEngine(UsbStreamKind::uac1Render, PlaybackInterface, 1);
    const ks::WaveFormatExtensible format = UsbPcmFormat(2, 16, 48000);
    ASSERT_EQ(engine->AddUsbFormat(&format, 1), STATUS_SUCCESS);
    ASSERT_EQ(engine->SetName(u"Speakers"), STATUS_SUCCESS);
    Held<CEndpointHal> hal(Make<CEndpointHal>());
    ASSERT_EQ(hal->Init(nullptr, nullptr, nullptr, nullptr), STATUS_SUCCESS);
    ASSERT_EQ(hal->AddEndpoint(engine), STATUS_SUCCESS);

    wave_test::CCountingPort port;
    kernel::IUnknown* unknown = nullptr;
    ASSERT_EQ(CreateWaveMiniport(&unknown, portcls::CLSID_PortWaveCyclic, nullptr,
                                 kernel::PoolType::NonPagedNx, 0),
              STATUS_SUCCESS);
    void* face = nullptr;
    ASSERT_EQ(unknown->QueryInterface(portcls::IID_IMiniportWaveCyclic, &face), STATUS_SUCCESS);
    unknown->Release();
    auto* miniport = static_cast<portcls::IMiniportWaveCyclic*>(face);
    ASSERT_EQ(miniport->Init(static_cast<IAudioHal*>(hal.get()), nullptr, &port), STATUS_SUCCESS);
    portcls::IMiniportWaveCyclicStream* stream = nullptr;
    portcls::IDmaChannel* dma = nullptr;
    portcls::IServiceGroup* group = nullptr;
    const wave_test::FormatBlock block = wave_test::MakeFormat(format);
    ASSERT_EQ(miniport->NewStream(&stream, nullptr, kernel::PoolType::NonPagedNx, 0, false,
                                  block.get(), &dma, &group),
              STATUS_SUCCESS);

    // Every frame of the buffer holds its own index in both channels.
    const std::uint32_t frames = dma->BufferSize() / 4;
    auto* samples = static_cast<std::uint16_t*>(dma->SystemAddress());
    for (std::uint32_t f = 0; f < frames; ++f)
        samples[2 * f] = samples[2 * f + 1] = std::uint16_t(f);
    for (ks::KsState state : {ks::KsState::Acquire, ks::KsState::Pause, ks::KsState::Run})
        ASSERT_EQ(stream->SetState(state), STATUS_SUCCESS);
    usbsim::advanceFrames(stack->clock, 200);
    Drive(stack->clock, [&] { EXPECT_EQ(stream->SetState(ks::KsState::Pause), STATUS_SUCCESS); });

    const usbsim::OutSink sink = stack->bus.isochronous().sink(PlaybackEndpoint);
    EXPECT_EQ(sink.gaps(), 0u);
    const usbsim::Bytes& bytes = sink.stream();
    ASSERT_GT(bytes.size() / 4, 180u * 48);
    // The first packet reads as far behind the buffer's end as the running
    // transfers hold (5 ms each, 3 in flight).
    const std::uint32_t first = frames - 3 * 5 * 48;
    for (std::size_t f = 0; f < bytes.size() / 4; ++f) {
        const std::uint16_t expected =
            f < LimiterDelayFrames ? 0 : std::uint16_t((first + f - LimiterDelayFrames) % frames);
        const std::uint16_t left = std::uint16_t(bytes[4 * f] | (bytes[4 * f + 1] << 8));
        const std::uint16_t right = std::uint16_t(bytes[4 * f + 2] | (bytes[4 * f + 3] << 8));
        ASSERT_EQ(left, expected) << "frame " << f;
        ASSERT_EQ(right, expected) << "frame " << f;
    }
    // One notification per completed transfer; their bytes are the position's.
    EXPECT_GE(port.notifications.load(), 35u);
    EXPECT_EQ(static_cast<CWaveCyclicStream*>(stream)->GetTotalBytes(),
              port.notifications.load() * 5u * 192u);

    group->Release();
    dma->Release();
    stream->Release();
    miniport->Release();
    EXPECT_EQ(port.references.load(), 1u);
}

} // namespace
} // namespace usbstream_test
