#include "sim/os/simulated_system.h"

#include "platform/kernel/check.h"
#include "sim/os/system_call.h"
#include "sim/usb/frame_clock.h"

#include <cstdlib>
#include <thread>
#include <utility>

namespace ossim {

namespace {

std::unique_ptr<kernel::ManualClock> ClockFor(SystemTime time) {
    return time == SystemTime::manual ? std::make_unique<kernel::ManualClock>() : nullptr;
}

} // namespace

SimulatedSystem::SimulatedSystem(usbsim::FunctionDescription description, SystemTime time)
    : m_clock(ClockFor(time)), m_function(std::move(description)), m_bus(m_function),
      m_host(m_clock.get()) {}

kernel::ManualClock& SimulatedSystem::clock() {
    // There is no clock to hand out: nothing safe to carry on with.
    if (!kernel::check(m_clock != nullptr, "the manual clock of a system on the real clock"))
        std::abort();
    return *m_clock;
}

kernel::NTSTATUS SimulatedSystem::call(std::function<kernel::NTSTATUS()> work) {
    if (!m_callStep) return callOnSystemThread(m_clock.get(), std::move(work));
    const kernel::NTSTATUS status =
        callOnSystemThread(*m_clock, std::move(work), m_callStep, m_callSteps);
    kernel::check(status != kernel::STATUS_PENDING,
                  "a call into the driver still blocks past its bound of time");
    return status;
}

void SimulatedSystem::boundCalls(kernel::Duration bound, std::function<void()> beforeFrame) {
    const auto frames = static_cast<int>(bound / usbsim::frameLength);
    if (!m_clock || frames <= 0) {
        m_callStep = {};
        m_callSteps = 0;
    } else {
        m_callStep = [this, beforeFrame = std::move(beforeFrame)] {
            if (beforeFrame) beforeFrame();
            stepFrame();
        };
        m_callSteps = frames;
    }
    m_host.boundCalls(m_callStep, m_callSteps);
}

kernel::NTSTATUS SimulatedSystem::plug() {
    const kernel::NTSTATUS status = m_host.addDevice(device());
    return kernel::succeeded(status) ? m_host.startDevice(device()) : status;
}

kernel::NTSTATUS SimulatedSystem::surpriseRemove() {
    m_bus.unplug();
    const kernel::NTSTATUS status = m_host.surpriseRemove(device());
    const kernel::NTSTATUS removed = m_host.removeDevice(device());
    return kernel::succeeded(status) ? removed : status;
}

kernel::NTSTATUS SimulatedSystem::remove() { return m_host.removeDevice(device()); }

void SimulatedSystem::step(kernel::Duration duration) {
    if (!m_clock) {
        std::this_thread::sleep_for(duration);
        return;
    }
    for (kernel::Duration left = duration; left > kernel::Duration::zero();
         left -= usbsim::frameLength) {
        m_clock->advance(std::min(left, kernel::Duration(usbsim::frameLength)));
        // Lockstep: the threads the frame woke (a driver call blocked on a
        // request the frame completed) catch up before the next frame, so a
        // request they send next is served in time and not after the test
        // has stopped stepping.
        m_clock->settle();
    }
}

void SimulatedSystem::stepFrame() {
    m_clock->advance(usbsim::frameLength);
    m_clock->settle();
}

} // namespace ossim
