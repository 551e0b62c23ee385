#include "sim/usb/simulated_bus.h"

#include "platform/kernel/check.h"
#include "platform/kernel/dpc.h"
#include "platform/kernel/timer.h"
#include "platform/usb/bus_status.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

namespace usbsim {

struct SimulatedBus::Transfer {
    Transfer(SimulatedBus& owner, io::Irp* request, BusRequestKind requestKind)
        : bus(owner), irp(request), kind(requestKind), dpc(SimulatedBus::complete, this) {}
    SimulatedBus& bus;
    io::Irp* const irp;
    const BusRequestKind kind;
    bool stall = false;
    bool gone = false;                                 // lost to an unplug or a port cycle
    bool aborted = false;                              // its pipe was aborted
    bool hasMessage = false;                           // a status message was set aside for it
    kernel::NTSTATUS refusal = kernel::STATUS_SUCCESS; // ends with this, the device not asked
    kernel::Dpc dpc;                                   // completes the request
    kernel::Timer timer; // queues dpc for a delayed request; goes before it
};

namespace {

io::DriverObject& busDriver(io::DispatchRoutine dispatch, io::DispatchRoutine plugAndPlay,
                            io::DispatchRoutine power) {
    static io::DriverObject driver = [dispatch, plugAndPlay, power] {
        io::DriverObject object;
        object.majorFunction[io::major::InternalDeviceControl] = dispatch;
        object.majorFunction[io::major::Pnp] = plugAndPlay;
        object.majorFunction[io::major::Power] = power;
        return object;
    }();
    return driver;
}

// "USB\VID_vvvv&PID_pppp&REV_rrrr", then without the release.
io::DeviceIdentity identityOf(const FunctionDescription& description,
                              std::u16string_view instanceName) {
    char text[48];
    std::snprintf(text, sizeof text, "USB\\VID_%04X&PID_%04X", description.vendorId,
                  description.productId);
    const std::u16string device(text, text + std::strlen(text));
    std::snprintf(text, sizeof text, "&REV_%04X", description.deviceRelease);
    const std::u16string release(text, text + std::strlen(text));
    // The software key of the device under the class of audio devices.
    return {{device + release, device},
            std::u16string(instanceName),
            u"{20628a2e-f588-4861-8353-45b556580c01}\\0000"};
}

void* argumentOf(io::Irp* irp) {
    return io::currentStackLocation(irp)->parameters.others.argument1;
}

usb::RequestHeader* recordOf(io::Irp* irp) {
    return static_cast<usb::RequestHeader*>(argumentOf(irp));
}

// The record of a submitted request; null for the port's other controls.
usb::RequestHeader* submittedRecord(io::Irp* irp) {
    return io::currentStackLocation(irp)->parameters.deviceIoControl.ioControlCode ==
                   usb::internal_ioctl::submitRequest
               ? recordOf(irp)
               : nullptr;
}

BusRequestKind kindOfRecord(const usb::RequestHeader* record) {
    if (record == nullptr) return BusRequestKind::other;
    switch (record->function) {
    case usb::Function::getDescriptorFromDevice:
        return BusRequestKind::descriptor;
    case usb::Function::selectConfiguration:
        return BusRequestKind::selectConfiguration;
    case usb::Function::selectInterface:
        return BusRequestKind::selectInterface;
    case usb::Function::syncResetPipeAndClearStall:
        return BusRequestKind::resetPipe;
    case usb::Function::controlTransfer:
        return BusRequestKind::control;
    case usb::Function::bulkOrInterruptTransfer:
        return BusRequestKind::interrupt;
    case usb::Function::abortPipe:
        return BusRequestKind::abortPipe;
    default:
        return usb::isClassOrVendor(record->function) ? BusRequestKind::control
                                                      : BusRequestKind::other;
    }
}

bool isIsochronous(io::Irp* irp) {
    const usb::RequestHeader* record = submittedRecord(irp);
    return record != nullptr && record->function == usb::Function::isochronousTransfer;
}

BusRequestKind kindOf(io::Irp* irp) {
    switch (io::currentStackLocation(irp)->parameters.deviceIoControl.ioControlCode) {
    case usb::internal_ioctl::submitRequest:
        return kindOfRecord(recordOf(irp));
    case usb::internal_ioctl::getPortStatus:
        return BusRequestKind::portStatus;
    case usb::internal_ioctl::resetPort:
        return BusRequestKind::resetPort;
    case usb::internal_ioctl::cyclePort:
        return BusRequestKind::cyclePort;
    case usb::internal_ioctl::submitIdleNotification:
        return BusRequestKind::idleNotification;
    default:
        return BusRequestKind::other;
    }
}

// Ends a request with a bus status, in its record when it has one.
void fail(io::Irp* irp, usb::BusStatus status, kernel::NTSTATUS ioStatus) {
    if (usb::RequestHeader* record = submittedRecord(irp)) record->status = status;
    irp->ioStatus = {ioStatus, 0};
}
void fail(io::Irp* irp, usb::BusStatus status) { fail(irp, status, ioStatusOf(status)); }

} // namespace

SimulatedBus::SimulatedBus(UsbFunction& function, std::u16string_view instanceName)
    : m_requests(function), m_frames(function.description().highSpeed),
      m_isochronous(function, m_requests, m_frames), m_pnp(m_frames),
      m_identity(identityOf(function.description(), instanceName)) {
    const kernel::NTSTATUS status = io::createDevice(
        busDriver(dispatch, dispatchPlugAndPlay, dispatchPower), sizeof(SimulatedBus*), &m_device);
    if (!kernel::check(kernel::succeeded(status), "the simulated bus has no device")) return;
    *static_cast<SimulatedBus**>(m_device->extension()) = this;
    kernel::check(kernel::succeeded(io::setDeviceIdentity(m_device, m_identity)),
                  "the simulated bus's device has no identity");
}

SimulatedBus::~SimulatedBus() {
    unplug();
    kernel::flushQueuedDpcs();
    if (m_device != nullptr) io::deleteDevice(m_device);
}

void SimulatedBus::injectFault(BusRequestKind kind, BusFault fault, int count) {
    const std::lock_guard guard(m_lock);
    for (int i = 0; i < count; ++i) m_faults.emplace_back(kind, fault);
}

void SimulatedBus::unplug() {
    m_isochronous.unplug();
    const std::lock_guard guard(m_lock);
    m_plugged = false;
    loseRequests();
}

void SimulatedBus::loseRequests() {
    for (const std::unique_ptr<Transfer>& transfer : m_transfers) {
        transfer->gone = true;
        transfer->timer.cancel();
        kernel::queueDpc(transfer->dpc, nullptr, nullptr);
    }
}

bool SimulatedBus::resumePort() {
    const std::lock_guard guard(m_lock);
    io::Irp* const waiting = m_idle.resume();
    if (waiting != nullptr) endSoon(waiting);
    return waiting != nullptr;
}

void SimulatedBus::endSoon(io::Irp* irp) {
    for (const std::unique_ptr<Transfer>& transfer : m_transfers) {
        if (transfer->irp != irp) continue;
        transfer->timer.cancel();
        kernel::queueDpc(transfer->dpc, nullptr, nullptr);
    }
}

void SimulatedBus::replug() {
    m_isochronous.replug();
    const std::lock_guard guard(m_lock);
    m_plugged = true;
}

bool SimulatedBus::plugged() const {
    const std::lock_guard guard(m_lock);
    return m_plugged;
}

std::size_t SimulatedBus::pendingRequests() const {
    const std::lock_guard guard(m_lock);
    return m_transfers.size();
}

int SimulatedBus::received(BusRequestKind kind) const {
    const std::lock_guard guard(m_lock);
    return m_received[static_cast<int>(kind)];
}

kernel::NTSTATUS SimulatedBus::dispatch(io::DeviceObject* device, io::Irp* irp) {
    return (*static_cast<SimulatedBus**>(device->extension()))->receive(irp);
}

kernel::NTSTATUS SimulatedBus::receive(io::Irp* irp) {
    if (isIsochronous(irp)) return m_isochronous.receive(irp, cancelIsochronous);
    const BusRequestKind kind = kindOf(irp);
    auto owned = std::make_unique<Transfer>(*this, irp, kind);
    Transfer& transfer = *owned;
    io::markPending(irp);
    const std::lock_guard guard(m_lock);
    ++m_received[static_cast<int>(kind)];
    // A fault is for a request that reaches the device: none is used up while unplugged.
    std::optional<BusFault> fault;
    const auto due = std::find_if(m_faults.begin(), m_faults.end(),
                                  [kind](const auto& entry) { return entry.first == kind; });
    if (m_plugged && due != m_faults.end()) {
        fault = due->second;
        m_faults.erase(due);
    }
    const bool failing =
        fault && (fault->type == BusFault::Type::stall || fault->type == BusFault::Type::fail);
    if (kind == BusRequestKind::idleNotification && m_plugged && !failing)
        if (const kernel::NTSTATUS status = m_idle.arrive(irp, *io::currentStackLocation(irp));
            status != kernel::STATUS_PENDING)
            transfer.refusal = status;
    m_transfers.push_back(std::move(owned));
    io::setCancelRoutine(irp, cancel);
    if (kind == BusRequestKind::interrupt && !failing && m_plugged) {
        // Waits for a status message; a delay or hold changes nothing.
        deliverStatusMessage();
        return kernel::STATUS_PENDING;
    }
    schedule(transfer, fault ? &*fault : nullptr);
    return kernel::STATUS_PENDING;
}

void SimulatedBus::schedule(Transfer& transfer, const BusFault* fault) {
    if (fault == nullptr || transfer.irp->cancelled() || !m_plugged) {
        kernel::queueDpc(transfer.dpc, nullptr, nullptr);
        return;
    }
    switch (fault->type) {
    case BusFault::Type::stall:
        transfer.stall = true;
        kernel::queueDpc(transfer.dpc, nullptr, nullptr);
        break;
    case BusFault::Type::fail:
        transfer.refusal = fault->status;
        kernel::queueDpc(transfer.dpc, nullptr, nullptr);
        break;
    case BusFault::Type::delay:
        transfer.timer.set(fault->delay, kernel::Duration::zero(), &transfer.dpc);
        break;
    case BusFault::Type::hold:
        break; // until cancel or unplug queues the call
    }
}

std::unique_ptr<SimulatedBus::Transfer> SimulatedBus::take(Transfer* transfer) {
    const std::lock_guard guard(m_lock);
    const auto at = std::find_if(m_transfers.begin(), m_transfers.end(),
                                 [transfer](const auto& entry) { return entry.get() == transfer; });
    if (at == m_transfers.end()) return nullptr;
    std::unique_ptr<Transfer> taken = std::move(*at);
    m_transfers.erase(at);
    // A cancel or unplug may have queued the call again while it ran.
    taken->timer.cancel();
    kernel::removeQueuedDpc(taken->dpc);
    return taken;
}

void SimulatedBus::complete(kernel::Dpc&, void* context, void*, void*) {
    auto* transfer = static_cast<Transfer*>(context);
    SimulatedBus& bus = transfer->bus;
    if (bus.suspendsInstead(*transfer)) return;
    if (std::unique_ptr<Transfer> taken = bus.take(transfer)) bus.finish(std::move(taken));
}

bool SimulatedBus::suspendsInstead(const Transfer& transfer) {
    if (transfer.kind != BusRequestKind::idleNotification) return false;
    const std::lock_guard guard(m_lock);
    return m_plugged && !transfer.gone && transfer.refusal == kernel::STATUS_SUCCESS &&
           m_idle.suspend(transfer.irp);
}

void SimulatedBus::finish(std::unique_ptr<Transfer> transfer) {
    io::Irp* const irp = transfer->irp;
    // A cancel that took the routine first has left the request to this call.
    io::setCancelRoutine(irp, nullptr);
    const bool plugged = this->plugged();
    if (irp->cancelled() || transfer->aborted)
        fail(irp, usb::BusStatus::cancelled);
    else if ((!plugged || transfer->gone) && transfer->kind != BusRequestKind::portStatus)
        fail(irp, usb::BusStatus::deviceGone);
    else if (transfer->stall)
        fail(irp, usb::BusStatus::stall);
    else if (transfer->refusal != kernel::STATUS_SUCCESS)
        fail(irp, usb::BusStatus::deviceNotResponding, transfer->refusal);
    else
        serve(irp, transfer->kind, plugged);
    if (transfer->kind == BusRequestKind::idleNotification) m_idle.ended(irp);
    io::completeRequest(irp);
    // transfer, and the call running now, go here.
}

void SimulatedBus::serve(io::Irp* irp, BusRequestKind kind, bool plugged) {
    const std::uint32_t code =
        io::currentStackLocation(irp)->parameters.deviceIoControl.ioControlCode;
    if (kind == BusRequestKind::interrupt) return serveStatusTransfer(irp);
    if (kind == BusRequestKind::abortPipe) {
        abortStatusTransfers();
        irp->ioStatus = {kernel::STATUS_SUCCESS, 0};
        recordOf(irp)->status = usb::BusStatus::success;
        return;
    }
    if (code == usb::internal_ioctl::submitRequest) {
        usb::RequestHeader* record = recordOf(irp);
        irp->ioStatus = {record == nullptr ? kernel::STATUS_INVALID_PARAMETER
                                           : ioStatusOf(m_requests.serve(*record)),
                         0};
        return;
    }
    servePort(irp, kind, plugged);
}

void SimulatedBus::servePort(io::Irp* irp, BusRequestKind kind, bool plugged) {
    kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    switch (kind) {
    case BusRequestKind::portStatus:
        if (auto* word = static_cast<std::uint32_t*>(argumentOf(irp)); word != nullptr)
            *word = plugged ? usb::port_status::enabled | usb::port_status::connected : 0;
        else
            status = kernel::STATUS_INVALID_PARAMETER;
        break;
    case BusRequestKind::resetPort:
        m_requests.portReset();
        break;
    case BusRequestKind::cyclePort:
        // Off the bus and back: what was pending is lost with the device,
        // streams included.
        m_isochronous.unplug();
        m_isochronous.replug();
        {
            const std::lock_guard guard(m_lock);
            loseRequests();
        }
        m_requests.portCycled();
        break;
    case BusRequestKind::idleNotification:
        break; // the port resumed
    default:
        status = kernel::STATUS_INVALID_DEVICE_REQUEST;
        break;
    }
    irp->ioStatus = {status, 0};
}

void SimulatedBus::postStatusMessage(std::vector<std::uint8_t> message) {
    const std::lock_guard guard(m_lock);
    m_statusMessages.push_back(std::move(message));
    deliverStatusMessage();
}

bool SimulatedBus::deliverStatusMessage() {
    if (m_statusMessages.empty()) return false;
    for (const std::unique_ptr<Transfer>& transfer : m_transfers) {
        if (transfer->kind != BusRequestKind::interrupt || transfer->hasMessage ||
            transfer->aborted || transfer->gone)
            continue;
        transfer->hasMessage = true;
        kernel::queueDpc(transfer->dpc, nullptr, nullptr);
        return true;
    }
    return false;
}

void SimulatedBus::serveStatusTransfer(io::Irp* irp) {
    auto* record = usb::requestAs<usb::BulkOrInterruptTransfer>(
        recordOf(irp), usb::Function::bulkOrInterruptTransfer);
    std::vector<std::uint8_t> message;
    {
        const std::lock_guard guard(m_lock);
        if (!m_statusMessages.empty()) {
            message = std::move(m_statusMessages.front());
            m_statusMessages.pop_front();
        }
    }
    if (record == nullptr || (record->transfer.transferBuffer == nullptr &&
                              record->transfer.transferBufferLength != 0)) {
        fail(irp, usb::BusStatus::invalidParameter);
        return;
    }
    const std::size_t moved =
        std::min<std::size_t>(message.size(), record->transfer.transferBufferLength);
    if (moved != 0) std::memcpy(record->transfer.transferBuffer, message.data(), moved);
    record->transfer.transferBufferLength = static_cast<std::uint32_t>(moved);
    record->header.status = usb::BusStatus::success;
    irp->ioStatus = {kernel::STATUS_SUCCESS, 0};
}

void SimulatedBus::abortStatusTransfers() {
    const std::lock_guard guard(m_lock);
    for (const std::unique_ptr<Transfer>& transfer : m_transfers) {
        if (transfer->kind != BusRequestKind::interrupt) continue;
        transfer->aborted = true;
        transfer->timer.cancel();
        kernel::queueDpc(transfer->dpc, nullptr, nullptr);
    }
}

void SimulatedBus::cancel(io::DeviceObject* device, io::Irp* irp) {
    SimulatedBus& bus = **static_cast<SimulatedBus**>(device->extension());
    const std::lock_guard guard(bus.m_lock);
    bus.endSoon(irp);
}

} // namespace usbsim
