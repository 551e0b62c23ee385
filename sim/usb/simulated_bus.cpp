#include "sim/usb/simulated_bus.h"

#include "platform/kernel/check.h"
#include "platform/kernel/dpc.h"
#include "platform/kernel/timer.h"
#include "platform/usb/bus_status.h"

#include <algorithm>
#include <optional>

namespace usbsim {

struct SimulatedBus::Transfer {
    Transfer(SimulatedBus& owner, io::Irp* request, BusRequestKind requestKind)
        : bus(owner), irp(request), kind(requestKind), dpc(SimulatedBus::complete, this) {}
    SimulatedBus& bus;
    io::Irp* const irp;
    const BusRequestKind kind;
    bool stall = false;
    kernel::Dpc dpc;     // completes the request
    kernel::Timer timer; // queues dpc for a delayed request; goes before it
};

namespace {

io::DriverObject& busDriver(io::DispatchRoutine dispatch, io::DispatchRoutine plugAndPlay) {
    static io::DriverObject driver = [dispatch, plugAndPlay] {
        io::DriverObject object;
        object.majorFunction[io::major::InternalDeviceControl] = dispatch;
        object.majorFunction[io::major::Pnp] = plugAndPlay;
        return object;
    }();
    return driver;
}

void* argumentOf(io::Irp* irp) {
    return io::currentStackLocation(irp)->parameters.others.argument1;
}

usb::RequestHeader* recordOf(io::Irp* irp) {
    return static_cast<usb::RequestHeader*>(argumentOf(irp));
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
    default:
        return isClassOrVendor(record->function) ? BusRequestKind::control : BusRequestKind::other;
    }
}

bool isIsochronous(io::Irp* irp) {
    const usb::RequestHeader* record = recordOf(irp);
    return io::currentStackLocation(irp)->parameters.deviceIoControl.ioControlCode ==
               usb::internal_ioctl::submitRequest &&
           record != nullptr && record->function == usb::Function::isochronousTransfer;
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
    default:
        return BusRequestKind::other;
    }
}

// Ends a request with a bus status, in its record when it has one.
void fail(io::Irp* irp, usb::BusStatus status) {
    const bool submit = io::currentStackLocation(irp)->parameters.deviceIoControl.ioControlCode ==
                        usb::internal_ioctl::submitRequest;
    if (usb::RequestHeader* record = recordOf(irp); submit && record != nullptr)
        record->status = status;
    irp->ioStatus = {ioStatusOf(status), 0};
}

} // namespace

SimulatedBus::SimulatedBus(UsbFunction& function)
    : m_requests(function), m_frames(function.description().highSpeed),
      m_isochronous(function, m_requests, m_frames), m_pnp(m_frames) {
    const kernel::NTSTATUS status = io::createDevice(busDriver(dispatch, dispatchPlugAndPlay),
                                                     sizeof(SimulatedBus*), &m_device);
    if (!kernel::check(kernel::succeeded(status), "the simulated bus has no device")) return;
    *static_cast<SimulatedBus**>(m_device->extension()) = this;
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
    for (const std::unique_ptr<Transfer>& transfer : m_transfers) {
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
    m_transfers.push_back(std::move(owned));
    io::setCancelRoutine(irp, cancel);
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
    if (std::unique_ptr<Transfer> taken = bus.take(transfer)) bus.finish(std::move(taken));
}

void SimulatedBus::finish(std::unique_ptr<Transfer> transfer) {
    io::Irp* const irp = transfer->irp;
    // A cancel that took the routine first has left the request to this call.
    io::setCancelRoutine(irp, nullptr);
    const bool plugged = this->plugged();
    if (irp->cancelled())
        fail(irp, usb::BusStatus::cancelled);
    else if (!plugged && transfer->kind != BusRequestKind::portStatus)
        fail(irp, usb::BusStatus::deviceGone);
    else if (transfer->stall)
        fail(irp, usb::BusStatus::stall);
    else
        serve(irp, transfer->kind, plugged);
    io::completeRequest(irp);
    // transfer, and the call running now, go here.
}

void SimulatedBus::serve(io::Irp* irp, BusRequestKind kind, bool plugged) {
    const std::uint32_t code =
        io::currentStackLocation(irp)->parameters.deviceIoControl.ioControlCode;
    if (code == usb::internal_ioctl::submitRequest) {
        usb::RequestHeader* record = recordOf(irp);
        irp->ioStatus = {record == nullptr ? kernel::STATUS_INVALID_PARAMETER
                                           : ioStatusOf(m_requests.serve(*record)),
                         0};
        return;
    }
    if (kind == BusRequestKind::portStatus) {
        auto* word = static_cast<std::uint32_t*>(argumentOf(irp));
        if (word != nullptr)
            *word = plugged ? usb::port_status::enabled | usb::port_status::connected : 0;
        irp->ioStatus = {
            word == nullptr ? kernel::STATUS_INVALID_PARAMETER : kernel::STATUS_SUCCESS, 0};
        return;
    }
    irp->ioStatus = {kind == BusRequestKind::other ? kernel::STATUS_INVALID_DEVICE_REQUEST
                                                   : kernel::STATUS_SUCCESS,
                     0};
}

void SimulatedBus::cancel(io::DeviceObject* device, io::Irp* irp) {
    SimulatedBus& bus = **static_cast<SimulatedBus**>(device->extension());
    const std::lock_guard guard(bus.m_lock);
    for (const std::unique_ptr<Transfer>& transfer : bus.m_transfers) {
        if (transfer->irp != irp) continue;
        transfer->timer.cancel();
        kernel::queueDpc(transfer->dpc, nullptr, nullptr);
    }
}

} // namespace usbsim
