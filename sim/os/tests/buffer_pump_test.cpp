// The audio engine's pump against a toy pin whose position runs with the
// manual clock: the render pin plays (and checks) the frames it passes, the
// capture pin records a running count into the frames it passes. Each frame
// holds its index in the signal, so a gap or a repeat shows as a
// discontinuity.
#include "sim/os/buffer_pump.h"

#include "platform/kernel/clock.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <vector>

namespace {

using namespace kernel;
using namespace std::chrono_literals;
using ossim::BufferPump;
using ossim::PumpDirection;

constexpr std::uint32_t frameSize = 4; // one 32-bit count per frame
constexpr std::uint32_t framesPerMs = 48;
constexpr Duration period = 10ms;
constexpr std::uint32_t framesPerPeriod = 480;

// A signal of running frame counts, and a check of one.
struct Ramp {
    std::uint32_t next = 0;
    std::uint64_t frames = 0;
    int discontinuities = 0;

    void produce(std::uint8_t* into, std::uint32_t count) {
        for (std::uint32_t i = 0; i < count; ++i, ++next)
            std::memcpy(into + i * frameSize, &next, frameSize);
    }
    void consume(const std::uint8_t* from, std::uint32_t count) {
        for (std::uint32_t i = 0; i < count; ++i, ++frames) {
            std::uint32_t value = 0;
            std::memcpy(&value, from + i * frameSize, frameSize);
            if (frames != 0 && value != next) ++discontinuities;
            next = value + 1;
        }
    }
};

// The pin: its position advances with the clock (plus any jump); on each
// reading it plays, or records, the frames it passed since the last one.
class ToyPin {
public:
    ToyPin(PumpDirection direction, std::uint32_t bufferFrames)
        : direction_(direction), buffer_(bufferFrames * frameSize, 0xEE) {}

    ossim::CyclicBuffer buffer() {
        return {buffer_.data(), std::uint32_t(buffer_.size()), frameSize};
    }
    std::uint32_t frames() const { return std::uint32_t(buffer_.size() / frameSize); }

    // The position moves on by that many frames at once: a render pin skips
    // them unplayed, a capture pin records them all.
    void jump(std::uint32_t frames) {
        jumped_ += frames;
        if (direction_ == PumpDirection::render) passed_ += frames;
    }

    // The position stops, and moves on from there when the pin runs again.
    void pause() { heldAt_ = clockFrames(); }
    void resume() {
        held_ += clockFrames() - *heldAt_;
        heldAt_.reset();
    }

    std::uint32_t position() {
        const std::uint64_t now = heldAt_.value_or(clockFrames()) - held_ + jumped_;
        for (; passed_ < now; ++passed_) {
            std::uint8_t* at = buffer_.data() + (passed_ % frames()) * frameSize;
            if (direction_ == PumpDirection::render)
                played.consume(at, 1);
            else
                recorded.produce(at, 1);
        }
        return std::uint32_t(now % frames()) * frameSize;
    }

    Ramp played;   // what the render pin played
    Ramp recorded; // what the capture pin wrote

private:
    static std::uint64_t clockFrames() {
        return std::uint64_t(currentClock().now() / 1ms) * framesPerMs;
    }

    const PumpDirection direction_;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t passed_ = 0; // frames played or recorded
    std::uint64_t jumped_ = 0;
    std::uint64_t held_ = 0; // frames of time the pin stood paused
    std::optional<std::uint64_t> heldAt_;
};

class BufferPumpTest : public ::testing::Test {
protected:
    void make(PumpDirection direction, std::uint32_t bufferFrames, std::uint32_t marginFrames) {
        pin.emplace(direction, bufferFrames);
        const ossim::PumpSettings settings{direction, pin->buffer(), period, marginFrames};
        auto position = [this] { return pin->position(); };
        pump.emplace(settings, position, signal());
    }

    // The test's source and sink as the pump's signal.
    BufferPump::Signal signal() {
        return {
            [this](std::uint8_t* frames, std::uint32_t count) { source.produce(frames, count); },
            [this](const std::uint8_t* frames, std::uint32_t count) {
                sink.consume(frames, count);
            }};
    }

    void run(int periods) {
        for (int i = 0; i < periods; ++i) clock.advance(period);
    }

    ManualClock clock;
    std::optional<ToyPin> pin;
    Ramp source; // what the pump wrote for the render pin
    Ramp sink;   // what the pump handed on from the capture pin
    std::optional<BufferPump> pump;
};

struct Steady {
    const char* name;
    PumpDirection direction;
    std::uint32_t bufferFrames;
    std::uint32_t marginFrames;
};

void PrintTo(const Steady& s, std::ostream* out) { *out << s.name; }

const Steady steadyCases[] = {
    {"render, periods dividing the buffer", PumpDirection::render, 2400, 960},
    {"render, copies split at the buffer's end", PumpDirection::render, 1000, 500},
    {"render, margin of exactly one period", PumpDirection::render, 2400, framesPerPeriod},
    {"capture, periods dividing the buffer", PumpDirection::capture, 2400, 960},
    {"capture, copies split at the buffer's end", PumpDirection::capture, 1000, 480},
    {"capture without margin", PumpDirection::capture, 1000, 0},
};

class SteadyTest : public BufferPumpTest, public ::testing::WithParamInterface<Steady> {};

TEST_P(SteadyTest, AtASteadyRateEveryFrameArrivesInOrderWithoutUnderrunOrOverrun) {
    const Steady& s = GetParam();
    make(s.direction, s.bufferFrames, s.marginFrames);
    ASSERT_EQ(pump->start(), STATUS_SUCCESS);
    run(50);
    const ossim::PumpCounters counters = pump->counters();
    EXPECT_EQ(counters.notifications, 51u); // the first at the start
    EXPECT_EQ(counters.underruns, 0u);
    EXPECT_EQ(counters.overruns, 0u);
    constexpr std::uint64_t passed = 50 * framesPerPeriod;
    if (s.direction == PumpDirection::render) {
        EXPECT_EQ(pin->played.frames, passed);
        EXPECT_EQ(pin->played.discontinuities, 0);
        EXPECT_EQ(pin->played.next, passed); // from the signal's first frame on
        EXPECT_EQ(counters.framesCopied, passed + s.marginFrames);
    } else {
        EXPECT_EQ(sink.frames, passed);
        EXPECT_EQ(sink.discontinuities, 0);
        EXPECT_EQ(sink.next, passed);
        EXPECT_EQ(counters.framesCopied, passed);
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, SteadyTest, ::testing::ValuesIn(steadyCases));

TEST_F(BufferPumpTest, ARenderPositionThatJumpsPastTheWrittenFramesIsAnUnderrun) {
    make(PumpDirection::render, 2400, 960);
    ASSERT_EQ(pump->start(), STATUS_SUCCESS);
    run(10);
    pin->jump(1500); // beyond the 960 frames written ahead
    run(1);          // the pin played frames never written
    EXPECT_EQ(pump->counters().underruns, 1u);
    pin->played = {};
    run(10);
    // The pump wrote ahead of the new position: the signal plays on unbroken.
    EXPECT_EQ(pump->counters().underruns, 1u);
    EXPECT_EQ(pin->played.discontinuities, 0);
    EXPECT_EQ(pin->played.frames, 10 * framesPerPeriod);
}

// A pump held back plays on where it was: render, the pin plays the frames
// past the margin written ahead stale, counted with the underrun; capture,
// the frames the position came round to unread are dropped, counted with
// the overrun.
TEST_F(BufferPumpTest, APumpHeldBackCountsTheFramesItCouldNotServe) {
    make(PumpDirection::render, 2400, 960);
    ASSERT_EQ(pump->start(), STATUS_SUCCESS);
    run(10);
    pump->holdBack(currentClock().now() + 40ms);
    run(6); // the notifications before 40 ms pass over, the one at 40 ms serves
    EXPECT_EQ(pump->counters().underruns, 1u);
    // 40 ms of frames were played since the last pass, 960 of them written.
    EXPECT_EQ(pump->counters().underrunFrames, 4 * framesPerPeriod - 960);
    pin->played = {};
    run(10);
    EXPECT_EQ(pump->counters().underruns, 1u);
    EXPECT_EQ(pin->played.discontinuities, 0);

    make(PumpDirection::capture, 2000, 480);
    ASSERT_EQ(pump->start(), STATUS_SUCCESS);
    run(10);
    pump->holdBack(currentClock().now() + 40ms);
    run(5); // 40 ms, 1920 frames unread, and the device writes the margin's 480 past them
    EXPECT_EQ(pump->counters().overruns, 1u);
    EXPECT_EQ(pump->counters().overrunFrames, 1920u + 480u - 2000u);
    EXPECT_EQ(sink.discontinuities, 1);
}

TEST_F(BufferPumpTest, AJumpWithinTheMarginIsNoUnderrun) {
    make(PumpDirection::render, 2400, 960);
    ASSERT_EQ(pump->start(), STATUS_SUCCESS);
    run(3);
    pin->jump(400);
    run(3);
    EXPECT_EQ(pump->counters().underruns, 0u);
}

TEST_F(BufferPumpTest, ACapturePositionThatComesRoundToUnreadFramesIsAnOverrun) {
    make(PumpDirection::capture, 2400, 480);
    ASSERT_EQ(pump->start(), STATUS_SUCCESS);
    run(10);
    pin->jump(1500); // 1980 frames since the last notification: more than 2400 - 480
    run(10);
    EXPECT_EQ(pump->counters().overruns, 1u);
    EXPECT_EQ(sink.discontinuities, 1);
}

TEST_F(BufferPumpTest, NotificationsRunInADeferredCallNeverInTheCallersContext) {
    make(PumpDirection::render, 2400, 960);
    ASSERT_EQ(pump->start(), STATUS_SUCCESS);
    EXPECT_EQ(pump->counters().notifications, 0u);
    EXPECT_EQ(source.next, 0u);
    clock.settle();
    EXPECT_EQ(pump->counters().notifications, 1u);
    EXPECT_EQ(source.next, 960u);
    pump->notify();
    pump->notify(); // joins the one queued
    EXPECT_EQ(pump->counters().notifications, 1u);
    clock.settle();
    EXPECT_EQ(pump->counters().notifications, 2u);
}

TEST_F(BufferPumpTest, AStoppedPumpHearsNothingAndStartsAgainAtThePinsPosition) {
    make(PumpDirection::capture, 2400, 0);
    ASSERT_EQ(pump->start(), STATUS_SUCCESS);
    EXPECT_EQ(pump->start(), STATUS_INVALID_DEVICE_REQUEST);
    run(2);
    pump->stop();
    pump->notify();
    run(5);
    EXPECT_EQ(pump->counters().notifications, 3u);
    EXPECT_FALSE(pump->running());
    ASSERT_EQ(pump->start(), STATUS_SUCCESS);
    run(2);
    // Nothing from while it was stopped: the frames handed on after the
    // restart begin where the pin stood then.
    EXPECT_EQ(sink.frames, 4 * framesPerPeriod);
    EXPECT_EQ(sink.discontinuities, 1);
}

struct PauseCase {
    const char* name;
    PumpDirection direction;
    bool resume; // or start anew
    int discontinuities;
    std::uint64_t frames; // played or handed on
};

void PrintTo(const PauseCase& c, std::ostream* out) { *out << c.name; }

// The pin pauses half a period after a notification, 11 periods into the
// run, and runs 10 periods more after 6 periods of pause.
const PauseCase pauseCases[] = {
    {"render resumed", PumpDirection::render, true, 0, 21 * framesPerPeriod / 2},
    {"render started anew writes over frames not yet played", PumpDirection::render, false, 1,
     21 * framesPerPeriod / 2},
    {"capture resumed", PumpDirection::capture, true, 0, 21 * framesPerPeriod / 2},
    {"capture started anew loses the frames since the last notification", PumpDirection::capture,
     false, 1, 10 * framesPerPeriod},
};

class PauseTest : public BufferPumpTest, public ::testing::WithParamInterface<PauseCase> {};

TEST_P(PauseTest, AResumedPumpGoesOnWhereItStoppedAStartedOneBeginsAnew) {
    const PauseCase& c = GetParam();
    make(c.direction, 2400, 960);
    ASSERT_EQ(pump->start(), STATUS_SUCCESS);
    run(5);
    clock.advance(period / 2);
    pin->pause();
    pump->stop();
    run(6);
    pin->resume();
    ASSERT_EQ(c.resume ? pump->resume() : pump->start(), STATUS_SUCCESS);
    run(5);
    const Ramp& signal = c.direction == PumpDirection::render ? pin->played : sink;
    EXPECT_EQ(signal.frames, c.frames);
    EXPECT_EQ(signal.discontinuities, c.discontinuities);
    EXPECT_EQ(pump->counters().underruns + pump->counters().overruns, 0u);
}

INSTANTIATE_TEST_SUITE_P(Pauses, PauseTest, ::testing::ValuesIn(pauseCases));

TEST_F(BufferPumpTest, APositionOutsideTheBufferIsCountedAndIgnored) {
    pin.emplace(PumpDirection::render, 100);
    std::uint32_t reported = 400; // one past the last byte
    pump.emplace(
        ossim::PumpSettings{PumpDirection::render, pin->buffer(), period, 10},
        [&] { return reported; }, signal());
    ASSERT_EQ(pump->start(), STATUS_SUCCESS);
    clock.settle();
    EXPECT_EQ(pump->counters().badPositions, 1u);
    EXPECT_EQ(pump->counters().framesCopied, 0u);
    reported = 396;
    run(1);
    EXPECT_EQ(pump->counters().framesCopied, 10u);
}

struct BadSettings {
    const char* name;
    ossim::CyclicBuffer buffer;
    Duration period;
    std::uint32_t marginFrames;
};

void PrintTo(const BadSettings& b, std::ostream* out) { *out << b.name; }

std::uint8_t storage[64];

const BadSettings badSettings[] = {
    {"no address", {nullptr, 64, 4}, period, 1},
    {"no frame size", {storage, 64, 0}, period, 1},
    {"no whole frames", {storage, 62, 4}, period, 1},
    {"smaller than a frame", {storage, 2, 4}, period, 0},
    {"margin of the whole buffer", {storage, 64, 4}, period, 16},
    {"no period", {storage, 64, 4}, Duration::zero(), 1},
    {"negative period", {storage, 64, 4}, -period, 1},
};

class BadSettingsTest : public BufferPumpTest, public ::testing::WithParamInterface<BadSettings> {};

TEST_P(BadSettingsTest, IsRefusedAndNothingRuns) {
    const BadSettings& b = GetParam();
    int positions = 0;
    BufferPump refused(
        {PumpDirection::render, b.buffer, b.period, b.marginFrames},
        [&] { return ++positions, 0u; }, signal());
    EXPECT_EQ(refused.start(), STATUS_INVALID_PARAMETER);
    EXPECT_FALSE(refused.running());
    clock.advance(period * 3);
    EXPECT_EQ(positions, 0);
}

INSTANTIATE_TEST_SUITE_P(Settings, BadSettingsTest, ::testing::ValuesIn(badSettings));

TEST_F(BufferPumpTest, ADirectionWithoutItsCallbackIsRefused) {
    std::uint8_t bytes[64];
    BufferPump render({PumpDirection::render, {bytes, 64, 4}, period, 1}, [] { return 0u; },
                      {nullptr, signal().sink});
    BufferPump capture({PumpDirection::capture, {bytes, 64, 4}, period, 1}, [] { return 0u; },
                       {signal().source, nullptr});
    BufferPump blind({PumpDirection::capture, {bytes, 64, 4}, period, 1}, nullptr, signal());
    EXPECT_EQ(render.start(), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(capture.start(), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(blind.start(), STATUS_INVALID_PARAMETER);
}

} // namespace
