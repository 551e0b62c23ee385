// A DSD client of the ASIO interface: an endpoint whose only format carries
// the maker's DSD subtype (stereo, 64-bit samples at a 64th of the DSD rate),
// negotiated as kind 1, its ring starting as DSD silence, and a pattern the
// client writes reaching the device unbroken.
#include "asio_test_world.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace asio_test {
namespace {

constexpr std::uint32_t DsdRate = 2822400;
constexpr std::uint32_t WordRate = DsdRate / 64; // 64-bit words a second
constexpr std::uint32_t FrameBytes = 2 * 8;
constexpr std::uint32_t RingBytes = WordRate * FrameBytes * 40 / 1000;

class AsioDsdTest : public AsioWorld {
protected:
    void StartDsdPlayback() {
        usbsim::FunctionDescription d = usbsim::fixtures::uac1Headset();
        usbsim::AlternateSetting& setting = d.streaming[0].settings[0];
        setting.format.rates = {WordRate};
        setting.data.maxPacketSize = static_cast<std::uint16_t>((WordRate / 1000 + 1) * FrameBytes);
        Start(d);
        render = MakeEngine(UsbStreamKind::uac1Render, 1, 1);
        ks::WaveFormatExtensible dsd = UsbPcmFormat(2, 64, WordRate);
        dsd.SubFormat = MakerVendorSubFormat;
        ASSERT_EQ(render->AddUsbFormat(&dsd, 1), kernel::STATUS_SUCCESS);
        render->SetName(u"Speakers");
        halHolder = new Held<CAsioTestHal>(Make<CAsioTestHal>());
        host.hal = halHolder->get();
        host.hal->asio = {true};
        ASSERT_EQ(host.hal->Init(nullptr, function->device, nullptr, nullptr),
                  kernel::STATUS_SUCCESS);
        ASSERT_EQ(host.hal->AddEndpoint(render), kernel::STATUS_SUCCESS);
        host.usb = Usb();
    }
    std::vector<std::uint32_t> Words(std::uint32_t file, std::uint32_t code, std::uint32_t count) {
        std::vector<std::uint32_t> words(count, 0);
        EXPECT_EQ(Control(file, code, nullptr, 0, words.data(), count * 4).status,
                  kernel::STATUS_SUCCESS);
        return words;
    }
};

TEST_F(AsioDsdTest, TheClientNegotiatesDsdAndItsPatternReachesTheDeviceUnbroken) {
    StartDsdPlayback();
    const std::uint32_t file = OpenFile();
    // A PCM client finds no PCM rate and may not take a DSD one.
    EXPECT_EQ(Word(file, asio_control::CanKind, AsioKindPcm).status, kernel::STATUS_UNSUCCESSFUL);
    EXPECT_EQ(Word(file, asio_control::SetSampleRate, DsdRate).status,
              kernel::STATUS_INVALID_PARAMETER);
    ASSERT_EQ(Word(file, asio_control::SetKind, AsioKindDsd).status, kernel::STATUS_SUCCESS);
    EXPECT_EQ(Words(file, asio_control::GetKind, 1), std::vector<std::uint32_t>{AsioKindDsd});
    struct RateCase {
        std::uint32_t rate;
        NTSTATUS can;
    };
    for (const RateCase c : {RateCase{DsdRate, kernel::STATUS_SUCCESS},
                             RateCase{DsdRate * 2, kernel::STATUS_UNSUCCESSFUL},
                             RateCase{3072000, kernel::STATUS_UNSUCCESSFUL},
                             RateCase{44100, kernel::STATUS_UNSUCCESSFUL}}) {
        SCOPED_TRACE(c.rate);
        EXPECT_EQ(Word(file, asio_control::CanSampleRate, c.rate).status, c.can);
    }
    EXPECT_EQ(Word(file, asio_control::SetSampleRate, 44100).status,
              kernel::STATUS_INVALID_PARAMETER);
    ASSERT_EQ(Word(file, asio_control::SetSampleRate, DsdRate).status, kernel::STATUS_SUCCESS);
    EXPECT_EQ(Words(file, asio_control::GetSampleRate, 1), std::vector<std::uint32_t>{DsdRate});
    // 64 times 44.1 kHz: 44 x 64 frames a millisecond.
    ASSERT_EQ(Word(file, asio_control::SetLatency, 3).status, kernel::STATUS_SUCCESS); // 10 ms
    EXPECT_EQ(Words(file, asio_control::GetBufferSize, 4),
              (std::vector<std::uint32_t>{6 * 64 * 44, 50 * 64 * 44, 10 * 64 * 44, 64}));
    EXPECT_EQ(Words(file, asio_control::GetLatencies, 2),
              (std::vector<std::uint32_t>{10 * 64 * 44, 10 * 64 * 88}));
    std::vector<AsioChannelInfo> info(1);
    info[0].channel = 1;
    info[0].isInput = 0;
    ASSERT_EQ(Control(file, asio_control::GetChannelInfo, info.data(), sizeof(AsioChannelInfo),
                      info.data(), sizeof(AsioChannelInfo))
                  .status,
              kernel::STATUS_SUCCESS);
    EXPECT_EQ(info[0].sampleType, AsioSampleTypeDsd);

    std::vector<std::uint32_t> rings;
    ASSERT_EQ(CreateBuffers(file, {{0, 0}, {0, 1}}, 10 * 64 * 44, &rings).status,
              kernel::STATUS_SUCCESS);
    AsioRingHeader* ring = Ring(rings[0]);
    ASSERT_EQ(ring->ringBytes, RingBytes);
    auto* bytes = reinterpret_cast<std::uint8_t*>(ring + 1);
    EXPECT_TRUE(
        std::all_of(bytes, bytes + RingBytes, [](std::uint8_t b) { return b == AsioDsdSilence; }));
    auto* words = reinterpret_cast<std::uint32_t*>(bytes);
    for (std::uint32_t i = 0; i < RingBytes / 4; ++i) words[i] = i + 1;
    std::uint32_t event = 0;
    ASSERT_EQ(process->createEvent(kernel::EventType::Synchronization, false, &event),
              kernel::STATUS_SUCCESS);
    ASSERT_EQ(Word(file, asio_control::Start, event).status, kernel::STATUS_SUCCESS);
    usbsim::advanceFrames(stack->clock, 30);
    EXPECT_GT(std::atomic_ref<std::uint32_t>(ring->completions).load(), 0u);
    ASSERT_EQ(Control(file, asio_control::Stop, nullptr, 0, nullptr, 0).status,
              kernel::STATUS_SUCCESS);

    const auto sink = stack->bus.isochronous().sink(0x01);
    const usbsim::Bytes& sent = sink.stream();
    std::vector<std::uint32_t> heard(sent.size() / 4);
    std::memcpy(heard.data(), sent.data(), heard.size() * 4);
    const auto first = std::find(heard.begin(), heard.end(), 1u);
    ASSERT_NE(first, heard.end());
    // Ten milliseconds of the pattern, word for word.
    const std::size_t wanted = WordRate / 1000 * FrameBytes / 4 * 10;
    ASSERT_GE(static_cast<std::size_t>(heard.end() - first), wanted);
    for (std::size_t i = 0; i < wanted; ++i)
        ASSERT_EQ(*(first + static_cast<std::ptrdiff_t>(i)), i + 1) << i;
    EXPECT_EQ(process->closeHandle(event), kernel::STATUS_SUCCESS);
    CloseFile(file);
}

} // namespace
} // namespace asio_test
