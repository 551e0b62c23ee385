// The ASIO interface on the real device models, from the driver's entry
// point on the simulated system: the user-mode client script streams a ramp
// to the device and reads the microphone back, in lockstep.
#include "driver/adapter/asio_records.h"
#include "driver/adapter/driver_entry.h"
#include "platform/io/registry.h"
#include "platform/ks/state.h"
#include "platform/ks/wave_format.h"
#include "platform/portcls/subdevice_access.h"
#include "sim/os/asio_client.h"
#include "sim/os/simulated_system.h"
#include "sim/os/system_call.h"
#include "sim/os/wave_stream.h"
#include "sim/usb/fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>

namespace {

using kernel::STATUS_SUCCESS;
using namespace std::chrono_literals;

struct Headset {
    const char* name;
    usbsim::FunctionDescription (*make)();
    std::uint8_t outAddress;
    std::uint32_t outputs;
    std::uint32_t inputs;
};

usbsim::FunctionDescription Uac2() { return usbsim::fixtures::uac2AsioDevice(); }
usbsim::FunctionDescription Uac1() { return usbsim::fixtures::asioChipHeadset(); }

const Headset Headsets[] = {
    {"uac2", Uac2, 0x01, 2, 1},
    {"uac1", Uac1, 0x01, 2, 1},
};

std::uint16_t Sample16(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

// Starts the client, lets it stream for the duration and stops it: its first
// ring renders, its second captures, and neither lost a byte.
void StreamAndStop(ossim::AsioClient& client, kernel::Duration duration) {
    ASSERT_EQ(client.start(), STATUS_SUCCESS);
    client.run(duration);
    ASSERT_EQ(client.stop(), STATUS_SUCCESS);
    ASSERT_EQ(client.rings().size(), 2u);
    ASSERT_FALSE(client.rings()[0].isCapture());
    ASSERT_TRUE(client.rings()[1].isCapture());
    EXPECT_EQ(client.rings()[0].lostBytes, 0u);
    EXPECT_EQ(client.rings()[1].lostBytes, 0u);
}

// Each test on a registry of its own: the driver keeps its ASIO settings there.
class AsioStreamingTest : public testing::TestWithParam<Headset> {
    io::Registry m_registry;
};

class AsioOnDevice : public testing::Test {
    io::Registry m_registry;
};

TEST_P(AsioStreamingTest, TheClientScriptStreamsBothDirections) {
    const Headset& headset = GetParam();
    ossim::SimulatedSystem system(headset.make());
    ASSERT_EQ(system.load(DriverEntry), STATUS_SUCCESS);
    ASSERT_EQ(system.plug(), STATUS_SUCCESS);
    {
        ossim::AsioClient client(system);
        ASSERT_EQ(client.open(), STATUS_SUCCESS);
        ASSERT_EQ(client.configure({}), STATUS_SUCCESS);
        EXPECT_EQ(client.outputChannels(), headset.outputs);
        EXPECT_EQ(client.inputChannels(), headset.inputs);
        ASSERT_EQ(client.rings().size(), 2u);
        ASSERT_NO_FATAL_FAILURE(StreamAndStop(client, 300ms));

        const ossim::AsioClientRing& out = client.rings()[0];
        const ossim::AsioClientRing& in = client.rings()[1];
        // The capture ring's transfers wake the client, once each.
        EXPECT_EQ(in.header->last, 1u);
        EXPECT_EQ(out.header->last, 0u);
        // Every completed transfer of the waking ring set the event once,
        // and each woke the client.
        EXPECT_GT(client.wakes(), 250u);
        const std::vector<std::uint32_t>& counted = client.wakeCompletions();
        ASSERT_EQ(counted.size(), client.wakes());
        for (std::size_t wake = 1; wake < counted.size(); ++wake)
            ASSERT_EQ(counted[wake], counted[wake - 1] + 1) << wake;

        // The device heard silence, then the ramp, every frame once, in both
        // channels.
        const usbsim::OutSink sink = system.bus().isochronous().sink(headset.outAddress);
        EXPECT_EQ(sink.gaps(), 0u);
        const usbsim::Bytes& heard = sink.stream();
        std::size_t first = 0;
        while (first + 4 <= heard.size() && Sample16(heard, first) == 0) first += 4;
        ASSERT_LT(first + 4, heard.size()) << "no ramp reached the device";
        const std::size_t frames = (heard.size() - first) / 4;
        EXPECT_GT(frames, 48u * 250);
        for (std::size_t frame = 0; frame < frames; ++frame) {
            const auto expected = static_cast<std::uint16_t>(ossim::AsioClient::rampValue(frame));
            ASSERT_EQ(Sample16(heard, first + 4 * frame), expected) << frame;
            ASSERT_EQ(Sample16(heard, first + 4 * frame + 2), expected) << frame;
        }
        // The microphone's frames, numbered by the device, reached the
        // client in order with none missing.
        const std::vector<std::uint8_t>& captured = in.captured;
        ASSERT_GT(captured.size(), 2u * 48 * 250);
        const std::uint16_t start = Sample16(captured, 0);
        for (std::size_t at = 0; at + 2 <= captured.size(); at += 2)
            ASSERT_EQ(Sample16(captured, at), static_cast<std::uint16_t>(start + at / 2)) << at;

        EXPECT_EQ(client.disposeBuffers(), STATUS_SUCCESS);
        EXPECT_EQ(client.close(), STATUS_SUCCESS);
    }
    EXPECT_EQ(system.remove(), STATUS_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(Headsets, AsioStreamingTest, testing::ValuesIn(Headsets),
                         [](const testing::TestParamInfo<Headset>& info) {
                             return std::string(info.param.name);
                         });

ks::DataFormatWaveFormatExtensible StereoPcm16() {
    ks::DataFormatWaveFormatExtensible format{};
    format.DataFormat = {sizeof(ks::DataFormatWaveFormatExtensible),
                         0,
                         0,
                         0,
                         ks::KSDATAFORMAT_TYPE_AUDIO,
                         ks::KSDATAFORMAT_SUBTYPE_PCM,
                         ks::KSDATAFORMAT_SPECIFIER_WAVEFORMATEX};
    format.WaveFormatExt.Format = {ks::format_tag::extensible, 2, 48000, 48000 * 4, 4, 16, 22};
    format.WaveFormatExt.wValidBitsPerSample = 16;
    format.WaveFormatExt.dwChannelMask = 3;
    format.WaveFormatExt.SubFormat = ks::KSDATAFORMAT_SUBTYPE_PCM;
    return format;
}

// A wave pin that plays while the ASIO client streams goes on counting its
// position, and none of its samples reach the device once the ramp does:
// the ASIO stream owns the endpoint.
TEST_F(AsioOnDevice, AWavePinKeepsItsPositionAndNothingOfItMixesIn) {
    ossim::SimulatedSystem system(usbsim::fixtures::uac2AsioDevice());
    ASSERT_EQ(system.load(DriverEntry), STATUS_SUCCESS);
    ASSERT_EQ(system.plug(), STATUS_SUCCESS);
    portcls::FilterHandle filter;
    ASSERT_EQ(system.host().openFilter(system.device(), u"HPOut00Wave", filter), STATUS_SUCCESS);
    // A value the ramp never takes.
    constexpr std::uint16_t waveValue = 0x8123;
    const auto fill = [](std::uint8_t* frames, std::uint32_t count) {
        for (std::uint32_t i = 0; i < count * 2; ++i) {
            frames[2 * i] = waveValue & 0xFF;
            frames[2 * i + 1] = waveValue >> 8;
        }
    };
    ossim::WaveStream wave;
    const ks::DataFormatWaveFormatExtensible format = StereoPcm16();
    ASSERT_EQ(wave.open(filter, 0, &format.DataFormat, 1200, {fill, {}}), STATUS_SUCCESS);
    for (ks::KsState state : {ks::KsState::Acquire, ks::KsState::Pause, ks::KsState::Run})
        ASSERT_EQ(ossim::callOnSystemThread(system.clock(),
                                            [&wave, state] { return wave.setState(state); }),
                  STATUS_SUCCESS);
    system.step(50ms);
    std::size_t whileAsio = 0; // samples the device had when the client stopped
    {
        ossim::AsioClient client(system);
        ASSERT_EQ(client.open(), STATUS_SUCCESS);
        ASSERT_EQ(client.configure({}), STATUS_SUCCESS);
        ASSERT_EQ(client.start(), STATUS_SUCCESS);
        std::uint32_t before = 0;
        ASSERT_EQ(wave.position(&before), STATUS_SUCCESS);
        client.run(200ms);
        std::uint32_t after = 0;
        ASSERT_EQ(wave.position(&after), STATUS_SUCCESS);
        EXPECT_NE(after, before) << "the wave pin's position stood still";
        whileAsio = system.bus().isochronous().sink(0x01).stream().size() / 2;
        ASSERT_EQ(client.stop(), STATUS_SUCCESS);
        EXPECT_EQ(client.rings()[0].lostBytes, 0u);
    }
    const usbsim::OutSink sink = system.bus().isochronous().sink(0x01);
    const usbsim::Bytes& heard = sink.stream();
    std::vector<std::uint16_t> samples(heard.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = Sample16(heard, 2 * i);
    // The wave pin was heard before the client started, not while the ramp
    // played, and again once the client stopped.
    ASSERT_LE(whileAsio, samples.size());
    const auto stopped = samples.begin() + static_cast<std::ptrdiff_t>(whileAsio);
    const auto ramp = std::find(samples.begin(), stopped, std::uint16_t{1});
    ASSERT_NE(ramp, stopped);
    EXPECT_NE(std::find(samples.begin(), ramp, waveValue), ramp);
    EXPECT_EQ(std::find(ramp, stopped, waveValue), stopped);
    EXPECT_NE(std::find(stopped, samples.end(), waveValue), samples.end());

    std::atomic<bool> closed{false};
    ossim::callOnSystemThread(system.clock(), [&wave, &closed] {
        wave.close();
        closed = true;
        return STATUS_SUCCESS;
    });
    for (int frame = 0; frame < 1000 && !closed; ++frame) system.step(1ms);
    ASSERT_TRUE(closed);
    filter.close();
    EXPECT_EQ(system.remove(), STATUS_SUCCESS);
}

// A product the driver knows to tell is sent vendor request 7 with 1 when
// the streams start and with 0 when they stop; its default sample type (24
// bits in 32) is one the headset lacks, so the first client, asking for 16
// bits, finds them not yet active, closes its file and opens it again, and
// its rings carry 16 bits from then on.
TEST_F(AsioOnDevice, AListedProductIsToldWhenStreamsStartAndStop) {
    ossim::SimulatedSystem system(usbsim::fixtures::asioChipHeadset(0x0B05, 0x17A8));
    ASSERT_EQ(system.load(DriverEntry), STATUS_SUCCESS);
    ASSERT_EQ(system.plug(), STATUS_SUCCESS);
    {
        ossim::AsioClient first(system);
        ASSERT_EQ(first.open(), STATUS_SUCCESS);
        EXPECT_EQ(first.configure({}), STATUS_SUCCESS);
        ASSERT_FALSE(first.rings().empty());
        const ossim::asio::RingHeader& ring = *first.rings()[0].header;
        EXPECT_EQ(ring.ringBytes, ring.channels * 2u * 48 * 40); // 40 ms of 16-bit frames
        EXPECT_EQ(first.close(), STATUS_SUCCESS);
    }
    {
        ossim::AsioClient client(system);
        ASSERT_EQ(client.open(), STATUS_SUCCESS);
        ASSERT_EQ(client.configure({}), STATUS_SUCCESS);
        system.function().clearLog();
        ASSERT_EQ(client.start(), STATUS_SUCCESS);
        client.run(20ms);
        ASSERT_EQ(client.stop(), STATUS_SUCCESS);
        std::vector<std::uint16_t> told;
        for (const usbsim::LoggedRequest& request : system.function().log())
            if (request.setup.bmRequestType == 0x40 && request.setup.bRequest == 7)
                told.push_back(static_cast<std::uint16_t>(request.setup.wValue.value()));
        EXPECT_EQ(told, (std::vector<std::uint16_t>{1, 0}));
        EXPECT_GT(client.wakes(), 10u);
    }
    EXPECT_EQ(system.remove(), STATUS_SUCCESS);
}

} // namespace

namespace {

std::uint64_t Word64(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes.data() + at, 8);
    return word;
}

// A DSD client on the release 2 device, whose DSD settings the driver finds
// by their raw-data format: it negotiates kind and rate (DSD rates at 64
// times the clock's), gets rings of 64-bit words that start as DSD silence,
// and its words reach the headphones and come back from the microphone
// unbroken from the first on: the client writes at the driver's position
// plus lead.
TEST_F(AsioOnDevice, ADsdClientNegotiatesAndStreamsBothWaysOnTheRelease2Device) {
    constexpr std::uint32_t DsdRate = 64 * 44100;
    constexpr std::uint32_t FrameBytes = 2 * ossim::asio::dsdWordBytes;
    ossim::SimulatedSystem system(usbsim::fixtures::uac2AsioDevice());
    ASSERT_EQ(system.load(DriverEntry), STATUS_SUCCESS);
    ASSERT_EQ(system.plug(), STATUS_SUCCESS);
    ossim::AsioClient client(system);
    ASSERT_EQ(client.open(), STATUS_SUCCESS);
    const auto word = [&client](std::uint32_t code, std::uint32_t value) {
        const std::vector<std::uint32_t> input = {value};
        return client.control(code, {reinterpret_cast<const std::uint8_t*>(input.data()), 4}, {});
    };
    const auto read = [&client](std::uint32_t code, std::size_t words) {
        std::vector<std::uint32_t> output(words, 0);
        EXPECT_EQ(
            client.control(code, {}, {reinterpret_cast<std::uint8_t*>(output.data()), words * 4}),
            STATUS_SUCCESS);
        return output;
    };
    EXPECT_EQ(word(asio_control::CanKind, AsioKindDsd), STATUS_SUCCESS);
    ASSERT_EQ(word(asio_control::SetKind, AsioKindDsd), STATUS_SUCCESS);
    EXPECT_EQ(read(asio_control::GetKind, 1), std::vector<std::uint32_t>{AsioKindDsd});
    // Both directions run their clock at a 64th of the DSD rate.
    const struct {
        std::uint32_t rate;
        kernel::NTSTATUS can;
    } rates[] = {{DsdRate, STATUS_SUCCESS},
                 {64 * 48000, STATUS_SUCCESS},
                 {64 * 96000, STATUS_SUCCESS},
                 {2 * DsdRate, STATUS_SUCCESS},              // the 88.2 kHz clock
                 {8 * DsdRate, kernel::STATUS_UNSUCCESSFUL}, // no 352.8 kHz clock
                 {44100, kernel::STATUS_UNSUCCESSFUL}};
    for (const auto& c : rates) {
        SCOPED_TRACE(c.rate);
        EXPECT_EQ(word(asio_control::CanSampleRate, c.rate), c.can);
    }
    EXPECT_EQ(word(asio_control::SetSampleRate, 44100), kernel::STATUS_INVALID_PARAMETER);

    ossim::AsioClientSettings settings;
    settings.kind = ossim::asio::kindDsd;
    settings.sampleRate = DsdRate;
    settings.bufferFrames = 10 * 64 * 44; // 10 ms
    ASSERT_EQ(client.configure(settings), STATUS_SUCCESS);
    // 64 times 44.1 kHz: 44 x 64 samples a millisecond, from 6 to 50 ms.
    EXPECT_EQ(client.bufferSizes()[0], 6u * 64 * 44);
    EXPECT_EQ(client.bufferSizes()[1], 50u * 64 * 44);
    EXPECT_EQ(client.bufferSizes()[3], 64u);
    AsioChannelInfo info{};
    info.channel = 1;
    info.isInput = 0;
    ASSERT_EQ(client.control(asio_control::GetChannelInfo,
                             {reinterpret_cast<const std::uint8_t*>(&info), sizeof info},
                             {reinterpret_cast<std::uint8_t*>(&info), sizeof info}),
              STATUS_SUCCESS);
    EXPECT_EQ(info.sampleType, AsioSampleTypeDsd);
    ASSERT_EQ(client.rings().size(), 2u);
    for (const ossim::AsioClientRing& ring : client.rings()) {
        SCOPED_TRACE(ring.isCapture() ? "capture" : "render");
        // Stereo words for 40 ms.
        EXPECT_EQ(ring.header->channels, 2u);
        EXPECT_EQ(ring.header->ringBytes, 44100u * FrameBytes * 40 / 1000);
        EXPECT_EQ(std::count(ring.data(), ring.data() + ring.header->ringBytes, AsioDsdSilence),
                  std::ptrdiff_t{ring.header->ringBytes});
    }

    ASSERT_NO_FATAL_FAILURE(StreamAndStop(client, 200ms));
    const ossim::AsioClientRing& in = client.rings()[1];
    // One wake a 5 ms transfer of the microphone.
    EXPECT_GT(client.wakes(), 35u);

    // The headphones heard DSD silence, then the client's words, each in
    // both channels, with none lost or repeated.
    const usbsim::OutSink sink = system.bus().isochronous().sink(0x01);
    EXPECT_EQ(sink.gaps(), 0u);
    const usbsim::Bytes& heard = sink.stream();
    std::size_t first = 0;
    while (first + FrameBytes <= heard.size() && Word64(heard, first) != 1) first += FrameBytes;
    ASSERT_LT(first + FrameBytes, heard.size()) << "no word of the client reached the device";
    EXPECT_TRUE(std::all_of(heard.begin(), heard.begin() + static_cast<std::ptrdiff_t>(first),
                            [](std::uint8_t b) { return b == AsioDsdSilence; }));
    const std::size_t frames = (heard.size() - first) / FrameBytes;
    EXPECT_GT(frames, 44u * 150);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const std::uint64_t expected = ossim::AsioClient::rampValue(frame);
        ASSERT_EQ(Word64(heard, first + FrameBytes * frame), expected) << frame;
        ASSERT_EQ(Word64(heard, first + FrameBytes * frame + 8), expected) << frame;
    }
    // The microphone's words, numbered by the device, in order with none
    // missing, in both channels.
    const std::vector<std::uint8_t>& captured = in.captured;
    ASSERT_GT(captured.size(), std::size_t{FrameBytes} * 44 * 150);
    const std::uint64_t start = Word64(captured, 0);
    for (std::size_t at = 0; at + FrameBytes <= captured.size(); at += FrameBytes) {
        ASSERT_EQ(Word64(captured, at), start + at / FrameBytes) << at;
        ASSERT_EQ(Word64(captured, at + 8), start + at / FrameBytes) << at;
    }
    EXPECT_EQ(client.disposeBuffers(), STATUS_SUCCESS);
    EXPECT_EQ(client.close(), STATUS_SUCCESS);
    EXPECT_EQ(system.remove(), STATUS_SUCCESS);
}

} // namespace
