#include "sim/usb/frame_clock.h"

#include <algorithm>

namespace usbsim {

FrameClock::FrameClock(bool highSpeed)
    : m_highSpeed(highSpeed), m_origin(kernel::currentClock().now()) {}

FrameClock::~FrameClock() { stopWaking(); }

std::uint64_t FrameClock::microframe() const {
    return static_cast<std::uint64_t>((kernel::currentClock().now() - m_origin) / microframeLength);
}

void FrameClock::wakeAfter(std::uint64_t last, kernel::Dpc& dpc) {
    const kernel::Duration end = std::max(
        m_origin + microframeLength * static_cast<std::int64_t>(last + 1), m_heldUntil.load());
    const kernel::Duration now = kernel::currentClock().now();
    if (end > now) {
        m_wake.set(end - now, kernel::Duration::zero(), &dpc);
        return;
    }
    stopWaking();
    kernel::queueDpc(dpc, nullptr, nullptr);
}

void FrameClock::stopWaking() { m_wake.cancel(); }

void advanceFrames(kernel::ManualClock& clock, std::uint32_t frames) {
    for (std::uint32_t i = 0; i < frames; ++i) {
        clock.advance(frameLength);
        clock.settle();
    }
}

} // namespace usbsim
