// Control transfers as a host sends them, for the simulator's tests.
#pragma once

#include "sim/usb/usb_function.h"

#include <cstdint>

namespace usbsimtest {

using usbsim::Bytes;
using usbsim::ControlAddress;
using usbsim::ControlReply;
using usbsim::UsbFunction;

inline ControlReply getDescriptor(UsbFunction& function, std::uint8_t type, std::uint8_t index,
                                  std::uint16_t length, std::uint16_t language = 0) {
    return function.control(
        usb::makeSetupPacket(usb::Direction::in, usb::RequestType::standard, usb::Recipient::device,
                             usb::standard_request::getDescriptor,
                             static_cast<std::uint16_t>(type << 8 | index), language, length));
}

inline ControlReply standardOut(UsbFunction& function, usb::Recipient recipient,
                                std::uint8_t request, std::uint16_t value, std::uint16_t index) {
    return function.control(usb::makeSetupPacket(usb::Direction::out, usb::RequestType::standard,
                                                 recipient, request, value, index, 0));
}

inline ControlReply standardIn(UsbFunction& function, usb::Recipient recipient,
                               std::uint8_t request, std::uint16_t value, std::uint16_t index,
                               std::uint16_t length) {
    return function.control(usb::makeSetupPacket(usb::Direction::in, usb::RequestType::standard,
                                                 recipient, request, value, index, length));
}

// A class request to a control, reading `length` bytes.
inline ControlReply classIn(UsbFunction& function, std::uint8_t request, const ControlAddress& at,
                            std::uint16_t length) {
    return function.control(usb::makeSetupPacket(usb::Direction::in,
                                                 usb::RequestType::classSpecific, at.recipient,
                                                 request, at.value, at.index, length));
}

inline ControlReply classOut(UsbFunction& function, std::uint8_t request, const ControlAddress& at,
                             const Bytes& data) {
    return function.control(
        usb::makeSetupPacket(usb::Direction::out, usb::RequestType::classSpecific, at.recipient,
                             request, at.value, at.index, static_cast<std::uint16_t>(data.size())),
        data);
}

inline ControlReply setConfiguration(UsbFunction& function, std::uint8_t value) {
    return standardOut(function, usb::Recipient::device, usb::standard_request::setConfiguration,
                       value, 0);
}

inline ControlReply setInterface(UsbFunction& function, std::uint8_t interface,
                                 std::uint8_t alternate) {
    return standardOut(function, usb::Recipient::interface, usb::standard_request::setInterface,
                       alternate, interface);
}

// Little-endian bytes of a value.
inline Bytes le(std::int64_t value, std::size_t size) {
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
    return out;
}

} // namespace usbsimtest
