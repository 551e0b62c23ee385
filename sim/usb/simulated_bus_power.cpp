// The bus's side of device power: a set-power request for the device is
// served in a deferred call of the bus, one at a time with the bus's other
// calls that touch the function, and always succeeds. Any other power
// request succeeds at once.
#include "sim/usb/simulated_bus.h"

namespace usbsim {

kernel::NTSTATUS SimulatedBus::dispatchPower(io::DeviceObject* device, io::Irp* irp) {
    const io::IoStackLocation* location = io::currentStackLocation(irp);
    if (location->minorFunction == io::minorPower::SetPower &&
        location->parameters.power.type == io::PowerStateType::Device)
        return (*static_cast<SimulatedBus**>(device->extension()))->receivePower(irp);
    irp->ioStatus.status = kernel::STATUS_SUCCESS;
    io::completeRequest(irp);
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS SimulatedBus::receivePower(io::Irp* irp) {
    io::markPending(irp);
    const std::lock_guard guard(m_lock);
    m_powerRequests.push_back(irp);
    kernel::queueDpc(m_powerDpc, nullptr, nullptr);
    return kernel::STATUS_PENDING;
}

void SimulatedBus::servePower(kernel::Dpc&, void* context, void*, void*) {
    auto& bus = *static_cast<SimulatedBus*>(context);
    for (;;) {
        io::Irp* irp = nullptr;
        {
            const std::lock_guard guard(bus.m_lock);
            if (bus.m_powerRequests.empty()) return;
            irp = bus.m_powerRequests.front();
            bus.m_powerRequests.pop_front();
            const io::DevicePowerState state =
                io::currentStackLocation(irp)->parameters.power.state;
            // Leaving D0 switches the device's codec off: it forgets.
            if (bus.m_losesSettings && bus.m_devicePower == io::DevicePowerState::D0 &&
                state != io::DevicePowerState::D0)
                bus.m_requests.portReset();
            bus.m_devicePower = state;
        }
        irp->ioStatus.status = kernel::STATUS_SUCCESS;
        io::completeRequest(irp);
    }
}

void SimulatedBus::setLosesSettingsInLowPower(bool loses) {
    const std::lock_guard guard(m_lock);
    m_losesSettings = loses;
}

io::DevicePowerState SimulatedBus::devicePower() const {
    const std::lock_guard guard(m_lock);
    return m_devicePower;
}

} // namespace usbsim
