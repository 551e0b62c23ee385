// The port layer's dispatch routines for an adapter's functional device and
// the registration of the adapter driver and its devices.
#include "platform/portcls/adapter.h"

#include "platform/io/power_request.h"
#include "platform/kernel/work_item.h"
#include "platform/portcls/adapter_device.h"
#include "platform/portcls/filter_files.h"

namespace portcls {
namespace {

kernel::NTSTATUS completeWith(io::Irp* irp, kernel::NTSTATUS status) {
    irp->ioStatus = {status, 0};
    io::completeRequest(irp);
    return status;
}

kernel::NTSTATUS passDown(AdapterDevice& adapter, io::Irp* irp) {
    io::skipCurrentStackLocation(irp);
    return io::callDriver(adapter.lower, irp);
}

// On the worker thread, at passive level, once the request came back up
// the stack: the port layer finishes one the stack below accepted, then it
// completes; one it refused completes as it is.
void runAfterLower(void* context) {
    auto* adapter = static_cast<AdapterDevice*>(context);
    io::Irp* irp = nullptr;
    AdapterDevice::AfterLower routine = nullptr;
    io::IoStackLocation::Parameters parameters{};
    {
        kernel::MutexGuard guard(adapter->mutex);
        std::swap(irp, adapter->heldIrp);
        std::swap(routine, adapter->afterLower);
        parameters = adapter->heldParameters;
    }
    const kernel::NTSTATUS below = irp->ioStatus.status;
    completeWith(irp, kernel::succeeded(below) ? routine(*adapter, irp, parameters) : below);
}

kernel::NTSTATUS backFromLower(io::DeviceObject*, io::Irp*, void* context) {
    auto* adapter = static_cast<AdapterDevice*>(context);
    kernel::queueWorkItem(*adapter->passiveWork, runAfterLower, adapter);
    return kernel::STATUS_MORE_PROCESSING_REQUIRED;
}

// Passes the request down the stack; when it is back with success the
// routine finishes it at passive level. Plug-and-play requests come one at
// a time; one that finds another still held is refused as busy.
kernel::NTSTATUS passDownThenFinish(AdapterDevice& adapter, io::Irp* irp,
                                    AdapterDevice::AfterLower routine) {
    {
        kernel::MutexGuard guard(adapter.mutex);
        if (adapter.heldIrp != nullptr) return completeWith(irp, kernel::STATUS_DEVICE_BUSY);
        adapter.heldIrp = irp;
        adapter.afterLower = routine;
        adapter.heldParameters = io::currentStackLocation(irp)->parameters;
    }
    io::copyCurrentStackLocationToNext(irp);
    io::setCompletionRoutine(irp, backFromLower, &adapter, true, true, true);
    io::markPending(irp);
    (void)io::callDriver(adapter.lower, irp);
    return kernel::STATUS_PENDING;
}

// The adapter starts its device with the resources the start carried.
kernel::NTSTATUS startAdapter(AdapterDevice& adapter, io::Irp* irp,
                              const io::IoStackLocation::Parameters& parameters) {
    return adapter.start(adapter.functional, irp, parameters.startDevice.allocatedResources);
}

// The adapter amends the capabilities the stack below reported.
kernel::NTSTATUS amendCapabilities(AdapterDevice& adapter, io::Irp* irp,
                                   const io::IoStackLocation::Parameters& parameters) {
    IAdapterPowerManagement* power = nullptr;
    {
        kernel::MutexGuard guard(adapter.mutex);
        power = adapter.power;
        if (power != nullptr) power->AddRef();
    }
    if (power == nullptr) return irp->ioStatus.status;
    const kernel::NTSTATUS status =
        power->QueryDeviceCapabilities(parameters.deviceCapabilities.capabilities);
    power->Release();
    return status;
}

kernel::NTSTATUS releaseRemovedDevice(io::DeviceObject*, io::Irp* irp, void* context) {
    io::dereferenceDevice(static_cast<io::DeviceObject*>(context));
    return irp->ioStatus.status;
}

// Everything registered goes, the request passes down, and the device
// leaves the stack and is deleted. Its memory stays until the request has
// come back, so the driver that passed the request here may still read its
// extension when this returns.
kernel::NTSTATUS removeDevice(AdapterDevice* adapter, io::Irp* irp) {
    io::DeviceObject* const functional = adapter->functional;
    io::DeviceObject* const lower = adapter->lower;
    adapter->unregisterAll();
    io::referenceDevice(functional);
    io::copyCurrentStackLocationToNext(irp);
    io::setCompletionRoutine(irp, releaseRemovedDevice, functional, true, true, true);
    const kernel::NTSTATUS status = io::callDriver(lower, irp);
    delete adapter;
    io::detachDevice(lower);
    io::deleteDevice(functional);
    return status;
}

kernel::NTSTATUS dispatchPnp(io::DeviceObject* device, io::Irp* irp) {
    AdapterDevice* adapter = adapterDeviceOf(device);
    if (adapter == nullptr) return completeWith(irp, kernel::STATUS_INVALID_DEVICE_REQUEST);
    switch (io::currentStackLocation(irp)->minorFunction) {
    case io::minorPnp::StartDevice:
        return passDownThenFinish(*adapter, irp, startAdapter);
    case io::minorPnp::QueryCapabilities:
        return passDownThenFinish(*adapter, irp, amendCapabilities);
    case io::minorPnp::SurpriseRemoval:
        adapter->disableInterfaces();
        return passDown(*adapter, irp);
    case io::minorPnp::RemoveDevice:
        return removeDevice(adapter, irp);
    default:
        return passDown(*adapter, irp);
    }
}

// A device power change reaches the adapter, then the miniports, before the
// request goes down.
kernel::NTSTATUS dispatchPower(io::DeviceObject* device, io::Irp* irp) {
    AdapterDevice* adapter = adapterDeviceOf(device);
    if (adapter == nullptr) return completeWith(irp, kernel::STATUS_INVALID_DEVICE_REQUEST);
    const io::IoStackLocation* location = io::currentStackLocation(irp);
    if (location->minorFunction == io::minorPower::SetPower &&
        location->parameters.power.type == io::PowerStateType::Device)
        adapter->changePowerState(location->parameters.power.state);
    return passDown(*adapter, irp);
}

kernel::NTSTATUS dispatchFile(io::DeviceObject* device, io::Irp* irp) {
    AdapterDevice* adapter = adapterDeviceOf(device);
    if (adapter == nullptr) return completeWith(irp, kernel::STATUS_INVALID_DEVICE_REQUEST);
    irp->ioStatus.information = 0;
    irp->ioStatus.status = serveFileRequest(device, irp);
    const kernel::NTSTATUS status = irp->ioStatus.status;
    io::completeRequest(irp);
    return status;
}

} // namespace

kernel::NTSTATUS PcDispatchIrp(io::DeviceObject* deviceObject, io::Irp* irp) {
    switch (io::currentStackLocation(irp)->majorFunction) {
    case io::major::Pnp:
        return dispatchPnp(deviceObject, irp);
    case io::major::Power:
        return dispatchPower(deviceObject, irp);
    case io::major::Create:
    case io::major::Close:
    case io::major::DeviceControl:
        return dispatchFile(deviceObject, irp);
    default:
        return completeWith(irp, kernel::STATUS_INVALID_DEVICE_REQUEST);
    }
}

kernel::NTSTATUS PcInitializeAdapterDriver(io::DriverObject* driverObject,
                                           const kernel::UnicodeString*,
                                           io::AddDeviceRoutine addDevice) {
    if (driverObject == nullptr || addDevice == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    for (std::uint8_t function : {io::major::Pnp, io::major::Power, io::major::Create,
                                  io::major::Close, io::major::DeviceControl})
        driverObject->majorFunction[function] = PcDispatchIrp;
    driverObject->addDevice = addDevice;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS PcAddAdapterDevice(io::DriverObject* driverObject,
                                    io::DeviceObject* physicalDeviceObject,
                                    StartDeviceRoutine startDevice, std::uint32_t maxObjects,
                                    std::uint32_t deviceExtensionSize) {
    if (deviceExtensionSize == 0) deviceExtensionSize = portClassExtensionSize;
    if (driverObject == nullptr || physicalDeviceObject == nullptr || startDevice == nullptr ||
        maxObjects == 0 || deviceExtensionSize < portClassExtensionSize)
        return kernel::STATUS_INVALID_PARAMETER;
    kernel::WorkItem* work = kernel::allocateWorkItem();
    if (work == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    io::DeviceObject* functional = nullptr;
    kernel::NTSTATUS status = io::createDevice(*driverObject, deviceExtensionSize, &functional);
    if (!kernel::succeeded(status)) {
        kernel::freeWorkItem(work);
        return status;
    }
    io::DeviceObject* lower = io::attachDeviceToDeviceStack(functional, physicalDeviceObject);
    if (lower == nullptr) {
        io::deleteDevice(functional);
        kernel::freeWorkItem(work);
        return kernel::STATUS_NO_SUCH_DEVICE;
    }
    auto* adapter =
        new AdapterDevice(functional, physicalDeviceObject, lower, startDevice, maxObjects, work);
    if (adapter == nullptr) {
        io::detachDevice(lower);
        io::deleteDevice(functional);
        kernel::freeWorkItem(work);
        return kernel::STATUS_INSUFFICIENT_RESOURCES;
    }
    return kernel::STATUS_SUCCESS;
}

} // namespace portcls
