// The bus's frame clock: 1 ms frames counted from the moment the bus was
// made, read from the platform's one clock, so a test steps it with the
// manual clock and a program runs it in real time with the same code. A
// high-speed bus divides each frame into 8 microframes of 125 us; the clock
// counts microframes at either speed (a full-speed packet takes the 8 of its
// frame). It wakes its owner with a kernel timer once a microframe has ended.
#pragma once

#include "platform/kernel/clock.h"
#include "platform/kernel/dpc.h"
#include "platform/kernel/time.h"
#include "platform/kernel/timer.h"

#include <atomic>
#include <chrono>
#include <cstdint>

namespace usbsim {

inline constexpr kernel::Duration frameLength = std::chrono::milliseconds(1);
inline constexpr kernel::Duration microframeLength = std::chrono::microseconds(125);
inline constexpr std::uint64_t microframesPerFrame = 8;

class FrameClock {
public:
    explicit FrameClock(bool highSpeed);
    ~FrameClock(); // stops waking
    FrameClock(const FrameClock&) = delete;
    FrameClock& operator=(const FrameClock&) = delete;

    bool highSpeed() const { return m_highSpeed; }

    // The microframe running now, counted from the clock's start.
    std::uint64_t microframe() const;
    // The frame number the bus reports: the frame running now, in 32 bits.
    std::uint32_t frameNumber() const {
        return static_cast<std::uint32_t>(microframe() / microframesPerFrame);
    }

    // Queues `dpc` once microframe `last` has ended (at once when it has);
    // takes the place of the wake-up set before. Up to dispatch level.
    void wakeAfter(std::uint64_t last, kernel::Dpc& dpc);
    void stopWaking();
    // The owner's wakes come no earlier than `until` on the platform's
    // clock, as when the clock's service is held back on a loaded machine:
    // the microframes that pass meanwhile are the owner's to catch up on.
    void holdWakes(kernel::Duration until) { m_heldUntil = until; }

private:
    const bool m_highSpeed;
    const kernel::Duration m_origin;
    std::atomic<kernel::Duration> m_heldUntil{kernel::Duration::zero()};
    kernel::Timer m_wake;
};

// Lockstep for tests: moves the manual clock on by `frames` frames, one frame
// at a time, and lets everything settle after each, so every transfer a
// completion sends again is in place before the next frame begins.
void advanceFrames(kernel::ManualClock& clock, std::uint32_t frames);

} // namespace usbsim
