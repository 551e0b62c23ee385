#include "sim/os/tests/toy_driver.h"

#include "platform/io/device_interface.h"
#include "platform/io/file_object.h"
#include "platform/io/irp.h"
#include "platform/io/pnp.h"
#include "platform/kernel/dispatcher.h"
#include "platform/kernel/event.h"
#include "platform/kernel/pool.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>

namespace toy {
namespace {

using kernel::NTSTATUS;

constexpr kernel::PoolTag fileTag = kernel::poolTag("ToyF");

struct Extension {
    io::DeviceObject* lower;
    io::DeviceObject* physical;
    kernel::UnicodeString link;
    std::atomic<int> filesOpen;
};

struct Journal {
    std::mutex lock;
    std::vector<std::string> lines;
};

Journal& theJournal() {
    static Journal journal;
    return journal;
}

std::atomic<bool> refusingQueries{false};

void note(std::string line) {
    std::lock_guard guard(theJournal().lock);
    theJournal().lines.push_back(std::move(line));
}

std::string narrow(std::u16string_view text) { return {text.begin(), text.end()}; }

Extension& extensionOf(io::DeviceObject* device) {
    return *static_cast<Extension*>(device->extension());
}

NTSTATUS complete(io::Irp* irp, NTSTATUS status, std::uintptr_t information = 0) {
    irp->ioStatus = {status, information};
    io::completeRequest(irp);
    return status;
}

NTSTATUS passDown(io::DeviceObject* device, io::Irp* irp) {
    io::skipCurrentStackLocation(irp);
    return io::callDriver(extensionOf(device).lower, irp);
}

NTSTATUS lowerDone(io::DeviceObject*, io::Irp*, void* event) {
    static_cast<kernel::Event*>(event)->set();
    return kernel::STATUS_MORE_PROCESSING_REQUIRED;
}

// Sends the request down and waits until the devices below completed it;
// the request is back with this driver then.
NTSTATUS passDownAndWait(io::DeviceObject* device, io::Irp* irp) {
    kernel::Event done(kernel::EventType::Notification, false);
    io::copyCurrentStackLocationToNext(irp);
    io::setCompletionRoutine(irp, lowerDone, &done, true, true, true);
    io::callDriver(extensionOf(device).lower, irp);
    kernel::waitForSingleObject(done, kernel::Timeout::infinite());
    return irp->ioStatus.status;
}

NTSTATUS start(io::DeviceObject* device, io::Irp* irp) {
    const io::ResourceList* resources =
        io::currentStackLocation(irp)->parameters.startDevice.allocatedResources;
    note("start " + std::to_string(resources != nullptr ? resources->count : 0));
    NTSTATUS status = passDownAndWait(device, irp);
    if (kernel::succeeded(status))
        status = io::setDeviceInterfaceState(extensionOf(device).link, true);
    return complete(irp, status);
}

NTSTATUS query(io::DeviceObject* device, io::Irp* irp, const char* what) {
    note(what);
    if (refusingQueries && extensionOf(device).filesOpen > 0)
        return complete(irp, kernel::STATUS_DEVICE_BUSY);
    irp->ioStatus.status = kernel::STATUS_SUCCESS;
    return passDown(device, irp);
}

NTSTATUS remove(io::DeviceObject* device, io::Irp* irp) {
    note("remove");
    Extension& extension = extensionOf(device);
    io::setDeviceInterfaceState(extension.link, false);
    irp->ioStatus.status = kernel::STATUS_SUCCESS;
    const NTSTATUS status = passDown(device, irp);
    kernel::freeUnicodeString(extension.link);
    io::detachDevice(extension.lower);
    io::deleteDevice(device);
    return status;
}

NTSTATUS dispatchPnp(io::DeviceObject* device, io::Irp* irp) {
    Extension& extension = extensionOf(device);
    switch (io::currentStackLocation(irp)->minorFunction) {
    case io::minorPnp::StartDevice:
        return start(device, irp);
    case io::minorPnp::QueryStopDevice:
        return query(device, irp, "query-stop");
    case io::minorPnp::QueryRemoveDevice:
        return query(device, irp, "query-remove");
    case io::minorPnp::CancelStopDevice:
        note("cancel-stop");
        break;
    case io::minorPnp::CancelRemoveDevice:
        note("cancel-remove");
        break;
    case io::minorPnp::StopDevice:
        note("stop");
        io::setDeviceInterfaceState(extension.link, false);
        break;
    case io::minorPnp::SurpriseRemoval:
        note("surprise");
        io::setDeviceInterfaceState(extension.link, false);
        break;
    case io::minorPnp::RemoveDevice:
        return remove(device, irp);
    default:
        note("pnp " + std::to_string(io::currentStackLocation(irp)->minorFunction));
        return passDown(device, irp); // not ours: the status stays as it came
    }
    irp->ioStatus.status = kernel::STATUS_SUCCESS;
    return passDown(device, irp);
}

NTSTATUS dispatchPower(io::DeviceObject* device, io::Irp* irp) {
    const auto state = io::currentStackLocation(irp)->parameters.power.state;
    note("power D" + std::to_string(static_cast<int>(state) - 1));
    return passDown(device, irp);
}

NTSTATUS dispatchCreate(io::DeviceObject* device, io::Irp* irp) {
    io::FileObject* file = io::currentStackLocation(irp)->fileObject;
    note("create " + narrow(file->fileName().view()));
    const std::u16string expected = std::u16string(u"\\") + referenceString;
    const kernel::UnicodeString wanted = kernel::makeUnicodeString(expected.c_str());
    if (!kernel::equalUnicodeStrings(file->fileName(), wanted, true))
        return complete(irp, kernel::STATUS_OBJECT_NAME_NOT_FOUND);
    file->fsContext = kernel::allocatePool(kernel::PoolType::NonPagedNx, 64, fileTag);
    if (file->fsContext == nullptr) return complete(irp, kernel::STATUS_INSUFFICIENT_RESOURCES);
    ++extensionOf(device).filesOpen;
    return complete(irp, kernel::STATUS_SUCCESS);
}

NTSTATUS dispatchCleanup(io::DeviceObject*, io::Irp* irp) {
    note("cleanup");
    return complete(irp, kernel::STATUS_SUCCESS);
}

NTSTATUS dispatchClose(io::DeviceObject* device, io::Irp* irp) {
    note("close");
    io::FileObject* file = io::currentStackLocation(irp)->fileObject;
    kernel::freePoolWithTag(file->fsContext, fileTag);
    file->fsContext = nullptr;
    --extensionOf(device).filesOpen;
    return complete(irp, kernel::STATUS_SUCCESS);
}

NTSTATUS identify(io::DeviceObject* device, io::Irp* irp, std::uint32_t outputLength) {
    const std::uint32_t identity[2] = {toyVersion,
                                       static_cast<std::uint32_t>(extensionOf(device).filesOpen)};
    if (outputLength < sizeof identity)
        return complete(irp, kernel::STATUS_BUFFER_TOO_SMALL, sizeof identity);
    std::memcpy(irp->systemBuffer, identity, sizeof identity);
    return complete(irp, kernel::STATUS_SUCCESS, sizeof identity);
}

NTSTATUS pattern(io::Irp* irp, std::uint32_t inputLength, std::uint32_t outputLength) {
    std::uint32_t count = 0;
    if (inputLength < sizeof count) return complete(irp, kernel::STATUS_INVALID_PARAMETER);
    std::memcpy(&count, irp->systemBuffer, sizeof count);
    const std::uint32_t written = std::min(count, outputLength);
    auto* bytes = static_cast<std::uint8_t*>(irp->systemBuffer);
    for (std::uint32_t i = 0; i < written; ++i) bytes[i] = patternByte(i);
    return complete(irp, written < count ? kernel::STATUS_BUFFER_OVERFLOW : kernel::STATUS_SUCCESS,
                    written);
}

NTSTATUS dispatchDeviceControl(io::DeviceObject* device, io::Irp* irp) {
    const auto& control = io::currentStackLocation(irp)->parameters.deviceIoControl;
    switch (control.ioControlCode) {
    case identifyCode:
        return identify(device, irp, control.outputBufferLength);
    case patternCode:
        return pattern(irp, control.inputBufferLength, control.outputBufferLength);
    default:
        return complete(irp, kernel::STATUS_INVALID_DEVICE_REQUEST);
    }
}

NTSTATUS addDevice(io::DriverObject* driver, io::DeviceObject* physical) {
    note("add");
    io::DeviceObject* device = nullptr;
    NTSTATUS status = io::createDevice(*driver, sizeof(Extension), &device);
    if (!kernel::succeeded(status)) return status;
    Extension& extension = *new (device->extension()) Extension{};
    extension.physical = physical;
    const kernel::UnicodeString reference = kernel::makeUnicodeString(referenceString);
    status = io::registerDeviceInterface(physical, controlInterface, &reference, &extension.link);
    if (!kernel::succeeded(status)) {
        io::deleteDevice(device);
        return status;
    }
    extension.lower = io::attachDeviceToDeviceStack(device, physical);
    return kernel::STATUS_SUCCESS;
}

void unload(io::DriverObject*) { note("unload"); }

} // namespace

NTSTATUS driverEntry(io::DriverObject* driver, const kernel::UnicodeString* registryPath) {
    note("entry " + narrow(registryPath->view()));
    driver->addDevice = addDevice;
    driver->unload = unload;
    driver->majorFunction[io::major::Create] = dispatchCreate;
    driver->majorFunction[io::major::Cleanup] = dispatchCleanup;
    driver->majorFunction[io::major::Close] = dispatchClose;
    driver->majorFunction[io::major::DeviceControl] = dispatchDeviceControl;
    driver->majorFunction[io::major::Pnp] = dispatchPnp;
    driver->majorFunction[io::major::Power] = dispatchPower;
    return kernel::STATUS_SUCCESS;
}

std::vector<std::string> journal() {
    std::lock_guard guard(theJournal().lock);
    return theJournal().lines;
}

void clearJournal() {
    std::lock_guard guard(theJournal().lock);
    theJournal().lines.clear();
    refusingQueries = false;
}

void refuseQueriesWhileOpen(bool on) { refusingQueries = on; }

} // namespace toy
