#include "sim/os/stack_request.h"

#include "platform/io/power_request.h"
#include "platform/kernel/dispatcher.h"
#include "platform/kernel/event.h"

namespace ossim {
namespace {

struct Outcome {
    kernel::Event done{kernel::EventType::Notification, false};
    kernel::NTSTATUS status = kernel::STATUS_PENDING;

    kernel::NTSTATUS wait() {
        kernel::waitForSingleObject(done, kernel::Timeout::infinite());
        return status;
    }
};

// The request is the system's own: it comes back here, never past its top.
kernel::NTSTATUS pnpDone(io::DeviceObject*, io::Irp* irp, void* context) {
    auto* outcome = static_cast<Outcome*>(context);
    outcome->status = irp->ioStatus.status;
    io::freeIrp(irp);
    outcome->done.set();
    return kernel::STATUS_MORE_PROCESSING_REQUIRED;
}

void powerDone(io::DeviceObject*, std::uint8_t, io::DevicePowerState, void* context,
               const io::IoStatusBlock& ioStatus) {
    auto* outcome = static_cast<Outcome*>(context);
    outcome->status = ioStatus.status;
    outcome->done.set();
}

} // namespace

kernel::NTSTATUS sendPnpRequest(io::DeviceObject* physicalDevice, std::uint8_t minorFunction,
                                const io::IoStackLocation::Parameters& parameters) {
    io::DeviceObject* top = io::getAttachedDeviceReference(physicalDevice);
    io::Irp* irp = io::allocateIrp(top->stackSize());
    if (irp == nullptr) {
        io::dereferenceDevice(top);
        return kernel::STATUS_INSUFFICIENT_RESOURCES;
    }
    irp->ioStatus = {kernel::STATUS_NOT_SUPPORTED, 0};
    io::IoStackLocation* next = io::nextStackLocation(irp);
    next->majorFunction = io::major::Pnp;
    next->minorFunction = minorFunction;
    next->parameters = parameters;
    Outcome outcome;
    io::setCompletionRoutine(irp, pnpDone, &outcome, true, true, true);
    io::callDriver(top, irp);
    io::dereferenceDevice(top);
    return outcome.wait();
}

kernel::NTSTATUS sendDevicePowerRequest(io::DeviceObject* physicalDevice,
                                        io::DevicePowerState state) {
    Outcome outcome;
    const kernel::NTSTATUS status =
        io::requestDevicePowerState(physicalDevice, state, powerDone, &outcome);
    if (status != kernel::STATUS_PENDING) return status;
    return outcome.wait();
}

} // namespace ossim
