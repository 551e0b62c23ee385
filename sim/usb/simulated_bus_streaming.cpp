// The bus device's dispatch routines beside the internal device controls:
// plug and play, power, and the cancel routine of isochronous transfers.
#include "sim/usb/simulated_bus.h"

namespace usbsim {

namespace {

SimulatedBus& busOf(io::DeviceObject* device) {
    return **static_cast<SimulatedBus**>(device->extension());
}

} // namespace

kernel::NTSTATUS SimulatedBus::dispatchPlugAndPlay(io::DeviceObject* device, io::Irp* irp) {
    return busOf(device).m_pnp.serve(irp);
}

// The device stays powered whatever state its driver asks for.
kernel::NTSTATUS SimulatedBus::dispatchPower(io::DeviceObject*, io::Irp* irp) {
    irp->ioStatus.status = kernel::STATUS_SUCCESS;
    io::completeRequest(irp);
    return kernel::STATUS_SUCCESS;
}

void SimulatedBus::cancelIsochronous(io::DeviceObject* device, io::Irp* irp) {
    busOf(device).m_isochronous.cancel(irp);
}

} // namespace usbsim
