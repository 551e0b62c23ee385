#include "sim/os/simulated_system.h"

#include "platform/kernel/check.h"
#include "sim/os/system_call.h"
#include "sim/usb/frame_clock.h"

#include <cstdlib>
#include <thread>
#include <utility>
#include <vector>

namespace ossim {

namespace {

// Frames a call into the driver may wait on the device: five seconds.
constexpr int callPatienceFrames = 5000;

std::unique_ptr<kernel::ManualClock> ClockFor(SystemTime time) {
    return time == SystemTime::manual ? std::make_unique<kernel::ManualClock>() : nullptr;
}

} // namespace

SimulatedSystem::SimulatedSystem(usbsim::FunctionDescription description, SystemTime time)
    : m_clock(ClockFor(time)), m_function(std::move(description)), m_bus(m_function),
      m_host(m_clock.get()) {
    boundCalls(kernel::Duration::zero());
}

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
        m_host.setCallAdvance([this] { step(usbsim::frameLength); }, callPatienceFrames);
        m_host.setHangsFail(false);
        return;
    }
    m_callStep = [this, beforeFrame = std::move(beforeFrame)] {
        if (beforeFrame) beforeFrame();
        stepFrame();
    };
    m_callSteps = frames;
    m_host.setCallAdvance(m_callStep, m_callSteps);
    m_host.setHangsFail(true);
}

void SimulatedSystem::stepFrame() {
    m_clock->advance(usbsim::frameLength);
    m_clock->settle();
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

kernel::NTSTATUS SimulatedSystem::remove() {
    // A client closing in its notice cancels it (and may cancel others): the
    // list is walked by registration, each looked up again before its call.
    std::vector<std::uint32_t> registrations;
    for (const auto& entry : m_removalNotices) registrations.push_back(entry.first);
    for (const std::uint32_t registration : registrations) {
        const auto found = m_removalNotices.find(registration);
        if (found == m_removalNotices.end()) continue;
        const std::function<void()> notice = found->second; // outlives its cancellation
        notice();
    }
    return m_host.removeDevice(device());
}

std::uint32_t SimulatedSystem::onQueryRemove(std::function<void()> notice) {
    m_removalNotices.emplace(++m_lastNotice, std::move(notice));
    return m_lastNotice;
}

void SimulatedSystem::cancelQueryRemoveNotice(std::uint32_t registration) {
    m_removalNotices.erase(registration);
}

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

} // namespace ossim
