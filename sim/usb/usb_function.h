// A simulated USB audio function: it answers control transfers from its
// description, synchronously and without side effects beyond its own
// state. Standard requests (descriptors, configuration and interface
// selection, status and endpoint halt), the audio class requests of its
// control graph, and, through the description's hook, vendor requests and
// class requests the graph does not answer. Every request is logged.
#pragma once

#include "sim/usb/control_graph.h"
#include "sim/usb/descriptor_builder.h"
#include "sim/usb/function_description.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace usbsim {

struct LoggedRequest {
    usb::SetupPacket setup;
    Bytes data; // an OUT request's bytes
    ControlReply reply;
};

class UsbFunction {
public:
    // Throws std::invalid_argument for a description its descriptors cannot express.
    explicit UsbFunction(FunctionDescription description);

    // One control transfer. `data` holds an OUT request's wLength bytes; an
    // IN request's reply has at most wLength bytes.
    ControlReply control(const usb::SetupPacket& setup, std::span<const std::uint8_t> data = {});

    const std::vector<LoggedRequest>& log() const { return m_log; }
    void clearLog() { m_log.clear(); }

    const FunctionDescription& description() const { return m_description; }
    const BuiltDescriptors& descriptors() const { return m_descriptors; }
    const ControlGraph& graph() const { return m_graph; }

    // 0 while unconfigured.
    std::uint8_t configurationValue() const { return m_configuration; }
    // Nothing while unconfigured or for an interface the configuration lacks.
    std::optional<std::uint8_t> alternateSetting(std::uint8_t interface) const;
    // How often the interface's setting was chosen, by configuration or
    // interface selection: a stream on it starts anew with each.
    std::uint32_t selections(std::uint8_t interface) const;
    bool endpointHalted(std::uint8_t address) const { return m_halted.count(address) != 0; }

    // A reset on its port: halts clear and every control takes its initial
    // value again; the configuration and the interface settings stay, as
    // the hub restores them after the reset.
    void portReset();
    // Power lost and given back: as a reset, and unconfigured. The log stays.
    void powerOn();

private:
    ControlReply answer(const usb::SetupPacket& setup, std::span<const std::uint8_t> data);
    ControlReply standard(const usb::SetupPacket& setup);
    ControlReply descriptor(const usb::SetupPacket& setup) const;
    ControlReply setConfiguration(std::uint16_t value);
    ControlReply setInterface(std::uint16_t interface, std::uint16_t alternate);
    ControlReply status(const usb::SetupPacket& setup) const;
    ControlReply feature(const usb::SetupPacket& setup, bool set);
    bool hasEndpoint(std::uint8_t address) const; // in the current settings, or endpoint 0
    ControlReply hook(const usb::SetupPacket& setup, std::span<const std::uint8_t> data) const;

    FunctionDescription m_description;
    BuiltDescriptors m_descriptors;
    ControlGraph m_graph;
    // The settings each interface of the configuration offers, from its bytes.
    std::map<std::uint8_t, std::set<std::uint8_t>> m_settings;
    std::uint8_t m_configuration = 0;
    std::map<std::uint8_t, std::uint8_t> m_alternates;
    std::map<std::uint8_t, std::uint32_t> m_selections;
    std::set<std::uint8_t> m_halted;
    std::vector<LoggedRequest> m_log;
};

} // namespace usbsim
