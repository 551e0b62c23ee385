// The bus device's dispatch routines beside the internal device controls:
// plug and play and the cancel routine of isochronous transfers.
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

void SimulatedBus::cancelIsochronous(io::DeviceObject* device, io::Irp* irp) {
    busOf(device).m_isochronous.cancel(irp);
}

} // namespace usbsim
