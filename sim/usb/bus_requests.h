// What the simulated bus does with a request record: it turns control,
// class, vendor and descriptor requests into control transfers of the
// function, selects configurations and interfaces and fills in the handles
// and pipe information, and resets pipes by clearing the endpoint's halt.
// Handles point into this object, so the driver can only hand back what it
// was given.
#pragma once

#include "platform/kernel/status.h"
#include "platform/usb/requests.h"
#include "platform/usb/select_request.h"
#include "sim/usb/usb_function.h"

#include <array>
#include <cstdint>
#include <optional>

namespace usbsim {

// The I/O status a request ends with beside its bus status.
kernel::NTSTATUS ioStatusOf(usb::BusStatus status);

class BusRequests {
public:
    explicit BusRequests(UsbFunction& function) : m_function(function) {}

    // Serves the record, sets its bus status and returns it. invalidParameter
    // for a record shorter than its function needs, a buffer missing or
    // longer than a control transfer can carry, interface records running
    // past the request, or a handle the bus did not give; invalidFunction
    // for a function the bus does not serve.
    usb::BusStatus serve(usb::RequestHeader& record);

    // The port was reset: the function's own state returns to its start;
    // the configuration, and every handle given, stay.
    void portReset() { m_function.portReset(); }
    // The port was cycled: the function powers on unconfigured and no handle
    // given before is taken any more.
    void portCycled();
    // The endpoint address behind a pipe handle the bus gave; nothing for
    // any other handle.
    std::optional<std::uint8_t> endpointOf(usb::PipeHandle pipe) const;

private:
    usb::BusStatus control(usb::SetupPacket setup, usb::TransferFields& transfer);
    usb::BusStatus selectConfiguration(usb::SelectConfigurationRequest& request);
    usb::BusStatus selectInterface(usb::SelectInterfaceRequest& request);
    usb::BusStatus resetPipe(const usb::PipeRequest& request);
    // Fills the bus's part of an interface record from the function's configuration.
    usb::BusStatus describe(usb::InterfaceInformation& interface);
    usb::BusStatus dispatch(usb::RequestHeader& record);

    UsbFunction& m_function;
    // Handles: the configuration, an interface by number, a pipe by endpoint
    // (number, plus 16 for IN); a pipe slot holds its address once given.
    std::uint8_t m_configuration = 0;
    std::array<std::uint8_t, 32> m_interfaces{};
    std::array<std::uint8_t, 32> m_pipes{};
    std::array<bool, 32> m_pipeGiven{};
};

} // namespace usbsim
