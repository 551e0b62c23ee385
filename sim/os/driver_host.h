// The system's side of a driver: it loads the driver (calls its entry point
// with a driver object and a registry path), builds a device stack on each
// physical device it is given (the driver's add-device routine), and sends
// the stack the plug-and-play sequence and device power changes as I/O
// requests from the top, each on a system thread of its own, waiting for
// its completion by settling the manual clock (or, under the real clock, by
// waiting for it). A call that still waits once the clock settled (on a
// timed wait, or a request the bus serves in a later frame) gets time: the
// clock moves on a millisecond at a time, settling after each, for at most
// callAllowance. It refuses what a system
// would never send: a start of a stack that is running, a request to a
// stack that is gone, an unload while the driver has stacks.
#pragma once

#include "platform/io/device_interface.h"
#include "platform/io/device_object.h"
#include "platform/io/irp.h"
#include "platform/io/pnp.h"
#include "platform/io/power_state.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unicode_string.h"
#include "platform/portcls/subdevice_access.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace ossim {

using DriverEntry = kernel::NTSTATUS (*)(io::DriverObject* driver,
                                         const kernel::UnicodeString* registryPath);

// Where a stack stands in its plug-and-play life.
enum class StackState {
    added,          // the driver's device is on the stack, not started
    started,        // started; power changes may follow
    stopped,        // stopped for a change of resources; may start again
    surpriseRemoved // the device is gone; only the remove may follow
};

class DriverHost {
public:
    // The most clock time one call into the driver may take under the
    // manual clock before the host gives up waiting (STATUS_PENDING).
    static constexpr kernel::Duration callAllowance = std::chrono::seconds(1);

    // Sets itself as the power manager that serves power requests
    // (io::setPowerRequestRoutine): each goes down the device's stack from
    // its top. One host serves them at a time: the one made last, until it
    // ends. The clock must outlive the host.
    explicit DriverHost(kernel::ManualClock& clock) : DriverHost(&clock) {}
    // Under the manual clock given, or under the real clock for null: then
    // the host waits for its calls into the driver (system_call.h).
    explicit DriverHost(kernel::ManualClock* clock);
    // Removes the stacks still there (surprise removal, then remove) and
    // unloads the driver.
    ~DriverHost();
    DriverHost(const DriverHost&) = delete;
    DriverHost& operator=(const DriverHost&) = delete;

    // Calls the entry point; the driver counts as loaded when it succeeds
    // (an entry still blocked once the clock settled has not).
    // STATUS_INVALID_DEVICE_REQUEST when a driver is loaded already,
    // STATUS_INVALID_PARAMETER without an entry point or a registry path.
    kernel::NTSTATUS load(DriverEntry entry, std::u16string_view registryPath);
    bool loaded() const { return m_loaded; }
    const io::DriverObject& driverObject() const { return m_driver; }

    // Calls the driver's add-device routine for the physical device; on
    // success the stack is added. STATUS_INVALID_DEVICE_REQUEST when no
    // driver is loaded, it has no add-device routine or the device has a
    // stack of this host already; STATUS_INVALID_PARAMETER for no device.
    kernel::NTSTATUS addDevice(io::DeviceObject* physicalDevice);

    // Start with the resource list (a USB function has none; the list stays
    // valid until the start completes): from added or stopped. On success
    // the stack is started and powered (D0).
    kernel::NTSTATUS startDevice(io::DeviceObject* physicalDevice,
                                 const io::ResourceList& resources = {});

    // Query stop, then stop; a refused query gets a cancel stop and the
    // stack stays started. From started.
    kernel::NTSTATUS stopDevice(io::DeviceObject* physicalDevice);

    // The device left without warning: surprise removal, from added,
    // started or stopped. Only removeDevice may follow.
    kernel::NTSTATUS surpriseRemove(io::DeviceObject* physicalDevice);

    // An orderly removal: query remove first (a refused query gets a cancel
    // remove, the stack stays and the refusal is returned), then remove;
    // after a surprise removal only the remove. As the system does, the
    // removal is also vetoed (cancel remove, STATUS_DEVICE_BUSY) while a
    // user process still holds a file open on the stack once the query
    // has passed: a client must close its files when told of the removal.
    // The stack is gone after the remove, whatever its status.
    kernel::NTSTATUS removeDevice(io::DeviceObject* physicalDevice);

    // Sends any other plug-and-play request (queries, cancels) with the
    // location's parameters; the stack's state does not change. Starts,
    // stops and removals go through the calls above
    // (STATUS_INVALID_PARAMETER here).
    kernel::NTSTATUS sendPnp(io::DeviceObject* physicalDevice, std::uint8_t minorFunction,
                             const io::IoStackLocation::Parameters& parameters = {});

    // Under the manual clock: a call that still blocks in the driver once
    // the clock settled gets time moved on by `advance` (one step each, at
    // most maxSteps) instead of the clock's own millisecond steps, as a
    // system's bus goes on while a driver waits in a removal for the
    // transfers its device completes.
    void setCallAdvance(std::function<void()> advance, int maxSteps);
    // With this on, a call still blocked once its time ran out (the
    // allowance, or the advance's steps) is a hang: a kernel check fails, so
    // a test fails instead of going on past a driver that never returns.
    // The call reads STATUS_PENDING either way.
    void setHangsFail(bool on) { m_hangsFail = on; }

    // A device power request down the stack (started stacks only). The
    // power state is recorded on success.
    kernel::NTSTATUS setDevicePower(io::DeviceObject* physicalDevice, io::DevicePowerState state);

    // Calls the driver's unload routine. STATUS_DEVICE_BUSY while it has
    // stacks, STATUS_INVALID_DEVICE_REQUEST when none is loaded or it has no
    // unload routine (such a driver stays loaded).
    kernel::NTSTATUS unload();

    // STATUS_NO_SUCH_DEVICE for a device without a stack of this host.
    kernel::NTSTATUS stackState(io::DeviceObject* physicalDevice, StackState* state) const;
    io::DevicePowerState powerState(io::DeviceObject* physicalDevice) const;
    std::size_t stacks() const { return m_stacks.size(); }

    // What the driver registered on the physical device, in order.
    std::vector<io::DeviceInterfaceEntry> deviceInterfaces(io::DeviceObject* physicalDevice) const;

    // An audio adapter's subdevices and the physical connections between
    // them, in order of registration, as the port layer keeps them for the
    // device on top of the stack; empty for a stack that is not started or
    // a driver that is no audio adapter.
    std::vector<portcls::SubdeviceRecord> subdevices(io::DeviceObject* physicalDevice) const;
    std::vector<portcls::PhysicalConnectionRecord>
    physicalConnections(io::DeviceObject* physicalDevice) const;
    // Opens the filter of the subdevice by name (without regard to case).
    // STATUS_NO_SUCH_DEVICE without a stack, STATUS_INVALID_DEVICE_REQUEST
    // for a stack that is not started; otherwise as FilterHandle::open.
    kernel::NTSTATUS openFilter(io::DeviceObject* physicalDevice, std::u16string_view name,
                                portcls::FilterHandle& filter) const;

private:
    struct Stack {
        io::DeviceObject* physicalDevice; // referenced while the stack is here
        StackState state;
        io::DevicePowerState power;
    };

    Stack* find(io::DeviceObject* physicalDevice);
    const Stack* find(io::DeviceObject* physicalDevice) const;
    // The device on top of a started stack (with no reference); null for another.
    io::DeviceObject* startedTop(io::DeviceObject* physicalDevice) const;
    void drop(io::DeviceObject* physicalDevice);
    // STATUS_NO_SUCH_DEVICE without a stack, STATUS_INVALID_DEVICE_REQUEST
    // when the stack is in none of the states given.
    kernel::NTSTATUS expect(io::DeviceObject* physicalDevice,
                            std::initializer_list<StackState> states, Stack** stack);
    // A call into the driver on a system thread of its own, with the
    // allowance of clock time above or the advance a test gave.
    kernel::NTSTATUS callDriver(std::function<kernel::NTSTATUS()> call);
    kernel::NTSTATUS sendPnpTo(Stack& stack, std::uint8_t minorFunction,
                               const io::IoStackLocation::Parameters& parameters = {});
    static kernel::NTSTATUS servePowerRequest(void* host, io::DeviceObject* device, io::Irp* irp);

    // Files user processes hold open on any device of the stack.
    static std::size_t userFilesOpen(io::DeviceObject* physicalDevice);

    kernel::ManualClock* m_clock; // null under the real clock
    std::function<void()> m_callAdvance;
    int m_callMaxSteps = 0;
    bool m_hangsFail = false;
    io::DriverObject m_driver;
    std::u16string m_registryPath; // the driver may keep the text while it is loaded
    kernel::UnicodeString m_registryPathString;
    bool m_loaded = false;
    std::vector<Stack> m_stacks;
};

} // namespace ossim
