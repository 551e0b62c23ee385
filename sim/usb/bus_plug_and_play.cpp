#include "sim/usb/bus_plug_and_play.h"

#include "platform/io/pnp.h"
#include "platform/usb/bus_interface.h"

#include <algorithm>

namespace usbsim {

kernel::NTSTATUS BusPlugAndPlay::serve(io::Irp* irp) {
    const io::IoStackLocation& location = *io::currentStackLocation(irp);
    kernel::NTSTATUS status = irp->ioStatus.status;
    switch (location.minorFunction) {
    case io::minorPnp::StartDevice:
        m_state = PnpState::started;
        status = kernel::STATUS_SUCCESS;
        break;
    case io::minorPnp::SurpriseRemoval:
        m_state = PnpState::surpriseRemoved;
        status = kernel::STATUS_SUCCESS;
        break;
    case io::minorPnp::RemoveDevice:
        m_state = PnpState::removed;
        status = kernel::STATUS_SUCCESS;
        break;
    // The device may be stopped or removed in order: the bus agrees.
    case io::minorPnp::QueryRemoveDevice:
    case io::minorPnp::CancelRemoveDevice:
    case io::minorPnp::QueryStopDevice:
    case io::minorPnp::StopDevice:
    case io::minorPnp::CancelStopDevice:
        status = kernel::STATUS_SUCCESS;
        break;
    case io::minorPnp::QueryCapabilities:
        status = queryCapabilities(location.parameters.deviceCapabilities.capabilities);
        break;
    case io::minorPnp::QueryInterface:
        status = queryInterface(location.parameters.queryInterface);
        break;
    default:
        break;
    }
    irp->ioStatus = {status, 0};
    io::completeRequest(irp);
    return status;
}

kernel::NTSTATUS BusPlugAndPlay::queryCapabilities(io::DeviceCapabilities* capabilities) {
    if (capabilities == nullptr || capabilities->size < sizeof(io::DeviceCapabilities))
        return kernel::STATUS_INVALID_PARAMETER;
    // A USB device can be pulled out, and suspends in D2; it works in the
    // working state only and is off in every sleep state.
    capabilities->flags |= io::capability_flags::removable | io::capability_flags::deviceD2;
    capabilities->address = 1; // its port on the hub
    capabilities->uiNumber = 1;
    std::fill(std::begin(capabilities->deviceState), std::end(capabilities->deviceState),
              io::DevicePowerState::D3);
    capabilities->deviceState[0] = io::DevicePowerState::D0;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS
BusPlugAndPlay::queryInterface(const io::IoStackLocation::Parameters::QueryInterface& query) {
    if (query.interfaceType == nullptr || query.interface == nullptr)
        return kernel::STATUS_INVALID_PARAMETER;
    if (*query.interfaceType != usb::busInterfaceId || query.version != usb::busInterfaceVersion)
        return kernel::STATUS_NOT_SUPPORTED;
    if (query.size < sizeof(usb::BusInterface)) return kernel::STATUS_BUFFER_TOO_SMALL;
    auto* bus = reinterpret_cast<usb::BusInterface*>(query.interface);
    *bus = {.header = {.size = sizeof(usb::BusInterface),
                       .version = usb::busInterfaceVersion,
                       .context = this,
                       .interfaceReference = reference,
                       .interfaceDereference = dereference},
            .queryBusTime = queryBusTime,
            .isDeviceHighSpeed = isDeviceHighSpeed};
    reference(this); // the caller's
    return kernel::STATUS_SUCCESS;
}

void BusPlugAndPlay::reference(void* context) {
    ++static_cast<BusPlugAndPlay*>(context)->m_references;
}

void BusPlugAndPlay::dereference(void* context) {
    --static_cast<BusPlugAndPlay*>(context)->m_references;
}

kernel::NTSTATUS BusPlugAndPlay::queryBusTime(void* context, std::uint32_t* currentFrame) {
    if (currentFrame == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *currentFrame = static_cast<const BusPlugAndPlay*>(context)->m_frames.frameNumber();
    return kernel::STATUS_SUCCESS;
}

bool BusPlugAndPlay::isDeviceHighSpeed(void* context) {
    return static_cast<const BusPlugAndPlay*>(context)->m_frames.highSpeed();
}

} // namespace usbsim
