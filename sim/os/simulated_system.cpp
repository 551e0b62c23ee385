#include "sim/os/simulated_system.h"

#include "sim/usb/frame_clock.h"

#include <utility>

namespace ossim {

SimulatedSystem::SimulatedSystem(usbsim::FunctionDescription description)
    : m_function(std::move(description)), m_bus(m_function), m_host(m_clock) {}

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
    for (kernel::Duration left = duration; left > kernel::Duration::zero();
         left -= usbsim::frameLength) {
        m_clock.advance(std::min(left, kernel::Duration(usbsim::frameLength)));
        // Lockstep: the threads the frame woke (a driver call blocked on a
        // request the frame completed) catch up before the next frame, so a
        // request they send next is served in time and not after the test
        // has stopped stepping.
        m_clock.settle();
    }
}

} // namespace ossim
