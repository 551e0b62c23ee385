// The state of every control a described function has: feature unit
// controls per channel, mixer crossings, selectors, clock source frequency
// and validity, clock selectors, the sampling frequency of release 1
// endpoints and the valid settings of release 2 streaming interfaces. It
// answers the class requests addressed to them (release 1: SET_CUR, GET_CUR,
// GET_MIN, GET_MAX, GET_RES; release 2: CUR and RANGE); a GET returns what
// the last accepted SET stored.
#pragma once

#include "sim/usb/function_description.h"

#include <array>
#include <compare>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>

namespace usbsim {

struct ControlReply {
    bool stalled = false;
    Bytes data; // an IN request's bytes, at most wLength
};

// A control as requests address it.
struct ControlAddress {
    usb::Recipient recipient = usb::Recipient::interface;
    std::uint16_t index = 0; // wIndex
    std::uint16_t value = 0; // wValue
    auto operator<=>(const ControlAddress&) const = default;
};

// The control `selector` of an entity on `channel`, behind the AudioControl
// interface.
ControlAddress entityControl(std::uint8_t controlInterface, std::uint8_t entity,
                             std::uint8_t selector, std::uint8_t channel = 0);
inline ControlAddress entityControl(const FunctionDescription& description, std::uint8_t entity,
                                    std::uint8_t selector, std::uint8_t channel = 0) {
    return entityControl(description.controlInterface, entity, selector, channel);
}

class ControlGraph {
public:
    // Throws std::invalid_argument for a control whose value has no size.
    explicit ControlGraph(const FunctionDescription& description);

    // Nothing when no control is addressed or the request is none of the
    // codes above: the request is someone else's.
    std::optional<ControlReply> answer(const usb::SetupPacket& setup,
                                       std::span<const std::uint8_t> data);

    // The bytes GET CUR answers; null for no such control.
    const Bytes* current(const ControlAddress& address) const;
    // The same bytes as a little-endian number; nothing for no such control.
    std::optional<std::uint32_t> currentNumber(const ControlAddress& address) const;

private:
    struct Control {
        Bytes current;
        bool readable = true;
        bool writable = true;
        std::array<Bytes, 3> minMaxRes; // release 1; empty: not answered
        Bytes range;                    // release 2 RANGE reply; empty: not answered
        std::function<bool(std::span<const std::uint8_t>)> accepts; // a SET's value
    };

    ControlAddress address(std::uint8_t entity, std::uint8_t selector, std::uint8_t channel) const;
    void addFeatureUnit(const FeatureUnit& unit);
    void addMixer(const MixerUnit& unit);
    void addSelector(std::uint8_t id, std::size_t inputs, std::uint8_t initial);
    void addClockSource(const ClockSource& clock);
    void addConnector(std::uint8_t id, std::uint16_t controls, const std::vector<Jack>& jacks,
                      std::uint8_t channels, std::uint32_t connected);
    void addStreaming(const StreamingInterface& streaming);
    void setRange(Control& control, const ControlRange& range, std::size_t size) const;
    Control& add(const ControlAddress& address, Control control);
    ControlReply get(const Control& control, const Bytes& bytes, std::uint16_t length) const;

    AudioRelease m_release;
    std::uint8_t m_controlInterface;
    std::map<ControlAddress, Control> m_controls;
};

} // namespace usbsim
