// The bus a simulated function sits on: a physical device whose internal
// device controls are the bus's. Submit-request carries a request record in
// the location's others.argument1 (control, class and vendor requests,
// descriptor requests, configuration and interface selection, reset pipe);
// get-port-status writes the port status word to the 32-bit value its
// argument1 points at; reset-port resets the function (halts and controls,
// the configuration stays); cycle-port acts as an unplug and replug: the
// other pending requests fail with device gone and the function powers on
// unconfigured. Submit-idle-notification is the hub's selective suspend
// (idle_port.h). Every request completes later, in a deferred procedure call
// (under a manual clock the next settle or advance), with the record's bus
// status and the I/O status filled in; the function is asked when the
// request completes, not when it arrives, so a request held back or
// cancelled never reaches it.
//
// Isochronous transfers go to the bus's schedule (isochronous_schedule.h),
// which runs on the bus's frame clock; they take no faults but unplug and
// cancel. Plug-and-play requests to the device are answered by
// BusPlugAndPlay, which hands out the bus interface.
//
// The physical device has an identity, as the bus found it: hardware ids
// from the function's vendor, product and release, most specific first, an
// instance name and a driver key, so a driver on it reads its device
// properties and registers device interfaces. It answers device power
// requests with success in a deferred call of its own (simulated_bus_power)
// and keeps the state; a device that loses its settings in low power gets
// its controls' initial values back when it leaves D0, as a bus-powered
// device whose codec is switched off does. Other power requests succeed at
// once.
//
// Bulk and interrupt transfers read the function's status endpoint: each
// waits until a status message is posted (postStatusMessage; messages
// posted before wait for a transfer) and ends with its bytes, cut to the
// transfer's length. Abort-pipe ends every waiting transfer cancelled.
//
// Faults on demand, per kind of request: stall the next ones, fail them with
// a given status, delay them by clock time, hold them until they are
// cancelled, and unplug the device, which fails pending and new requests
// with device gone until it is plugged in again.
#pragma once

#include "platform/io/device_object.h"
#include "platform/io/irp.h"
#include "platform/io/power_state.h"
#include "platform/kernel/dpc.h"
#include "platform/kernel/time.h"
#include "sim/usb/bus_plug_and_play.h"
#include "sim/usb/bus_requests.h"
#include "sim/usb/frame_clock.h"
#include "sim/usb/idle_port.h"
#include "sim/usb/isochronous_schedule.h"
#include "sim/usb/usb_function.h"

#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

namespace usbsim {

enum class BusRequestKind {
    control, // control transfers, class and vendor requests
    descriptor,
    selectConfiguration,
    selectInterface,
    resetPipe,
    portStatus,
    resetPort,
    cyclePort,
    idleNotification,
    interrupt, // bulk or interrupt transfers: the status endpoint's messages
    abortPipe,
    other, // a record of a function the bus does not serve, or another control
    count,
};

// How the next request of a kind goes wrong. A failed request ends with the
// status given, without reaching the device; a request record's bus status
// then says the device did not respond.
struct BusFault {
    enum class Type { stall, fail, delay, hold } type = Type::stall;
    kernel::Duration delay{0};                             // for delay
    kernel::NTSTATUS status = kernel::STATUS_UNSUCCESSFUL; // for fail
};

class SimulatedBus {
public:
    // The function must outlive the bus. The instance name tells two buses
    // of the same function apart.
    explicit SimulatedBus(UsbFunction& function,
                          std::u16string_view instanceName = defaultInstanceName);
    // Fails the requests still pending, as an unplug does, and completes them.
    // The driver's device is detached first.
    ~SimulatedBus();
    SimulatedBus(const SimulatedBus&) = delete;
    SimulatedBus& operator=(const SimulatedBus&) = delete;

    static constexpr std::u16string_view defaultInstanceName = u"5&2a61c0f&0&1";

    // The physical device a driver's device attaches to.
    io::DeviceObject* device() const { return m_device; }
    const io::DeviceIdentity& identity() const { return m_identity; }

    // The next `count` requests of the kind get the fault, in the order the
    // faults were given; a fault waits while the device is unplugged.
    void injectFault(BusRequestKind kind, BusFault fault, int count = 1);

    // Pending requests fail with device gone, and new ones too until replug.
    void unplug();
    void replug();
    bool plugged() const;

    // Selective suspend: whether the port takes idle requests (it does
    // unless switched off), and the port resuming, which ends the waiting
    // idle request with success; false when none waits.
    void setIdleNotificationSupported(bool supported) { m_idle.setSupported(supported); }
    bool resumePort();
    bool portSuspended() const { return m_idle.suspended(); }
    int idleCallbacks() const { return m_idle.callbacks(); }

    // Whether the function's controls take their initial values again when
    // the driver takes the device out of D0 (halts clear too; the
    // configuration and the interface settings stay, as in a USB suspend).
    // Off unless switched on.
    void setLosesSettingsInLowPower(bool loses);
    // The device power state the driver last set through the bus (D0 at first).
    io::DevicePowerState devicePower() const;

    // The frame clock (full or high speed as the function's description says),
    // the isochronous transfers and their endpoints, the plug-and-play answers.
    const FrameClock& frames() const { return m_frames; }
    IsochronousSchedule& isochronous() { return m_isochronous; }
    const BusPlugAndPlay& plugAndPlay() const { return m_pnp; }

    // A message of the status endpoint, for the next transfer that reads it.
    void postStatusMessage(std::vector<std::uint8_t> message);
    // Requests received and not yet completed (isochronous transfers aside).
    std::size_t pendingRequests() const;
    // Internal device controls received, per kind.
    int received(BusRequestKind kind) const;

private:
    struct Transfer;
    static kernel::NTSTATUS dispatch(io::DeviceObject* device, io::Irp* irp);
    static void complete(kernel::Dpc& dpc, void* context, void* argument1, void* argument2);
    static void cancel(io::DeviceObject* device, io::Irp* irp);
    static kernel::NTSTATUS dispatchPlugAndPlay(io::DeviceObject* device, io::Irp* irp);
    static kernel::NTSTATUS dispatchPower(io::DeviceObject* device, io::Irp* irp);
    static void cancelIsochronous(io::DeviceObject* device, io::Irp* irp);
    static void servePower(kernel::Dpc& dpc, void* context, void* argument1, void* argument2);
    kernel::NTSTATUS receivePower(io::Irp* irp);

    kernel::NTSTATUS receive(io::Irp* irp);
    void schedule(Transfer& transfer, const BusFault* fault); // under the lock
    // An idle request whose call came: the hub suspends the port instead of
    // completing it.
    bool suspendsInstead(const Transfer& transfer);
    // Fails every pending request with device gone.
    void loseRequests(); // under the lock
    // Queues the call that ends the request, now (under the lock).
    void endSoon(io::Irp* irp);
    void finish(std::unique_ptr<Transfer> transfer);
    // Runs the request against the function; fills record and I/O status.
    void serve(io::Irp* irp, BusRequestKind kind, bool plugged);
    void servePort(io::Irp* irp, BusRequestKind kind, bool plugged);
    // A waiting status transfer takes the first message; false when none
    // waits (under the lock).
    bool deliverStatusMessage();
    void serveStatusTransfer(io::Irp* irp);
    void abortStatusTransfers();
    std::unique_ptr<Transfer> take(Transfer* transfer); // out of the list; null when gone

    BusRequests m_requests;
    IdlePort m_idle;
    FrameClock m_frames;
    IsochronousSchedule m_isochronous;
    BusPlugAndPlay m_pnp;
    io::DeviceIdentity m_identity;
    io::DeviceObject* m_device = nullptr;
    mutable std::mutex m_lock;
    std::list<std::unique_ptr<Transfer>> m_transfers;
    std::list<std::pair<BusRequestKind, BusFault>> m_faults;
    std::list<std::vector<std::uint8_t>> m_statusMessages;
    int m_received[static_cast<int>(BusRequestKind::count)] = {};
    bool m_plugged = true;
    // Device power requests wait here for the bus's deferred call.
    kernel::Dpc m_powerDpc{servePower, this};
    std::list<io::Irp*> m_powerRequests;
    io::DevicePowerState m_devicePower = io::DevicePowerState::D0;
    bool m_losesSettings = false;
};

} // namespace usbsim
