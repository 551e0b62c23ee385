#include "sim/usb/usb_function.h"

#include "platform/usb/configuration.h"

#include <algorithm>

namespace usbsim {

using usb::SetupPacket;

namespace {

ControlReply stall() { return {.stalled = true}; }

ControlReply reply(const Bytes& bytes, std::uint16_t length) {
    return {.data =
                Bytes(bytes.begin(), bytes.begin() + std::min<std::size_t>(length, bytes.size()))};
}

} // namespace

UsbFunction::UsbFunction(FunctionDescription description)
    : m_description(std::move(description)), m_descriptors(buildDescriptors(m_description)),
      m_graph(m_description) {
    // A configuration that does not validate offers no interfaces to select.
    const usb::ConfigurationView view(m_descriptors.configuration);
    for (const usb::Descriptor& d : view.descriptors())
        if (const auto* interface = d.as<usb::InterfaceDescriptor>();
            interface != nullptr && d.type() == usb::descriptor_type::interface)
            m_settings[interface->bInterfaceNumber].insert(interface->bAlternateSetting);
}

std::uint32_t UsbFunction::selections(std::uint8_t interface) const {
    const auto found = m_selections.find(interface);
    return found == m_selections.end() ? 0 : found->second;
}

std::optional<std::uint8_t> UsbFunction::alternateSetting(std::uint8_t interface) const {
    const auto found = m_alternates.find(interface);
    if (found == m_alternates.end()) return std::nullopt;
    return found->second;
}

void UsbFunction::portReset() {
    m_halted.clear();
    m_graph = ControlGraph(m_description);
}

void UsbFunction::powerOn() {
    portReset();
    m_configuration = 0;
    m_alternates.clear();
}

ControlReply UsbFunction::control(const SetupPacket& setup, std::span<const std::uint8_t> data) {
    ControlReply result = answer(setup, data);
    m_log.push_back({setup, Bytes(data.begin(), data.end()), result});
    return result;
}

ControlReply UsbFunction::answer(const SetupPacket& setup, std::span<const std::uint8_t> data) {
    const bool in = usb::directionOf(setup) == usb::Direction::in;
    // The bus moves exactly wLength bytes out, and none with an IN request.
    if (in ? !data.empty() : data.size() != setup.wLength.value()) return stall();
    switch (usb::typeOf(setup)) {
    case usb::RequestType::standard:
        return standard(setup);
    case usb::RequestType::classSpecific:
        if (std::optional<ControlReply> answered = m_graph.answer(setup, data)) return *answered;
        return hook(setup, data);
    case usb::RequestType::vendor:
        return hook(setup, data);
    }
    return stall();
}

ControlReply UsbFunction::hook(const SetupPacket& setup, std::span<const std::uint8_t> data) const {
    if (!m_description.requests) return stall();
    const std::optional<Bytes> answered = m_description.requests(setup, data);
    if (!answered) return stall();
    if (usb::directionOf(setup) == usb::Direction::out) return {};
    return reply(*answered, static_cast<std::uint16_t>(setup.wLength.value()));
}

ControlReply UsbFunction::standard(const SetupPacket& setup) {
    namespace request = usb::standard_request;
    const std::uint16_t value = static_cast<std::uint16_t>(setup.wValue.value());
    const std::uint16_t index = static_cast<std::uint16_t>(setup.wIndex.value());
    const std::uint16_t length = static_cast<std::uint16_t>(setup.wLength.value());
    const bool in = usb::directionOf(setup) == usb::Direction::in;
    const usb::Recipient recipient = usb::recipientOf(setup);
    const bool toDevice = recipient == usb::Recipient::device;

    switch (setup.bRequest) {
    case request::getDescriptor:
        return in && toDevice ? descriptor(setup) : stall();
    case request::getConfiguration:
        return in && toDevice ? reply({m_configuration}, length) : stall();
    case request::setConfiguration:
        return !in && toDevice ? setConfiguration(value) : stall();
    case request::getInterface: {
        const std::optional<std::uint8_t> alternate =
            alternateSetting(static_cast<std::uint8_t>(index));
        if (!in || recipient != usb::Recipient::interface || !alternate || index > 0xFF)
            return stall();
        return reply({*alternate}, length);
    }
    case request::setInterface:
        return !in && recipient == usb::Recipient::interface ? setInterface(index, value) : stall();
    case request::getStatus:
        return in ? status(setup) : stall();
    case request::clearFeature:
    case request::setFeature:
        return !in ? feature(setup, setup.bRequest == request::setFeature) : stall();
    default:
        return stall();
    }
}

ControlReply UsbFunction::descriptor(const SetupPacket& setup) const {
    const std::uint16_t value = static_cast<std::uint16_t>(setup.wValue.value());
    const std::uint8_t type = static_cast<std::uint8_t>(value >> 8);
    const std::uint8_t index = static_cast<std::uint8_t>(value);
    const std::uint16_t length = static_cast<std::uint16_t>(setup.wLength.value());
    switch (type) {
    case usb::descriptor_type::device:
        return index == 0 ? reply(m_descriptors.device, length) : stall();
    case usb::descriptor_type::configuration:
        return index == 0 ? reply(m_descriptors.configuration, length) : stall();
    case usb::descriptor_type::string: {
        if (index == 0) return reply(m_descriptors.languages, length);
        const auto found =
            m_descriptors.strings.find({index, static_cast<std::uint16_t>(setup.wIndex.value())});
        return found == m_descriptors.strings.end() ? stall() : reply(found->second, length);
    }
    default:
        return stall();
    }
}

ControlReply UsbFunction::setConfiguration(std::uint16_t value) {
    if (value != 0 && value != m_description.configurationValue) return stall();
    m_configuration = static_cast<std::uint8_t>(value);
    m_alternates.clear();
    m_halted.clear();
    if (m_configuration != 0)
        for (const auto& [interface, settings] : m_settings) m_alternates[interface] = 0;
    for (const auto& [interface, settings] : m_settings) ++m_selections[interface];
    return {};
}

ControlReply UsbFunction::setInterface(std::uint16_t interface, std::uint16_t alternate) {
    const auto settings = m_settings.find(static_cast<std::uint8_t>(interface));
    if (m_configuration == 0 || interface > 0xFF || alternate > 0xFF ||
        settings == m_settings.end() ||
        settings->second.count(static_cast<std::uint8_t>(alternate)) == 0)
        return stall();
    m_alternates[static_cast<std::uint8_t>(interface)] = static_cast<std::uint8_t>(alternate);
    ++m_selections[static_cast<std::uint8_t>(interface)];
    return {};
}

bool UsbFunction::hasEndpoint(std::uint8_t address) const {
    if ((address & usb::endpoint::numberMask) == 0) return (address & 0x70) == 0;
    if (m_configuration == 0) return false;
    const usb::ConfigurationView view(m_descriptors.configuration);
    for (const auto& [number, alternate] : m_alternates) {
        const usb::InterfaceDescriptor* interface =
            view.findInterface({.number = number, .alternateSetting = alternate});
        for (std::size_t i = 0; const usb::EndpointDescriptor* e = view.findEndpoint(interface, i);
             ++i)
            if (e->bEndpointAddress == address) return true;
    }
    return false;
}

ControlReply UsbFunction::status(const SetupPacket& setup) const {
    const std::uint16_t index = static_cast<std::uint16_t>(setup.wIndex.value());
    const std::uint16_t length = static_cast<std::uint16_t>(setup.wLength.value());
    switch (usb::recipientOf(setup)) {
    case usb::Recipient::device:
        return reply({static_cast<std::uint8_t>(m_description.selfPowered ? 1 : 0), 0}, length);
    case usb::Recipient::interface:
        return alternateSetting(static_cast<std::uint8_t>(index)) ? reply({0, 0}, length) : stall();
    case usb::Recipient::endpoint:
        if (index > 0xFF || !hasEndpoint(static_cast<std::uint8_t>(index))) return stall();
        return reply(
            {static_cast<std::uint8_t>(endpointHalted(static_cast<std::uint8_t>(index))), 0},
            length);
    default:
        return stall();
    }
}

ControlReply UsbFunction::feature(const SetupPacket& setup, bool set) {
    const std::uint16_t index = static_cast<std::uint16_t>(setup.wIndex.value());
    if (usb::recipientOf(setup) != usb::Recipient::endpoint ||
        setup.wValue.value() != usb::feature_selector::endpointHalt || index > 0xFF ||
        !hasEndpoint(static_cast<std::uint8_t>(index)))
        return stall();
    if (set)
        m_halted.insert(static_cast<std::uint8_t>(index));
    else
        m_halted.erase(static_cast<std::uint8_t>(index));
    return {};
}

} // namespace usbsim
