// The ASIO interface as its user-mode client drives it: the control codes
// and their length conditions, negotiation, the rings and their headers,
// streaming through the engines, parked stops and the refusals of bad
// requests.
#include "asio_test_world.h"

#include "driver/common/settings_store.h"
#include "driver/tests/usbstream/stream_test_client.h"
#include "platform/io/irp.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace asio_test {
namespace {

using kernel::STATUS_BUFFER_OVERFLOW;
using kernel::STATUS_BUFFER_TOO_SMALL;
using kernel::STATUS_CANCELLED;
using kernel::STATUS_INVALID_PARAMETER;
using kernel::STATUS_NOT_SUPPORTED;
using kernel::STATUS_PENDING;

constexpr std::uint32_t RenderRingBytes = 48000 * 4 * 40 / 1000;  // stereo 16-bit, 40 ms
constexpr std::uint32_t CaptureRingBytes = 48000 * 2 * 40 / 1000; // mono 16-bit

class AsioPrivateTest : public AsioWorld {};

// A header word as the client reads it while the driver writes it.
std::uint32_t Shared(std::uint32_t& word) {
    return std::atomic_ref<std::uint32_t>(word).load(std::memory_order_acquire);
}

TEST_F(AsioPrivateTest, EachCodeChecksItsLengthsAndReportsItsByteCount) {
    StartHeadset();
    const std::uint32_t file = OpenFile();
    struct Case {
        const char* name;
        std::uint32_t code;
        std::uint32_t in;
        std::uint32_t out;
        NTSTATUS status;
        std::uint32_t bytes;
    };
    // The input word is 3 (a latency index, a sample type nobody has, ...).
    for (const Case& c : {
             Case{"unknown code", 0x1D6FFC, 4, 4, STATUS_NOT_SUPPORTED, 0},
             Case{"name: sizing", asio_control::GetDeviceName, 0, 0, STATUS_BUFFER_OVERFLOW, 23},
             Case{"name: cut to fit", asio_control::GetDeviceName, 0, 6, kernel::STATUS_SUCCESS, 6},
             Case{"name", asio_control::GetDeviceName, 0, 64, kernel::STATUS_SUCCESS, 23},
             Case{"channels: short", asio_control::GetChannels, 0, 8, STATUS_BUFFER_TOO_SMALL, 0},
             Case{"channels: long", asio_control::GetChannels, 0, 64, kernel::STATUS_SUCCESS, 16},
             Case{"info: short", asio_control::GetChannelInfo, 8, 51, STATUS_BUFFER_TOO_SMALL, 0},
             Case{"info: long", asio_control::GetChannelInfo, 8, 60, kernel::STATUS_SUCCESS, 52},
             Case{"held: none", asio_control::GetBuffersHeld, 0, 0, STATUS_BUFFER_OVERFLOW, 4},
             Case{"held: short", asio_control::GetBuffersHeld, 0, 2, STATUS_BUFFER_TOO_SMALL, 0},
             Case{"held", asio_control::GetBuffersHeld, 0, 8, kernel::STATUS_SUCCESS, 4},
             Case{"types: sizing", asio_control::GetSampleTypes, 0, 0, STATUS_BUFFER_OVERFLOW, 12},
             Case{"types: short", asio_control::GetSampleTypes, 0, 11, STATUS_BUFFER_TOO_SMALL, 0},
             Case{"types", asio_control::GetSampleTypes, 0, 12, kernel::STATUS_SUCCESS, 12},
             Case{"latency list: sizing", asio_control::GetLatencyList, 0, 0,
                  STATUS_BUFFER_OVERFLOW, 40},
             Case{"latency list: short", asio_control::GetLatencyList, 0, 39,
                  STATUS_BUFFER_TOO_SMALL, 0},
             Case{"latency list", asio_control::GetLatencyList, 0, 80, kernel::STATUS_SUCCESS, 40},
             Case{"set type: no input", asio_control::SetSampleType, 0, 0, kernel::STATUS_SUCCESS,
                  0},
             Case{"set type: unknown", asio_control::SetSampleType, 4, 0, STATUS_INVALID_PARAMETER,
                  0},
             Case{"set latency: short", asio_control::SetLatency, 2, 0, kernel::STATUS_SUCCESS, 0},
             Case{"set latency", asio_control::SetLatency, 8, 0, kernel::STATUS_SUCCESS, 0},
             Case{"latencies: short", asio_control::GetLatencies, 0, 7, kernel::STATUS_SUCCESS, 0},
             Case{"latencies", asio_control::GetLatencies, 0, 12, kernel::STATUS_SUCCESS, 12},
             Case{"rate: short", asio_control::GetSampleRate, 0, 3, kernel::STATUS_SUCCESS, 0},
             Case{"rate", asio_control::GetSampleRate, 0, 4, kernel::STATUS_SUCCESS, 4},
             Case{"can rate 3", asio_control::CanSampleRate, 4, 0, kernel::STATUS_UNSUCCESSFUL, 0},
             Case{"set rate 3", asio_control::SetSampleRate, 4, 0, kernel::STATUS_UNSUCCESSFUL, 0},
             Case{"sizes: short", asio_control::GetBufferSize, 0, 15, kernel::STATUS_SUCCESS, 0},
             Case{"sizes", asio_control::GetBufferSize, 0, 16, kernel::STATUS_SUCCESS, 16},
             Case{"create: no input", asio_control::CreateBuffers, 0, 8, kernel::STATUS_SUCCESS, 0},
             Case{"create: short", asio_control::CreateBuffers, 4, 8, STATUS_INVALID_PARAMETER, 0},
             Case{"dispose: no master", asio_control::DisposeBuffers, 0, 0,
                  STATUS_INVALID_PARAMETER, 0},
             Case{"start: long", asio_control::Start, 8, 0, kernel::STATUS_SUCCESS, 0},
             Case{"start: no master", asio_control::Start, 4, 0, STATUS_INVALID_PARAMETER, 0},
             Case{"stop: with input", asio_control::Stop, 4, 0, kernel::STATUS_SUCCESS, 0},
             Case{"stop: no master", asio_control::Stop, 0, 0, STATUS_INVALID_PARAMETER, 0},
             Case{"release: none", asio_control::ReleaseConfigEvent, 0, 0, STATUS_INVALID_PARAMETER,
                  0},
             Case{"set event: long", asio_control::SetConfigEvent, 8, 0, kernel::STATUS_SUCCESS, 0},
             Case{"can kind 3", asio_control::CanKind, 4, 0, kernel::STATUS_UNSUCCESSFUL, 0},
             Case{"can kind: short", asio_control::CanKind, 3, 0, kernel::STATUS_SUCCESS, 0},
             Case{"set kind: DSD", asio_control::SetKind, 4, 0, kernel::STATUS_UNSUCCESSFUL, 0},
             Case{"kind: short", asio_control::GetKind, 0, 3, kernel::STATUS_SUCCESS, 0},
             Case{"kind: long", asio_control::GetKind, 0, 8, kernel::STATUS_SUCCESS, 4},
         }) {
        SCOPED_TRACE(c.name);
        std::uint32_t input[4] = {3, 0, 0, 0};
        if (c.code == asio_control::SetKind) input[0] = AsioKindDsd;
        std::vector<std::uint8_t> output(c.out + 1, 0xEE);
        const Answer answer = Control(file, c.code, c.in != 0 ? input : nullptr, c.in,
                                      c.out != 0 ? output.data() : nullptr, c.out);
        EXPECT_EQ(answer.status, c.status);
        EXPECT_EQ(answer.bytes, c.bytes);
        EXPECT_EQ(output[c.out], 0xEE); // nothing past the output
    }
    CloseFile(file);
}

TEST_F(AsioPrivateTest, AFileWithoutAClientIsRefused) {
    StartHeadset();
    const std::uint32_t file = OpenFile();
    io::FileObject* stranger = nullptr;
    ASSERT_EQ(io::createFileObject(function->device, kernel::makeUnicodeString(u"\\x"), &stranger),
              kernel::STATUS_SUCCESS);
    std::uint32_t bytes = 0;
    std::uint32_t word = 0;
    EXPECT_EQ(
        asio->DeviceControl(stranger, nullptr, asio_control::GetSampleRate, &word, 0, 4, &bytes),
        STATUS_INVALID_PARAMETER);
    EXPECT_EQ(asio->Close(stranger), kernel::STATUS_UNSUCCESSFUL);
    kernel::dereferenceObject(*stranger);
    CloseFile(file);
}

TEST_F(AsioPrivateTest, NegotiationReportsTheEndpointsAndRefusesWhatTheyCannotRun) {
    StartHeadset();
    const std::uint32_t file = OpenFile();
    AsioChannels channels = {};
    ASSERT_EQ(Control(file, asio_control::GetChannels, nullptr, 0, &channels, 16).status,
              kernel::STATUS_SUCCESS);
    EXPECT_EQ(channels.endpoints, 2u);
    EXPECT_EQ(channels.outputs, 2u);
    EXPECT_EQ(channels.inputs, 1u);

    AsioChannelInfo info = {1, 0, 0, 0, 0, {}};
    ASSERT_EQ(Control(file, asio_control::GetChannelInfo, &info, 8, &info, 52).status,
              kernel::STATUS_SUCCESS);
    EXPECT_STREQ(info.name, "Speakers_01 ch");
    EXPECT_EQ(info.sampleType, asio_sample_type::Int16);
    EXPECT_EQ(info.isActive, 0u);

    std::uint32_t types[3] = {};
    ASSERT_EQ(Control(file, asio_control::GetSampleTypes, nullptr, 0, types, 12).status,
              kernel::STATUS_SUCCESS);
    EXPECT_EQ(std::vector<std::uint32_t>(types, types + 3),
              (std::vector<std::uint32_t>{16, 1, 16}));

    struct Case {
        const char* name;
        std::uint32_t code;
        std::uint32_t value;
        NTSTATUS status;
    };
    for (const Case& c : {
             Case{"a latency past the table", asio_control::SetLatency, 8,
                  STATUS_INVALID_PARAMETER},
             Case{"an unknown sample type", asio_control::SetSampleType, 19,
                  STATUS_INVALID_PARAMETER},
             Case{"a DSD rate for PCM", asio_control::SetSampleRate, 2822400,
                  STATUS_INVALID_PARAMETER},
             Case{"a rate no endpoint has", asio_control::SetSampleRate, 44100,
                  kernel::STATUS_UNSUCCESSFUL},
             Case{"the endpoints' rate", asio_control::CanSampleRate, 48000,
                  kernel::STATUS_SUCCESS},
             Case{"a known sample type", asio_control::SetSampleType, 27, kernel::STATUS_SUCCESS},
         }) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Word(file, c.code, c.value).status, c.status);
    }
    EXPECT_EQ(host.settings.latencyIndex, AsioDefaultLatencyIndex);
    // The requested type waits for the buffers to be given up.
    EXPECT_EQ(host.settings.requestedSampleType, asio_sample_type::Int24In32);
    EXPECT_EQ(host.settings.activeSampleType, asio_sample_type::Int16);
    CloseFile(file);
    EXPECT_EQ(host.settings.activeSampleType, asio_sample_type::Int24In32);
}

TEST_F(AsioPrivateTest, SettersAndTheLastCloseStoreTheSettings) {
    StartHeadset();
    const std::uint32_t file = OpenFile();
    auto stored = [this](const char16_t* name) {
        std::uint32_t value = 0;
        const NTSTATUS status =
            AccessSetting(function->device, SETTING_READ, &value, sizeof value, name);
        return kernel::succeeded(status) ? value : 0xFFFFFFFFu;
    };
    ASSERT_EQ(Word(file, asio_control::SetLatency, 2).status, kernel::STATUS_SUCCESS);
    ASSERT_EQ(Word(file, asio_control::SetSampleRate, 48000).status, kernel::STATUS_SUCCESS);
    ASSERT_EQ(Word(file, asio_control::SetSampleType, 24).status, kernel::STATUS_SUCCESS);
    EXPECT_EQ(stored(AsioLatencySetting), 2u);
    EXPECT_EQ(stored(AsioSampleRateSetting), 48000u);
    EXPECT_EQ(stored(AsioSampleTypeSetting), 0xFFFFFFFFu); // not before the buffers are given up
    CloseFile(file);
    EXPECT_EQ(stored(AsioSampleTypeSetting), 24u);
}

TEST_F(AsioPrivateTest, ConfigurationEventsAreSetOnChangesAndReleasedOnce) {
    StartHeadset();
    const std::uint32_t file = OpenFile();
    std::uint32_t event = 0;
    ASSERT_EQ(process->createEvent(kernel::EventType::Notification, false, &event),
              kernel::STATUS_SUCCESS);
    ASSERT_EQ(Word(file, asio_control::SetConfigEvent, event).status, kernel::STATUS_SUCCESS);
    EXPECT_EQ(Word(file, asio_control::SetConfigEvent, event).status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(process->waitForEvent(event, std::chrono::milliseconds(0)), kernel::STATUS_TIMEOUT);
    ASSERT_EQ(Word(file, asio_control::SetLatency, 2).status, kernel::STATUS_SUCCESS);
    EXPECT_EQ(process->waitForEvent(event, std::chrono::milliseconds(0)), kernel::STATUS_SUCCESS);
    EXPECT_EQ(Control(file, asio_control::ReleaseConfigEvent, nullptr, 0, nullptr, 0).status,
              kernel::STATUS_SUCCESS);
    EXPECT_EQ(Control(file, asio_control::ReleaseConfigEvent, nullptr, 0, nullptr, 0).status,
              STATUS_INVALID_PARAMETER);
    EXPECT_EQ(process->closeHandle(event), kernel::STATUS_SUCCESS);
    CloseFile(file);
}

TEST_F(AsioPrivateTest, CreateBuffersMapsOneRingPerEndpointWithItsHeader) {
    StartHeadset();
    const std::uint32_t file = OpenFile();
    std::vector<std::uint32_t> rings;
    ASSERT_EQ(CreateBuffers(file, {{0, 0}, {0, 1}, {1, 0}}, 256, &rings).status,
              kernel::STATUS_SUCCESS);
    ASSERT_EQ(rings.size(), 2u);
    const AsioRingHeader& out = *Ring(rings[0]);
    const AsioRingHeader& in = *Ring(rings[1]);
    EXPECT_EQ((std::vector<std::uint32_t>{out.active, out.direction, out.channels, out.firstChannel,
                                          out.ringBytes, out.last}),
              (std::vector<std::uint32_t>{1, 0, 2, 0, RenderRingBytes, 0}));
    EXPECT_EQ((std::vector<std::uint32_t>{in.active, in.direction, in.channels, in.firstChannel,
                                          in.ringBytes, in.last}),
              (std::vector<std::uint32_t>{1, 1, 1, 0, CaptureRingBytes, 1}));
    // The ring's pages hold nothing but zeroes past the ring.
    const auto* block = reinterpret_cast<const std::uint8_t*>(Ring(rings[0]));
    const std::size_t page = 4096;
    const std::size_t end = (sizeof(AsioRingHeader) + RenderRingBytes + page - 1) / page * page;
    EXPECT_TRUE(std::all_of(block + sizeof(AsioRingHeader), block + end,
                            [](std::uint8_t b) { return b == 0; }));
    std::uint32_t held = 0;
    EXPECT_EQ(Control(file, asio_control::GetBuffersHeld, nullptr, 0, &held, 4).status,
              kernel::STATUS_SUCCESS);
    EXPECT_EQ(held, 1u);
    EXPECT_EQ(io::userMappings(), 2u);
    CloseFile(file);
    EXPECT_EQ(io::userMappings(), 0u);
}

TEST_F(AsioPrivateTest, OnlyInputsMakeTheCaptureRingTheLastOne) {
    StartHeadset();
    const std::uint32_t file = OpenFile();
    std::vector<std::uint32_t> rings;
    ASSERT_EQ(CreateBuffers(file, {{1, 0}}, 64, &rings).status, kernel::STATUS_SUCCESS);
    EXPECT_EQ(Ring(rings[0])->active, 0u);
    EXPECT_EQ(Ring(rings[1])->last, 1u);
    CloseFile(file);
}

TEST_F(AsioPrivateTest, BadCreateBuffersRequestsLeaveNoRingMappingOrMaster) {
    StartHeadset();
    const std::uint32_t file = OpenFile();
    const std::uint32_t second = OpenFile();
    struct Case {
        const char* name;
        std::uint32_t entries; // claimed
        std::uint32_t sent;    // entries actually in the request
        bool failMapping;
        NTSTATUS status;
    };
    for (const Case& c : {
             Case{"more entries claimed than sent", 1000, 1, false, STATUS_INVALID_PARAMETER},
             Case{"an entry count that wraps", 0x20000000, 1, false, STATUS_INVALID_PARAMETER},
             Case{"a mapping refused", 1, 1, true, kernel::STATUS_INSUFFICIENT_RESOURCES},
         }) {
        SCOPED_TRACE(c.name);
        io::failUserMappings(c.failMapping);
        std::vector<std::uint32_t> request = {0, c.entries, 256};
        for (std::uint32_t i = 0; i < c.sent; ++i) request.insert(request.end(), {0, i});
        std::uint32_t out[2] = {};
        EXPECT_EQ(Control(file, asio_control::CreateBuffers, request.data(),
                          static_cast<std::uint32_t>(request.size() * 4), out, 8)
                      .status,
                  c.status);
        io::failUserMappings(false);
        EXPECT_EQ(io::userMappings(), 0u);
        std::uint32_t held = 7;
        Control(file, asio_control::GetBuffersHeld, nullptr, 0, &held, 4);
        EXPECT_EQ(held, 0u);
    }
    // The master may not create twice, nor another client while it holds them.
    ASSERT_EQ(CreateBuffers(file, {{0, 0}}, 256).status, kernel::STATUS_SUCCESS);
    EXPECT_EQ(CreateBuffers(file, {{0, 0}}, 256).status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(CreateBuffers(second, {{0, 0}}, 256).status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(io::userMappings(), 2u);
    CloseFile(second);
    CloseFile(file);
}

TEST_F(AsioPrivateTest, AFormatTheEndpointLacksIsNoMatch) {
    StartHeadset();
    const std::uint32_t file = OpenFile();
    host.settings.activeSampleType = asio_sample_type::Int24In32;
    EXPECT_EQ(CreateBuffers(file, {{0, 0}}, 256).status, kernel::STATUS_NO_MATCH);
    EXPECT_EQ(io::userMappings(), 0u);
    CloseFile(file);
}

// The client script: a ramp written ahead of the driver's position, the
// capture ring filled behind it, woken by the event of the last ring.
TEST_F(AsioPrivateTest, TheRampReachesTheDeviceAndCaptureFillsItsRing) {
    StartHeadset();
    const std::uint32_t file = OpenFile();
    std::vector<std::uint32_t> rings;
    ASSERT_EQ(CreateBuffers(file, {{0, 0}, {0, 1}, {1, 0}}, 256, &rings).status,
              kernel::STATUS_SUCCESS);
    AsioRingHeader* out = Ring(rings[0]);
    AsioRingHeader* in = Ring(rings[1]);
    std::uint32_t event = 0;
    ASSERT_EQ(process->createEvent(kernel::EventType::Synchronization, false, &event),
              kernel::STATUS_SUCCESS);
    ASSERT_EQ(Word(file, asio_control::Start, event).status, kernel::STATUS_SUCCESS);
    EXPECT_EQ(out->leadBytes, 4u * 1 * 48 * 4);
    // The ramp begins one lead past the start position and fills the ring's rest.
    auto* samples = reinterpret_cast<std::uint16_t*>(out + 1);
    const std::uint32_t from = (out->startPosition + out->leadBytes) / 2;
    for (std::uint32_t i = from; i < RenderRingBytes / 2; ++i)
        samples[i] = static_cast<std::uint16_t>(i - from + 1);
    usbsim::advanceFrames(stack->clock, 30);
    EXPECT_EQ(process->waitForEvent(event, std::chrono::milliseconds(0)), kernel::STATUS_SUCCESS);
    EXPECT_GT(Shared(in->completions), 0u);
    EXPECT_GT(Shared(in->position), 0u);
    EXPECT_GT(Shared(out->position), 0u);
    ASSERT_EQ(Control(file, asio_control::Stop, nullptr, 0, nullptr, 0).status,
              kernel::STATUS_SUCCESS);
    const auto sink = stack->bus.isochronous().sink(0x01);
    const usbsim::Bytes& sent = sink.stream();
    std::vector<std::uint16_t> heard(sent.size() / 2);
    std::memcpy(heard.data(), sent.data(), heard.size() * 2);
    const auto first = std::find(heard.begin(), heard.end(), std::uint16_t{1});
    ASSERT_NE(first, heard.end());
    const std::size_t played = std::min<std::size_t>(heard.end() - first, 96 * 10);
    for (std::size_t i = 0; i < played; ++i)
        ASSERT_EQ((*(first + static_cast<std::ptrdiff_t>(i))), i + 1) << i;
    EXPECT_GE(played, 96u * 10);
    EXPECT_EQ(Control(file, asio_control::DisposeBuffers, nullptr, 0, nullptr, 0).status,
              kernel::STATUS_SUCCESS);
    EXPECT_EQ(process->closeHandle(event), kernel::STATUS_SUCCESS);
    CloseFile(file);
}

// The table is reset once the streams have started: the transfers the start
// put in flight have moved neither the position nor the counter, so a
// client finds the render position at the start position and writes from
// there plus the lead. A restart after a power-down resets it the same way.
TEST_F(AsioPrivateTest, StartResetsTheTableAfterTheStreamsStarted) {
    struct Case {
        std::uint32_t bufferFrames;
        std::uint32_t startPosition;
        std::uint32_t leadBytes;
    };
    constexpr std::uint32_t Millisecond = 48 * 4; // stereo 16-bit at 48 kHz
    const Case cases[] = {
        {256, 0, 4 * Millisecond},                            // 4 transfers of 1 ms in flight
        {64, RenderRingBytes - Millisecond, 2 * Millisecond}, // 1 ms, raised to 2
    };
    StartHeadset();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bufferFrames);
        const std::uint32_t file = OpenFile();
        std::vector<std::uint32_t> rings;
        ASSERT_EQ(CreateBuffers(file, {{0, 0}, {1, 0}}, c.bufferFrames, &rings).status,
                  kernel::STATUS_SUCCESS);
        AsioRingHeader* out = Ring(rings[0]);
        AsioRingHeader* in = Ring(rings[1]);
        std::uint32_t event = 0;
        ASSERT_EQ(process->createEvent(kernel::EventType::Synchronization, false, &event),
                  kernel::STATUS_SUCCESS);
        const auto expectReset = [&] {
            EXPECT_EQ(Shared(out->startPosition), c.startPosition);
            EXPECT_EQ(Shared(out->position), c.startPosition);
            EXPECT_EQ(Shared(out->leadBytes), c.leadBytes);
            EXPECT_EQ(Shared(out->completions), 0u);
            EXPECT_EQ(Shared(in->position), 0u);
            EXPECT_EQ(Shared(in->completions), 0u);
        };
        ASSERT_EQ(Word(file, asio_control::Start, event).status, kernel::STATUS_SUCCESS);
        expectReset();
        // The event came with the reset: the transfers done since wake the client.
        EXPECT_EQ(process->waitForEvent(event, std::chrono::milliseconds(0)),
                  kernel::STATUS_TIMEOUT);
        usbsim::advanceFrames(stack->clock, 10);
        EXPECT_EQ(process->waitForEvent(event, std::chrono::milliseconds(0)),
                  kernel::STATUS_SUCCESS);
        EXPECT_NE(Shared(out->position), c.startPosition);
        Drive(stack->clock, [&] {
            CMutexLockScope lock(asio->GetAsioLock());
            asio->StopStreams();
            asio->RestartStreams();
        });
        {
            SCOPED_TRACE("restarted");
            expectReset();
        }
        ASSERT_EQ(Control(file, asio_control::Stop, nullptr, 0, nullptr, 0).status,
                  kernel::STATUS_SUCCESS);
        EXPECT_EQ(process->closeHandle(event), kernel::STATUS_SUCCESS);
        CloseFile(file);
    }
}

TEST_F(AsioPrivateTest, AListedProductIsToldWhenStreamsStartAndStop) {
    StartHeadset();
    for (const AsioDeviceIds ids :
         {AsioDeviceIds{0x0B05, 0x17A8, 0}, AsioDeviceIds{0x0B05, 0x17A9, 0}}) {
        SCOPED_TRACE(ids.productId);
        host.ids = ids;
        const std::uint32_t file = OpenFile();
        ASSERT_EQ(CreateBuffers(file, {{0, 0}}, 256).status, kernel::STATUS_SUCCESS);
        std::uint32_t event = 0;
        ASSERT_EQ(process->createEvent(kernel::EventType::Synchronization, false, &event),
                  kernel::STATUS_SUCCESS);
        stack->function.clearLog();
        ASSERT_EQ(Word(file, asio_control::Start, event).status, kernel::STATUS_SUCCESS);
        ASSERT_EQ(Control(file, asio_control::Stop, nullptr, 0, nullptr, 0).status,
                  kernel::STATUS_SUCCESS);
        std::vector<std::uint16_t> values;
        for (const usbsim::LoggedRequest& request : stack->function.log())
            if (request.setup.bmRequestType == 0x40 && request.setup.bRequest == 7)
                values.push_back(static_cast<std::uint16_t>(request.setup.wValue.value()));
        const bool listed = ids.productId == 0x17A8;
        const std::vector<std::uint16_t> expected =
            listed ? std::vector<std::uint16_t>{1, 0} : std::vector<std::uint16_t>{};
        EXPECT_EQ(values, expected);
        EXPECT_EQ(process->closeHandle(event), kernel::STATUS_SUCCESS);
        CloseFile(file);
    }
}

TEST_F(AsioPrivateTest, DisposingOrClosingWhileRunningStopsTheStreamsFirst) {
    StartHeadset();
    for (bool close : {false, true}) {
        SCOPED_TRACE(close ? "close" : "dispose");
        const std::uint32_t file = OpenFile();
        ASSERT_EQ(CreateBuffers(file, {{0, 0}, {1, 0}}, 256).status, kernel::STATUS_SUCCESS);
        std::uint32_t event = 0;
        ASSERT_EQ(process->createEvent(kernel::EventType::Synchronization, false, &event),
                  kernel::STATUS_SUCCESS);
        ASSERT_EQ(Word(file, asio_control::Start, event).status, kernel::STATUS_SUCCESS);
        usbsim::advanceFrames(stack->clock, 10);
        if (close) {
            CloseFile(file);
        } else {
            EXPECT_EQ(Control(file, asio_control::DisposeBuffers, nullptr, 0, nullptr, 0).status,
                      kernel::STATUS_SUCCESS);
        }
        EXPECT_FALSE(asio->StreamsRunning());
        EXPECT_EQ(io::userMappings(), 0u);
        if (!close) CloseFile(file);
        usbsim::advanceFrames(stack->clock, 10);
        EXPECT_EQ(process->closeHandle(event), kernel::STATUS_SUCCESS);
    }
}

TEST_F(AsioPrivateTest, AStopWhileDownWaitsAndIsCancelledByClose) {
    StartHeadset();
    const std::uint32_t file = OpenFile();
    ASSERT_EQ(CreateBuffers(file, {{0, 0}}, 256).status, kernel::STATUS_SUCCESS);
    std::uint32_t event = 0;
    ASSERT_EQ(process->createEvent(kernel::EventType::Synchronization, false, &event),
              kernel::STATUS_SUCCESS);
    ASSERT_EQ(Word(file, asio_control::Start, event).status, kernel::STATUS_SUCCESS);
    Drive(stack->clock, [&] {
        CMutexLockScope lock(asio->GetAsioLock());
        asio->StopStreams();
    });
    host.working = false;
    io::IoStatusBlock stop = {};
    EXPECT_EQ(process->deviceIoControl(file, asio_control::Stop, nullptr, 0, nullptr, 0, &stop),
              STATUS_PENDING);
    io::IoStatusBlock again = {};
    EXPECT_EQ(process->deviceIoControl(file, asio_control::Stop, nullptr, 0, nullptr, 0, &again),
              STATUS_INVALID_PARAMETER);
    CloseFile(file);
    stack->clock.settle();
    EXPECT_EQ(stop.status, STATUS_CANCELLED);
    EXPECT_EQ(process->closeHandle(event), kernel::STATUS_SUCCESS);
}

TEST_F(AsioPrivateTest, PowerStopsAndRestartsTheStreamsAndCarriesOutAParkedStop) {
    StartHeadset();
    const std::uint32_t file = OpenFile();
    std::vector<std::uint32_t> rings;
    ASSERT_EQ(CreateBuffers(file, {{0, 0}, {1, 0}}, 256, &rings).status, kernel::STATUS_SUCCESS);
    std::uint32_t event = 0;
    ASSERT_EQ(process->createEvent(kernel::EventType::Synchronization, false, &event),
              kernel::STATUS_SUCCESS);
    ASSERT_EQ(Word(file, asio_control::Start, event).status, kernel::STATUS_SUCCESS);
    Drive(stack->clock, [&] {
        CMutexLockScope lock(asio->GetAsioLock());
        asio->StopStreams();
    });
    EXPECT_FALSE(asio->StreamsRunning());
    host.working = false;
    io::IoStatusBlock stop = {};
    EXPECT_EQ(process->deviceIoControl(file, asio_control::Stop, nullptr, 0, nullptr, 0, &stop),
              STATUS_PENDING);
    host.working = true;
    Drive(stack->clock, [&] {
        CMutexLockScope lock(asio->GetAsioLock());
        asio->RestartStreams();
    });
    EXPECT_TRUE(asio->StreamsRunning());
    const std::uint32_t before = Shared(Ring(rings[1])->completions);
    usbsim::advanceFrames(stack->clock, 20);
    EXPECT_GT(Shared(Ring(rings[1])->completions), before);
    // The D0 change carries out the parked stop as the adapter does.
    Drive(stack->clock, [&] {
        io::Irp* parked = host.TakeParkedStop(nullptr);
        ASSERT_NE(parked, nullptr);
        io::setCancelRoutine(parked, nullptr);
        parked->ioStatus = {asio->CarryOutStop(io::currentStackLocation(parked)->fileObject), 0};
        io::completeRequest(parked);
    });
    stack->clock.settle();
    EXPECT_EQ(stop.status, kernel::STATUS_SUCCESS);
    EXPECT_FALSE(asio->StreamsRunning());
    EXPECT_EQ(process->closeHandle(event), kernel::STATUS_SUCCESS);
    CloseFile(file);
}

TEST_F(AsioPrivateTest, ManyCyclesLeaveNothingBehind) {
    StartHeadset();
    // The engines keep their transfer records from their first start on.
    std::size_t blocks = 0;
    for (int cycle = 0; cycle < 200; ++cycle) {
        if (cycle == 1) blocks = kernel::poolLiveBlocks();
        const std::uint32_t file = OpenFile();
        ASSERT_EQ(CreateBuffers(file, {{0, 0}, {1, 0}}, cycle % 2 == 0 ? 64 : 256).status,
                  kernel::STATUS_SUCCESS);
        std::uint32_t event = 0;
        ASSERT_EQ(process->createEvent(kernel::EventType::Synchronization, false, &event),
                  kernel::STATUS_SUCCESS);
        ASSERT_EQ(Word(file, asio_control::Start, event).status, kernel::STATUS_SUCCESS);
        usbsim::advanceFrames(stack->clock, 3);
        ASSERT_EQ(Control(file, asio_control::Stop, nullptr, 0, nullptr, 0).status,
                  kernel::STATUS_SUCCESS);
        ASSERT_EQ(process->closeHandle(event), kernel::STATUS_SUCCESS);
        CloseFile(file);
    }
    stack->clock.settle();
    EXPECT_EQ(kernel::poolLiveBlocks(), blocks);
    EXPECT_EQ(io::userMappings(), 0u);
    EXPECT_EQ(asio->ClientCount(), 0u);
}

} // namespace
} // namespace asio_test
