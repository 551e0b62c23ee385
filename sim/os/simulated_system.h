// A whole simulated system for end-to-end runs: a manual clock, a USB
// function on a simulated bus, and a driver host. A test loads a driver,
// plugs the device (the driver's add-device routine on the bus's physical
// device, then the start), steps time, and unplugs it again: by surprise
// (the bus loses the device, then surprise removal and remove) or in order
// (query remove and remove). Time moves only in step(), one bus frame at a
// time, so the bus's frames, the driver's timers and the audio engine's
// pumps run in lockstep and every run gives the same result.
//
// A program may run the same system on the platform's real clock instead:
// the bus's frames, the timers and the deferred calls then follow real time
// on the clock's own thread, step() only lets that time pass, and the host
// waits for its calls into the driver. No test runs it so: tests never sleep.
#pragma once

#include "platform/kernel/clock.h"
#include "platform/kernel/status.h"
#include "platform/kernel/time.h"
#include "sim/os/driver_host.h"
#include "sim/usb/function_description.h"
#include "sim/usb/simulated_bus.h"
#include "sim/usb/usb_function.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string_view>

namespace ossim {

enum class SystemTime { manual, real };

class SimulatedSystem {
public:
    // The clock is installed here: one system at a time, made while no
    // timer is set. Throws std::invalid_argument for a description the
    // function cannot express (as usbsim::UsbFunction).
    explicit SimulatedSystem(usbsim::FunctionDescription description,
                             SystemTime time = SystemTime::manual);
    // The host ends first: stacks still there are surprise-removed and
    // removed and the driver unloaded; then the bus and the function go.
    ~SimulatedSystem() = default;
    SimulatedSystem(const SimulatedSystem&) = delete;
    SimulatedSystem& operator=(const SimulatedSystem&) = delete;

    static constexpr std::u16string_view registryPath =
        u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\headset";

    // As DriverHost::load, under the registry path above.
    kernel::NTSTATUS load(DriverEntry entry) { return m_host.load(entry, registryPath); }

    // Add device on the bus's physical device, then start it. The add's
    // refusal is returned as it is; after a refused start the stack stays,
    // added, for a test to remove.
    kernel::NTSTATUS plug();
    // The device left without warning: the bus fails what is pending and
    // what comes, the stack gets surprise removal, then remove.
    kernel::NTSTATUS surpriseRemove();
    // An orderly removal (query remove, then remove); the device stays on
    // the bus. The clients that asked to hear of it are told first, in the
    // order they asked, and close their files; a file still open then vetoes
    // the removal (STATUS_DEVICE_BUSY, the stack stays). While the driver
    // waits in a plug-and-play call for what the device completes, the bus's
    // frames run on, one at a time, for at most five seconds.
    kernel::NTSTATUS remove();

    // A user client with a file of the device open hears of an orderly
    // removal before it comes, as a program that registered for its handle's
    // notices; it is to close the file then. The number to cancel it by.
    std::uint32_t onQueryRemove(std::function<void()> notice);
    void cancelQueryRemoveNotice(std::uint32_t registration);

    // Moves time on by whole frames of the bus, one at a time, and lets the
    // threads each frame woke run to a standstill before the next. Under the
    // real clock: sleeps for the duration while the system runs.
    void step(kernel::Duration duration);

    // A call into the driver on a system thread, as the host makes them
    // (callOnSystemThread under this system's clock), within the bound below.
    kernel::NTSTATUS call(std::function<kernel::NTSTATUS()> work);

    // Bounds the time every call into the driver (the host's and call()'s)
    // may block: while one blocks, the system steps frame by frame, each
    // frame after `beforeFrame` (when given), for at most `bound`; a call
    // still blocked then is a hang, which fails a kernel check (so a test
    // fails instead of going on past it) and reads STATUS_PENDING. A bound
    // of zero puts back the host's own patience. Only under the manual clock.
    void boundCalls(kernel::Duration bound, std::function<void()> beforeFrame = {});

    bool realTime() const { return m_clock == nullptr; }
    // The manual clock; only for a system on one (otherwise a check fails
    // and the program ends).
    kernel::ManualClock& clock();
    DriverHost& host() { return m_host; }
    usbsim::UsbFunction& function() { return m_function; }
    usbsim::SimulatedBus& bus() { return m_bus; }
    io::DeviceObject* device() const { return m_bus.device(); }

private:
    void stepFrame();

    std::unique_ptr<kernel::ManualClock> m_clock; // null under the real clock
    usbsim::UsbFunction m_function;
    usbsim::SimulatedBus m_bus;
    DriverHost m_host;
    std::map<std::uint32_t, std::function<void()>> m_removalNotices;
    std::uint32_t m_lastNotice = 0;
    std::function<void()> m_callStep; // empty while calls are not bounded
    int m_callSteps = 0;
};

} // namespace ossim
