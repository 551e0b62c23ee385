// A wave pin on the toy's wave filter: created through the miniport's
// NewStream with a format one of the pin's ranges names, moved through its
// states one step at a time, serviced in a deferred call for each batch of
// notifications its stream raises, and stepped down and let go when the
// pin closes or the subdevice leaves.
#include "platform/kernel/irql.h"
#include "platform/portcls/subdevice_access.h"
#include "toy_device_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace portcls::testing {
namespace {

using kernel::STATUS_SUCCESS;
using Log = std::vector<std::string>;

class WavePinTest : public ToyDeviceTest {
protected:
    void SetUp() override {
        start();
        ASSERT_EQ(wave.open(functional(), u"Wave"), STATUS_SUCCESS);
        state.log.clear();
    }
    void TearDown() override {
        wave.close();
        if (functional() != nullptr) remove();
    }
    const ks::DataFormat* pcm() { return &format.DataFormat; }

    FilterHandle wave;
    ks::DataFormatWaveFormatEx format = pcmFormat();
};

TEST_F(WavePinTest, APinStepsThroughEveryStateOnItsWayAndBack) {
    PinHandle pin;
    ASSERT_EQ(pin.open(wave, 0, pcm()), STATUS_SUCCESS);
    EXPECT_EQ(pin.setState(ks::KsState::Run), STATUS_SUCCESS);
    EXPECT_EQ(pin.state(), ks::KsState::Run);
    EXPECT_EQ(pin.setState(ks::KsState::Acquire), STATUS_SUCCESS);
    pin.close();
    EXPECT_EQ(state.log,
              (Log{"new render stream", "stream interval 10", "stream ACQUIRE", "stream PAUSE",
                   "stream RUN", "stream PAUSE", "stream ACQUIRE", "stream STOP", "stream gone"}));
}

TEST_F(WavePinTest, AStepTheStreamRefusesStopsThePinWhereItWas) {
    PinHandle pin;
    ASSERT_EQ(pin.open(wave, 0, pcm()), STATUS_SUCCESS);
    state.refuseState = kernel::STATUS_DEVICE_NOT_CONNECTED;
    EXPECT_EQ(pin.setState(ks::KsState::Run), kernel::STATUS_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(pin.state(), ks::KsState::Pause);
}

TEST_F(WavePinTest, NotificationsAreServicedInADeferredCallNeverInTheStreams) {
    PinHandle pin;
    ASSERT_EQ(pin.open(wave, 0, pcm()), STATUS_SUCCESS);
    std::vector<kernel::Irql> levels;
    pin.setServiceRoutine([&] { levels.push_back(kernel::currentIrql()); });
    ASSERT_EQ(pin.setState(ks::KsState::Run), STATUS_SUCCESS);

    state.stream->interrupt(192);
    state.stream->interrupt(192);
    EXPECT_EQ(pin.serviceCount(), 0u);
    clock.settle();
    EXPECT_EQ(pin.serviceCount(), 1u); // both before the call ran: one service
    state.stream->interrupt(1920 - 384 + 8);
    clock.settle();
    EXPECT_EQ(pin.serviceCount(), 2u);
    EXPECT_EQ(levels, std::vector<kernel::Irql>(2, kernel::Irql::Dispatch));

    std::uint32_t position = 0;
    EXPECT_EQ(pin.position(&position), STATUS_SUCCESS);
    EXPECT_EQ(position, 8u); // wrapped at the buffer's end
    void* address = nullptr;
    std::uint32_t size = 0;
    EXPECT_EQ(pin.buffer(&address, &size), STATUS_SUCCESS);
    EXPECT_NE(address, nullptr);
    EXPECT_EQ(size, ToyStream::bufferBytes);
    EXPECT_EQ(pin.notificationInterval(), 10u);
    EXPECT_EQ(pin.framingSize(), 1920u);
}

TEST_F(WavePinTest, PinsThatCannotBeMadeAreRefusedBeforeTheMiniportIsAsked) {
    ks::DataFormatWaveFormatEx floatFormat = pcmFormat();
    floatFormat.DataFormat.SubFormat = ks::KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
    ks::DataFormatWaveFormatEx shortFormat = pcmFormat();
    shortFormat.DataFormat.FormatSize = 40;
    FilterHandle topology;
    ASSERT_EQ(topology.open(functional(), u"Topology"), STATUS_SUCCESS);
    const struct {
        const char* what;
        FilterHandle* filter;
        std::uint32_t pin;
        const ks::DataFormat* format;
        kernel::NTSTATUS status;
    } cases[] = {
        {"a sub-format no range names", &wave, 0, &floatFormat.DataFormat, kernel::STATUS_NO_MATCH},
        {"a format shorter than its head", &wave, 0, &shortFormat.DataFormat,
         kernel::STATUS_INVALID_PARAMETER},
        {"no format", &wave, 0, nullptr, kernel::STATUS_INVALID_PARAMETER},
        {"the bridge pin, which has no instances", &wave, 1, pcm(),
         kernel::STATUS_INSUFFICIENT_RESOURCES},
        {"a pin the filter lacks", &wave, 2, pcm(), kernel::STATUS_INVALID_PARAMETER},
        {"a topology filter, which makes no pins", &topology, 0, pcm(),
         kernel::STATUS_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        PinHandle pin;
        EXPECT_EQ(pin.open(*c.filter, c.pin, c.format), c.status) << c.what;
        EXPECT_FALSE(pin.isOpen()) << c.what;
    }
    EXPECT_TRUE(state.log.empty());
}

TEST_F(WavePinTest, APinTakesNoMoreInstancesThanItAllows) {
    PinHandle first;
    PinHandle second;
    ASSERT_EQ(first.open(wave, 0, pcm()), STATUS_SUCCESS);
    EXPECT_EQ(second.open(wave, 0, pcm()), kernel::STATUS_INSUFFICIENT_RESOURCES);
    first.close();
    EXPECT_EQ(second.open(wave, 0, pcm()), STATUS_SUCCESS);
    EXPECT_EQ(std::count(state.log.begin(), state.log.end(), "new render stream"), 2);
}

TEST_F(WavePinTest, RemovalStepsARunningPinDownAndLetsItsStreamGo) {
    PinHandle pin;
    ASSERT_EQ(pin.open(wave, 0, pcm()), STATUS_SUCCESS);
    ASSERT_EQ(pin.setState(ks::KsState::Run), STATUS_SUCCESS);
    state.log.clear();
    remove();
    EXPECT_EQ(state.log, (Log{"stream PAUSE", "stream ACQUIRE", "stream STOP", "stream gone"}));
    std::uint32_t position = 0;
    EXPECT_EQ(pin.position(&position), kernel::STATUS_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(pin.setState(ks::KsState::Run), kernel::STATUS_DEVICE_NOT_CONNECTED);
    std::uint32_t returned = 0;
    EXPECT_EQ(wave.property(
                  {ks::KSPROPSETID_Audio, ks::KSPROPERTY_AUDIO_VOLUMELEVEL, ks::property_verb::get},
                  nodeNone, nullptr, 0, nullptr, 0, &returned),
              kernel::STATUS_DEVICE_NOT_CONNECTED);
    pin.close();
}

// The system leaves RUN on one thread while the device is removed on
// another: the removal waits for the state change to come back before it
// steps the pin down and lets the stream go, so the stream never goes (nor
// takes a second step) while the change still runs in it.
TEST_F(WavePinTest, RemovalWaitsForAStateChangeInFlightBeforeLettingTheStreamGo) {
    PinHandle pin;
    ASSERT_EQ(pin.open(wave, 0, pcm()), STATUS_SUCCESS);
    ASSERT_EQ(pin.setState(ks::KsState::Run), STATUS_SUCCESS);
    state.log.clear();
    state.pauseTakes = std::chrono::milliseconds(5);
    kernel::NTSTATUS paused = kernel::STATUS_PENDING;
    std::thread changer([&] { paused = pin.setState(ks::KsState::Pause); });
    ASSERT_TRUE(kernel::awaitBlockedThreads(1)); // inside the stream's step into PAUSE
    std::thread remover([this] { remove(); });
    ASSERT_TRUE(kernel::awaitBlockedThreads(2)); // the removal waits for the pin
    EXPECT_TRUE(state.log.empty());
    clock.advance(std::chrono::milliseconds(5));
    changer.join();
    remover.join();
    EXPECT_EQ(paused, STATUS_SUCCESS);
    EXPECT_EQ(state.log, (Log{"stream PAUSE", "stream ACQUIRE", "stream STOP", "stream gone"}));
    std::uint32_t position = 0;
    EXPECT_EQ(pin.position(&position), kernel::STATUS_DEVICE_NOT_CONNECTED);
    pin.close();
}

// The audio engine copies into the pin's buffer at dispatch level while the
// device is removed on another thread: the removal steps the stream down
// but lets it (and its buffer) go only once the copy is done, and a copy
// asked for after that is refused without touching anything.
TEST_F(WavePinTest, RemovalLetsTheBufferGoOnlyOnceACopyIntoItIsDone) {
    PinHandle pin;
    ASSERT_EQ(pin.open(wave, 0, pcm()), STATUS_SUCCESS);
    ASSERT_EQ(pin.setState(ks::KsState::Run), STATUS_SUCCESS);
    void* address = nullptr;
    std::uint32_t size = 0;
    ASSERT_EQ(pin.buffer(&address, &size), STATUS_SUCCESS);
    streamStopped = false;
    streamGone = false;
    std::thread remover;
    bool goneDuringCopy = false;
    EXPECT_EQ(pin.accessBuffer([&](std::uint32_t position) {
        EXPECT_LT(position, size);
        remover = std::thread([this] { remove(); });
        // The removal reaches the stream's last step; the stream stays while
        // the copy goes on, however long it takes.
        while (!streamStopped) {
        }
        for (int i = 0; i < 100000 && !streamGone; ++i) std::memset(address, i & 0xFF, size);
        goneDuringCopy = streamGone;
    }),
              STATUS_SUCCESS);
    remover.join();
    EXPECT_FALSE(goneDuringCopy);
    EXPECT_TRUE(streamGone);
    bool ran = false;
    EXPECT_EQ(pin.accessBuffer([&](std::uint32_t) { ran = true; }),
              kernel::STATUS_DEVICE_NOT_CONNECTED);
    EXPECT_FALSE(ran);
    pin.close();
}

TEST_F(WavePinTest, TheIntersectionAsksTheMiniportForAFormatOfThePin) {
    ks::DataRange client{sizeof(ks::DataRange),
                         0,
                         0,
                         0,
                         ks::KSDATAFORMAT_TYPE_AUDIO,
                         ks::KSDATAFORMAT_SUBTYPE_PCM,
                         ks::KSDATAFORMAT_SPECIFIER_WAVEFORMATEX};
    std::uint32_t length = 0;
    EXPECT_EQ(wave.dataRangeIntersection(0, &client, 0, nullptr, &length),
              kernel::STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(length, ks::dataFormatWaveFormatExSize);
    ks::DataFormatWaveFormatEx result{};
    EXPECT_EQ(wave.dataRangeIntersection(0, &client, sizeof result, &result, &length),
              STATUS_SUCCESS);
    EXPECT_EQ(result.WaveFormatEx.nSamplesPerSec, 48000u);
    client.SubFormat = ks::KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
    EXPECT_EQ(wave.dataRangeIntersection(0, &client, sizeof result, &result, &length),
              kernel::STATUS_NO_MATCH);
    EXPECT_EQ(wave.dataRangeIntersection(2, &client, sizeof result, &result, &length),
              kernel::STATUS_INVALID_PARAMETER);
}

} // namespace
} // namespace portcls::testing
