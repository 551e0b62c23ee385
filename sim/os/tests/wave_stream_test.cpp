// The audio engine's stream on the toy's wave pin, on a simulated device
// whose side of the stream takes a millisecond of the buffer each frame
// while the pin runs: states one step at a time, notifications served in
// deferred calls, the position read, and the buffer kept ahead of it.
#include "platform/kernel/irql.h"
#include "sim/os/tests/toy_audio_system.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace kernel;
using namespace std::chrono_literals;
using ks::KsState;
using Log = std::vector<std::string>;

constexpr std::uint32_t bufferFrames = portcls::testing::ToyStream::bufferBytes / 4;
constexpr std::uint32_t marginFrames = 240; // half the buffer

class WaveStreamTest : public ossim::testing::ToyAudioSystemTest {
protected:
    void SetUp() override {
        install();
        ASSERT_EQ(host().openFilter(device(), u"Wave", wave), STATUS_SUCCESS);
        playback().watch(&stream);
    }
    void TearDown() override {
        stream.close();
        wave.close();
        if (host().stacks() != 0) {
            EXPECT_EQ(system().remove(), STATUS_SUCCESS);
        }
    }

    // Each frame of the signal carries its number, counted from its start.
    ossim::BufferPump::Signal countingSignal() {
        return {[this](std::uint8_t* frames, std::uint32_t count) {
                    levels.push_back(currentIrql());
                    for (std::uint32_t i = 0; i < count; ++i, ++written)
                        std::memcpy(frames + 4 * i, &written, 4);
                },
                {}};
    }
    NTSTATUS open(std::uint32_t margin = marginFrames) {
        return stream.open(wave, 0, &format.DataFormat, margin, countingSignal());
    }
    void runUp() {
        for (KsState step : {KsState::Acquire, KsState::Pause, KsState::Run})
            ASSERT_EQ(stream.setState(step), STATUS_SUCCESS);
    }
    std::uint32_t position() {
        std::uint32_t at = 0;
        EXPECT_EQ(stream.position(&at), STATUS_SUCCESS);
        return at;
    }
    // The signal's frame number at a byte offset of the pin's buffer.
    std::uint32_t frameAt(std::uint32_t offset) {
        portcls::testing::ToyStream* toy = portcls::testing::world->stream;
        std::uint32_t number = 0;
        EXPECT_NE(toy, nullptr);
        if (toy != nullptr)
            std::memcpy(
                &number,
                static_cast<std::uint8_t*>(toy->SystemAddress()) + offset % toy->BufferSize(), 4);
        return number;
    }

    portcls::FilterHandle wave;
    ossim::WaveStream stream;
    ks::DataFormatWaveFormatEx format = portcls::testing::pcmFormat();
    std::uint32_t written = 0;
    std::vector<Irql> levels;
};

TEST_F(WaveStreamTest, StepsOneStateAtATimeUpToRunAndBack) {
    ASSERT_EQ(open(), STATUS_SUCCESS);
    EXPECT_EQ(stream.direction(), ossim::PumpDirection::render);
    EXPECT_EQ(stream.setState(KsState::Run), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(stream.setState(KsState::Pause), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(stream.setState(KsState::Stop), STATUS_SUCCESS); // where it is
    runUp();
    for (KsState step : {KsState::Pause, KsState::Acquire, KsState::Stop})
        EXPECT_EQ(stream.setState(step), STATUS_SUCCESS);
    EXPECT_EQ(state.log,
              (Log{"new render stream", "stream interval 10", "stream ACQUIRE", "stream PAUSE",
                   "stream RUN", "stream PAUSE", "stream ACQUIRE", "stream STOP"}));
}

TEST_F(WaveStreamTest, RunningKeepsTheBufferAheadOfThePositionWithoutUnderruns) {
    ASSERT_EQ(open(), STATUS_SUCCESS);
    runUp();
    // Nothing is written in the caller's context: the first pass waits for
    // the clock.
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(stream.counters().notifications, 0u);
    for (int ms = 1; ms <= 100; ++ms) {
        system().step(1ms);
        const std::uint32_t at = position();
        ASSERT_EQ(at, (ms * ossim::testing::toyBytesPerFrame) % (bufferFrames * 4)) << ms;
        // The frame the device takes next is the signal's frame of that time.
        ASSERT_EQ(frameAt(at), static_cast<std::uint32_t>(ms * 48)) << ms;
    }
    const ossim::PumpCounters counters = stream.counters();
    EXPECT_EQ(counters.underruns, 0u);
    EXPECT_EQ(counters.badPositions, 0u);
    EXPECT_EQ(counters.framesCopied, written);
    EXPECT_EQ(written, 100u * 48 + marginFrames); // the margin ahead of the last position
    // One service per interrupt, in a deferred call each.
    EXPECT_EQ(stream.serviceCount(), 100u);
    EXPECT_GE(counters.notifications, 100u);
    for (Irql level : levels) EXPECT_EQ(level, Irql::Dispatch);
}

TEST_F(WaveStreamTest, PausingHoldsThePositionAndThePump) {
    ASSERT_EQ(open(), STATUS_SUCCESS);
    runUp();
    system().step(25ms);
    ASSERT_EQ(stream.setState(KsState::Pause), STATUS_SUCCESS);
    const std::uint32_t held = position();
    const ossim::PumpCounters paused = stream.counters();
    system().step(30ms);
    EXPECT_EQ(position(), held);
    EXPECT_EQ(stream.counters().notifications, paused.notifications);
    EXPECT_EQ(stream.counters().framesCopied, paused.framesCopied);
}

// The toy keeps its position through the pause, so the signal goes on from
// the frame the device takes next, written once.
TEST_F(WaveStreamTest, RunningAgainAfterAPauseGoesOnWithTheSignalWhereItStopped) {
    ASSERT_EQ(open(), STATUS_SUCCESS);
    runUp();
    system().step(25ms);
    ASSERT_EQ(stream.setState(KsState::Pause), STATUS_SUCCESS);
    system().step(30ms);
    ASSERT_EQ(stream.setState(KsState::Run), STATUS_SUCCESS);
    for (int ms = 26; ms <= 60; ++ms) {
        system().step(1ms);
        ASSERT_EQ(frameAt(position()), static_cast<std::uint32_t>(ms * 48)) << ms;
    }
    EXPECT_EQ(stream.counters().underruns, 0u);
    EXPECT_EQ(written, 60u * 48 + marginFrames);
}

TEST_F(WaveStreamTest, AStalledPumpCountsAnUnderrunAndWritesAheadAgain) {
    // A margin of one frame is overtaken by the first millisecond the
    // device takes before the pump's next pass.
    ASSERT_EQ(open(1), STATUS_SUCCESS);
    runUp();
    system().step(10ms);
    EXPECT_GT(stream.counters().underruns, 0u);
}

TEST_F(WaveStreamTest, ThePinLeavingWithTheDeviceStopsTheWritesIntoItsBuffer) {
    ASSERT_EQ(open(), STATUS_SUCCESS);
    runUp();
    system().step(5ms);
    const std::uint64_t copied = stream.counters().framesCopied;
    ASSERT_EQ(system().surpriseRemove(), STATUS_SUCCESS);
    EXPECT_EQ(portcls::testing::world->stream, nullptr); // the buffer is gone
    system().step(30ms);
    EXPECT_EQ(stream.counters().framesCopied, copied);
    EXPECT_GT(stream.counters().badPositions, 0u);
    std::uint32_t at = 0;
    EXPECT_EQ(stream.position(&at), STATUS_DEVICE_NOT_CONNECTED);
}

struct OpenCase {
    const char* name;
    std::uint32_t pin;
    std::uint32_t margin;
    void (*spoil)(ks::DataFormatWaveFormatEx& format);
    NTSTATUS status;
};

TEST_F(WaveStreamTest, OpeningRefusesFormatsAndMarginsThePumpCannotServe) {
    const OpenCase cases[] = {
        {"no block size", 0, 10, [](auto& f) { f.WaveFormatEx.nBlockAlign = 0; },
         STATUS_INVALID_PARAMETER},
        {"a head without a wave record", 0, 10,
         [](auto& f) { f.DataFormat.FormatSize = sizeof(ks::DataFormat); },
         STATUS_INVALID_PARAMETER},
        {"another specifier", 0, 10,
         [](auto& f) { f.DataFormat.Specifier = ks::KSDATAFORMAT_SPECIFIER_NONE; },
         STATUS_INVALID_PARAMETER},
        {"a buffer not of whole frames", 0, 10, [](auto& f) { f.WaveFormatEx.nBlockAlign = 7; },
         STATUS_INVALID_PARAMETER},
        {"a margin of the whole buffer", 0, bufferFrames, [](auto&) {}, STATUS_INVALID_PARAMETER},
        {"a pin the filter lacks", 5, 10, [](auto&) {}, STATUS_INVALID_PARAMETER},
        {"a margin below the buffer", 0, bufferFrames - 1, [](auto&) {}, STATUS_SUCCESS},
    };
    for (const OpenCase& c : cases) {
        SCOPED_TRACE(c.name);
        ks::DataFormatWaveFormatEx spoilt = portcls::testing::pcmFormat();
        c.spoil(spoilt);
        ossim::WaveStream tried;
        EXPECT_EQ(tried.open(wave, c.pin, &spoilt.DataFormat, c.margin, countingSignal()),
                  c.status);
        EXPECT_EQ(tried.isOpen(), c.status == STATUS_SUCCESS);
        // A refused open leaves the pin's one instance free.
        EXPECT_EQ(portcls::testing::world->stream != nullptr, c.status == STATUS_SUCCESS);
    }
}

} // namespace
