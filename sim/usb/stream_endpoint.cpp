#include "sim/usb/stream_endpoint.h"

#include "platform/usb/descriptors.h"

#include <variant>

namespace usbsim {

namespace {

std::uint32_t packetLimit(std::uint16_t maxPacketSize) {
    // Bits 11-12 of a high-speed endpoint's size: extra transactions per microframe.
    return (maxPacketSize & 0x7FFu) * (1u + ((maxPacketSize >> 11) & 0x3u));
}

std::uint32_t firstRate(const StreamFormat& format) {
    if (format.continuous) return format.continuous->minimum;
    return format.rates.empty() ? 0 : format.rates.front();
}

const Entity* entityWithId(const FunctionDescription& d, std::uint8_t id) {
    for (const Entity& entity : d.entities) {
        const std::uint8_t entityId = std::visit([](const auto& e) { return e.id; }, entity);
        if (entityId == id) return &entity;
    }
    return nullptr;
}

std::uint8_t clockOfTerminal(const FunctionDescription& d, std::uint8_t terminal) {
    const Entity* entity = entityWithId(d, terminal);
    if (entity == nullptr) return 0;
    if (const auto* input = std::get_if<InputTerminal>(entity)) return input->clockSource;
    if (const auto* output = std::get_if<OutputTerminal>(entity)) return output->clockSource;
    return 0;
}

// The frequency of the clock source a clock entity leads to, through the
// inputs clock selectors have selected.
std::uint32_t clockRate(const UsbFunction& function, std::uint8_t clock) {
    const FunctionDescription& d = function.description();
    for (std::size_t hops = 0; hops < d.entities.size(); ++hops) {
        const Entity* entity = entityWithId(d, clock);
        if (entity == nullptr) return 0;
        if (std::holds_alternative<ClockSource>(*entity))
            return function.graph()
                .currentNumber(
                    entityControl(d, clock, usb::uac2::clock_source_control::samplingFrequency))
                .value_or(0);
        const auto* selector = std::get_if<ClockSelector>(entity);
        if (selector == nullptr) return 0;
        const std::uint32_t input =
            function.graph()
                .currentNumber(entityControl(d, clock, usb::uac2::selectorControl))
                .value_or(0);
        if (input == 0 || input > selector->sources.size()) return 0;
        clock = selector->sources[input - 1];
    }
    return 0; // selectors in a loop
}

std::uint32_t nominalRate(const UsbFunction& function, const AlternateSetting& setting) {
    if (function.description().release == AudioRelease::uac2)
        return clockRate(function, clockOfTerminal(function.description(), setting.terminalLink));
    const std::optional<std::uint32_t> set = function.graph().currentNumber(
        {usb::Recipient::endpoint, setting.data.address,
         usb::controlValue(usb::uac1::endpoint_control::samplingFrequency, 0)});
    return set.value_or(firstRate(setting.format));
}

} // namespace

std::optional<StreamEndpoint> findStreamEndpoint(const UsbFunction& function,
                                                 std::uint8_t address) {
    for (const StreamingInterface& streaming : function.description().streaming) {
        const std::optional<std::uint8_t> current = function.alternateSetting(streaming.number);
        if (!current || *current == 0 || *current > streaming.settings.size()) continue;
        const AlternateSetting& setting = streaming.settings[*current - 1];
        StreamEndpoint found{.address = address,
                             .interface = streaming.number,
                             .setting = *current,
                             .selection = function.selections(streaming.number),
                             .channels = setting.format.channels,
                             .subslotSize = setting.format.subslotSize,
                             .nominalRate = nominalRate(function, setting)};
        if (setting.data.address == address) {
            found.role = usb::endpoint::isIn(address) ? StreamRole::source : StreamRole::sink;
            found.maxPacket = packetLimit(setting.data.maxPacketSize);
            found.interval = setting.data.interval;
            return found;
        }
        if (setting.feedback && setting.feedback->address == address) {
            found.role = StreamRole::feedback;
            found.maxPacket = packetLimit(setting.feedback->maxPacketSize);
            found.interval = setting.feedback->interval;
            return found;
        }
    }
    return std::nullopt;
}

} // namespace usbsim
