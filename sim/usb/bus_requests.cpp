#include "sim/usb/bus_requests.h"

#include "platform/usb/configuration.h"
#include "platform/usb/descriptors.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace usbsim {

namespace {

constexpr std::size_t pipeSlot(std::uint8_t address) {
    return (address & usb::endpoint::numberMask) | (usb::endpoint::isIn(address) ? 16 : 0);
}

// The record a served function needs; 0 for a function the bus does not serve.
std::size_t recordLength(usb::Function function) {
    switch (function) {
    case usb::Function::controlTransfer:
        return sizeof(usb::ControlTransferRequest);
    case usb::Function::getDescriptorFromDevice:
        return sizeof(usb::DescriptorRequest);
    case usb::Function::selectConfiguration:
        return sizeof(usb::SelectConfigurationRequest);
    case usb::Function::selectInterface:
        return sizeof(usb::SelectInterfaceRequest);
    case usb::Function::syncResetPipeAndClearStall:
        return sizeof(usb::PipeRequest);
    default:
        return usb::isClassOrVendor(function) ? sizeof(usb::ClassOrVendorRequest) : 0;
    }
}

} // namespace

kernel::NTSTATUS ioStatusOf(usb::BusStatus status) {
    switch (status) {
    case usb::BusStatus::success:
        return kernel::STATUS_SUCCESS;
    case usb::BusStatus::invalidParameter:
        return kernel::STATUS_INVALID_PARAMETER;
    case usb::BusStatus::invalidFunction:
        return kernel::STATUS_NOT_SUPPORTED;
    case usb::BusStatus::deviceGone:
        return kernel::STATUS_DEVICE_NOT_CONNECTED;
    case usb::BusStatus::cancelled:
        return kernel::STATUS_CANCELLED;
    default:
        return kernel::STATUS_UNSUCCESSFUL;
    }
}

usb::BusStatus BusRequests::serve(usb::RequestHeader& record) {
    record.status = dispatch(record);
    return record.status;
}

void BusRequests::portCycled() {
    m_function.powerOn();
    m_configuration = 0;
    m_pipeGiven = {};
}

usb::BusStatus BusRequests::dispatch(usb::RequestHeader& record) {
    using usb::Function;
    const std::size_t needed = recordLength(record.function);
    if (needed == 0) return usb::BusStatus::invalidFunction;
    if (record.length < needed) return usb::BusStatus::invalidParameter;
    if (auto* request =
            usb::requestAs<usb::ControlTransferRequest>(&record, Function::controlTransfer)) {
        usb::SetupPacket setup = request->setupPacket;
        if (request->transfer.transferBufferLength > std::numeric_limits<std::uint16_t>::max())
            return usb::BusStatus::invalidParameter;
        setup.wLength =
            usb::Le16::of(static_cast<std::uint16_t>(request->transfer.transferBufferLength));
        return control(setup, request->transfer);
    }
    if (auto* request =
            usb::requestAs<usb::DescriptorRequest>(&record, Function::getDescriptorFromDevice)) {
        if (request->transfer.transferBufferLength > std::numeric_limits<std::uint16_t>::max())
            return usb::BusStatus::invalidParameter;
        return control(
            usb::makeSetupPacket(
                usb::Direction::in, usb::RequestType::standard, usb::Recipient::device,
                usb::standard_request::getDescriptor,
                static_cast<std::uint16_t>(request->descriptorType << 8 | request->index),
                request->languageId,
                static_cast<std::uint16_t>(request->transfer.transferBufferLength)),
            request->transfer);
    }
    if (auto* request =
            usb::requestAs<usb::SelectConfigurationRequest>(&record, Function::selectConfiguration))
        return selectConfiguration(*request);
    if (auto* request =
            usb::requestAs<usb::SelectInterfaceRequest>(&record, Function::selectInterface))
        return selectInterface(*request);
    if (auto* request =
            usb::requestAs<usb::PipeRequest>(&record, Function::syncResetPipeAndClearStall))
        return resetPipe(*request);
    if (record.length >= sizeof(usb::ClassOrVendorRequest)) {
        auto& request = reinterpret_cast<usb::ClassOrVendorRequest&>(record);
        usb::SetupPacket setup;
        if (usb::setupPacketOf(request, setup)) return control(setup, request.transfer);
        if (request.transfer.transferBufferLength > std::numeric_limits<std::uint16_t>::max())
            return usb::BusStatus::invalidParameter;
    }
    return record.length < sizeof(usb::RequestHeader) ? usb::BusStatus::invalidParameter
                                                      : usb::BusStatus::invalidFunction;
}

usb::BusStatus BusRequests::control(usb::SetupPacket setup, usb::TransferFields& transfer) {
    const std::uint16_t length = setup.wLength.value();
    if (length != 0 && transfer.transferBuffer == nullptr) return usb::BusStatus::invalidParameter;
    auto* buffer = static_cast<std::uint8_t*>(transfer.transferBuffer);
    const bool in = usb::directionOf(setup) == usb::Direction::in;
    const ControlReply reply =
        m_function.control(setup, in ? std::span<const std::uint8_t>{}
                                     : std::span<const std::uint8_t>{buffer, length});
    if (reply.stalled) {
        transfer.transferBufferLength = 0;
        return usb::BusStatus::stall;
    }
    if (in) {
        const std::size_t moved = std::min<std::size_t>(reply.data.size(), length);
        if (moved != 0) std::memcpy(buffer, reply.data.data(), moved);
        transfer.transferBufferLength = static_cast<std::uint32_t>(moved);
    }
    return usb::BusStatus::success;
}

usb::BusStatus BusRequests::describe(usb::InterfaceInformation& interface) {
    const usb::ConfigurationView view(m_function.descriptors().configuration);
    const usb::InterfaceDescriptor* descriptor =
        view.valid() ? view.findInterface({.number = interface.interfaceNumber,
                                           .alternateSetting = interface.alternateSetting})
                     : nullptr;
    if (descriptor == nullptr || interface.interfaceNumber >= m_interfaces.size() ||
        interface.numberOfPipes != descriptor->bNumEndpoints)
        return usb::BusStatus::invalidParameter;
    interface.interfaceClass = descriptor->bInterfaceClass;
    interface.interfaceSubclass = descriptor->bInterfaceSubClass;
    interface.interfaceProtocol = descriptor->bInterfaceProtocol;
    interface.interfaceHandle = &m_interfaces[interface.interfaceNumber];
    for (std::size_t i = 0; i < interface.numberOfPipes; ++i) {
        const usb::EndpointDescriptor* endpoint = view.findEndpoint(descriptor, i);
        if (endpoint == nullptr) return usb::BusStatus::invalidParameter;
        usb::PipeInformation& pipe = interface.pipes()[i];
        const std::size_t slot = pipeSlot(endpoint->bEndpointAddress);
        m_pipes[slot] = endpoint->bEndpointAddress;
        m_pipeGiven[slot] = true;
        pipe.maximumPacketSize = static_cast<std::uint16_t>(endpoint->wMaxPacketSize.value());
        pipe.endpointAddress = endpoint->bEndpointAddress;
        pipe.interval = endpoint->bInterval;
        pipe.pipeType = usb::endpoint::transferType(endpoint->bmAttributes);
        pipe.pipeHandle = &m_pipes[slot];
    }
    return usb::BusStatus::success;
}

usb::BusStatus BusRequests::selectConfiguration(usb::SelectConfigurationRequest& request) {
    const std::uint8_t value = request.configurationDescriptor == nullptr
                                   ? 0
                                   : request.configurationDescriptor->bConfigurationValue;
    if (m_function
            .control(usb::makeSetupPacket(usb::Direction::out, usb::RequestType::standard,
                                          usb::Recipient::device,
                                          usb::standard_request::setConfiguration, value, 0, 0))
            .stalled)
        return usb::BusStatus::stall;
    m_pipeGiven = {};
    m_configuration = value;
    request.configurationHandle = value == 0 ? nullptr : &m_configuration;
    std::size_t at = sizeof(usb::SelectConfigurationRequest);
    while (value != 0 && at < request.header.length) {
        auto* interface = reinterpret_cast<usb::InterfaceInformation*>(
            reinterpret_cast<std::uint8_t*>(&request) + at);
        if (request.header.length - at < sizeof(usb::InterfaceInformation) ||
            interface->length < usb::interfaceInformationSize(interface->numberOfPipes) ||
            interface->length > request.header.length - at)
            return usb::BusStatus::invalidParameter;
        if (const usb::BusStatus status = describe(*interface); !usb::succeeded(status))
            return status;
        at += interface->length;
    }
    return usb::BusStatus::success;
}

usb::BusStatus BusRequests::selectInterface(usb::SelectInterfaceRequest& request) {
    usb::InterfaceInformation& interface = request.interface;
    const std::size_t room =
        request.header.length - offsetof(usb::SelectInterfaceRequest, interface);
    if (request.configurationHandle != &m_configuration || m_configuration == 0 ||
        interface.length < usb::interfaceInformationSize(interface.numberOfPipes) ||
        interface.length > room)
        return usb::BusStatus::invalidParameter;
    if (m_function
            .control(usb::makeSetupPacket(usb::Direction::out, usb::RequestType::standard,
                                          usb::Recipient::interface,
                                          usb::standard_request::setInterface,
                                          interface.alternateSetting, interface.interfaceNumber, 0))
            .stalled)
        return usb::BusStatus::stall;
    return describe(interface);
}

std::optional<std::uint8_t> BusRequests::endpointOf(usb::PipeHandle pipe) const {
    // Compared as numbers: the handle may point anywhere.
    const auto first = reinterpret_cast<std::uintptr_t>(m_pipes.data());
    const auto handle = reinterpret_cast<std::uintptr_t>(pipe);
    if (handle < first || handle - first >= m_pipes.size() || !m_pipeGiven[handle - first])
        return std::nullopt;
    return m_pipes[handle - first];
}

usb::BusStatus BusRequests::resetPipe(const usb::PipeRequest& request) {
    const std::optional<std::uint8_t> endpoint = endpointOf(request.pipeHandle);
    if (!endpoint) return usb::BusStatus::invalidParameter;
    const bool stalled = m_function
                             .control(usb::makeSetupPacket(
                                 usb::Direction::out, usb::RequestType::standard,
                                 usb::Recipient::endpoint, usb::standard_request::clearFeature,
                                 usb::feature_selector::endpointHalt, *endpoint, 0))
                             .stalled;
    return stalled ? usb::BusStatus::stall : usb::BusStatus::success;
}

} // namespace usbsim
