// The processing render engine on the N3W8 chip's playback interface: the
// formats each endpoint type offers, however often the engine is renamed,
// and the chip register each prepared format writes.
#include "driver/usbstream/processing_render_stream_engine.h"

#include "sim/usb/fixtures.h"
#include "stream_test_client.h"
#include "usb_stream_fixture.h"

#include <array>
#include <vector>

namespace usbstream_test {
namespace {

constexpr std::uint8_t PlaybackInterface = 1;

// The register the engine writes, merged as the chip's cache merges.
class CRegisterRecorder final : public IChipRegisters {
public:
    NTSTATUS WriteRegister(std::uint32_t index, std::uint16_t value, std::uint16_t mask) override {
        values[index] = static_cast<std::uint16_t>((values[index] & ~mask) | (value & mask));
        ++writes;
        return STATUS_SUCCESS;
    }
    std::array<std::uint16_t, 6> values{};
    int writes = 0;
};

// The engine with the endpoint type its terminal would give.
class CTypedProcessingEngine : public CUac1ProcessingRenderStreamEngine {
public:
    CTypedProcessingEngine(kernel::IUnknown* outer, std::uint32_t endpointType)
        : CUac1ProcessingRenderStreamEngine(outer, PlaybackInterface, 1),
          m_EndpointType(endpointType) {}
    std::uint32_t GetEndpointType() override { return m_EndpointType; }
    void SetEndpointType(std::uint32_t type) { m_EndpointType = type; }

private:
    std::uint32_t m_EndpointType;
};

ks::WaveFormatExtensible Ac3(std::uint32_t rate) {
    ks::WaveFormatExtensible format = UsbPcmFormat(2, 16, rate);
    format.Format.cbSize = 0;
    format.dwChannelMask = 0;
    format.SubFormat = ks::subFormatOf(DolbyAc3SpdifTag);
    return format;
}

class ProcessingRenderTest : public UsbStreamFixture {
protected:
    void SetUp() override {
        Start(usbsim::fixtures::n3w8Device());
        engine = std::make_unique<Held<CTypedProcessingEngine>>(Make<CTypedProcessingEngine>(1u));
        ASSERT_EQ((*engine)->InitProcessingStream(0, Adapter(), &registers), STATUS_SUCCESS);
        for (std::uint32_t rate : {44100u, 48000u}) {
            const ks::WaveFormatExtensible format = UsbPcmFormat(2, 16, rate);
            ASSERT_EQ((*engine)->AddUsbFormat(&format, 2), STATUS_SUCCESS);
        }
    }
    void TearDown() override {
        engine.reset();
        UsbStreamFixture::TearDown();
    }
    CTypedProcessingEngine* Engine() const { return engine->get(); }
    // The formats the engine offers: rate and sub-format tag of each.
    std::vector<std::pair<std::uint32_t, std::uint16_t>> Offered() const {
        std::vector<std::pair<std::uint32_t, std::uint16_t>> offered;
        ks::WaveFormatExtensible format{};
        for (std::uint32_t i = 0; i < Engine()->GetFormatCount(); ++i)
            if (kernel::succeeded(Engine()->GetFormat(i, &format)))
                offered.emplace_back(format.Format.nSamplesPerSec, ks::effectiveFormatTag(format));
        return offered;
    }

    CRegisterRecorder registers;
    std::unique_ptr<Held<CTypedProcessingEngine>> engine;
};

TEST_F(ProcessingRenderTest, EachEndpointTypeOffersItsFormatsOnceHoweverOftenRenamed) {
    using Offer = std::vector<std::pair<std::uint32_t, std::uint16_t>>;
    const Offer base = {{44100, 1}, {48000, 1}};
    const Offer with96k = {{44100, 1}, {48000, 1}, {96000, 1}};
    const Offer spdif = {{44100, 1},    {48000, 1},    {96000, 1},
                         {44100, 0x92}, {48000, 0x92}, {96000, 0x92}};
    const struct {
        std::uint32_t type;
        Offer offered;
        std::uint32_t table;
    } steps[] = {
        {1, base, 2},                     // speakers: no AC-3
        {2, with96k, 3},                  // headphones: 96 kHz
        {2, with96k, 3},                  // renamed again: nothing twice
        {3, spdif, 6},                    // S/PDIF: AC-3 at three rates
        {3, spdif, 6},   {1, with96k, 3}, // back to speakers: the AC-3 entries go
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.type);
        Engine()->SetEndpointType(s.type);
        ASSERT_EQ(Engine()->SetName(u"Speakers"), STATUS_SUCCESS);
        EXPECT_EQ(Offered(), s.offered);
        EXPECT_EQ(Engine()->GetFormatTableCount(), s.table);
    }
}

TEST_F(ProcessingRenderTest, Ac3EntriesMatchOnTheirBasicRecordAndTheirSettings) {
    Engine()->SetEndpointType(3);
    ASSERT_EQ(Engine()->SetName(u"SPDIF"), STATUS_SUCCESS);
    const struct {
        std::uint32_t rate;
        std::uint8_t setting;
    } cases[] = {{44100, 2}, {48000, 2}, {96000, 5}};
    for (const auto& c : cases) {
        std::uint8_t setting = 0;
        const ks::WaveFormatExtensible request = Ac3(c.rate);
        EXPECT_EQ(Engine()->FindFormat(&request.Format, &setting), STATUS_SUCCESS) << c.rate;
        EXPECT_EQ(setting, c.setting) << c.rate;
    }
}

TEST_F(ProcessingRenderTest, EachPreparedFormatSetsTheChipsRateAndBitStreamBits) {
    Engine()->SetEndpointType(3);
    ASSERT_EQ(Engine()->SetName(u"SPDIF"), STATUS_SUCCESS);
    registers.values[0] = 0x8004;
    const struct {
        const char* name;
        ks::WaveFormatExtensible format;
        std::uint16_t register0;
    } steps[] = {
        {"PCM 48 kHz", UsbPcmFormat(2, 16, 48000), 0xA004},
        {"AC-3 48 kHz", Ac3(48000), 0xA006},
        {"PCM 44.1 kHz", UsbPcmFormat(2, 16, 44100), 0x8004},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.name);
        TestClient client(Engine(), WaveClientPriority, s.format);
        std::uint32_t a = 0, b = 0, frame = 0;
        ASSERT_EQ(Engine()->OpenClient(client.Handle(), &a, &b, &frame), STATUS_SUCCESS);
        EXPECT_EQ(registers.values[0], s.register0);
        ASSERT_EQ(Engine()->CloseClient(client.Handle()), STATUS_SUCCESS);
    }
}

} // namespace
} // namespace usbstream_test
