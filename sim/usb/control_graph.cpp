#include "sim/usb/control_graph.h"

#include "sim/usb/descriptor_builder.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace usbsim {

namespace {

using usb::feature_control::automaticGain;
using usb::feature_control::bassBoost;
using usb::feature_control::loudness;
using usb::feature_control::mute;
using usb::feature_control::phaseInverter;

Bytes encode(std::int64_t value, std::size_t size) {
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
    return out;
}

std::uint32_t decode(std::span<const std::uint8_t> bytes) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < bytes.size() && i < 4; ++i)
        value |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
    return value;
}

// Switches are on or off; every other feature control has a range.
bool isLevel(std::uint8_t selector) {
    return selector != mute && selector != automaticGain && selector != bassBoost &&
           selector != loudness && selector != phaseInverter;
}

bool rateAllowed(const std::vector<RateRange>& ranges, std::uint32_t rate) {
    return std::any_of(ranges.begin(), ranges.end(), [&](const RateRange& r) {
        if (rate < r.minimum || rate > r.maximum) return false;
        return r.resolution == 0 ? rate == r.minimum || rate == r.maximum
                                 : (rate - r.minimum) % r.resolution == 0;
    });
}

// The ranges a release 1 format offers, as clock-source ranges are given.
std::vector<RateRange> formatRates(const StreamFormat& format) {
    if (format.continuous) return {*format.continuous};
    std::vector<RateRange> rates;
    for (std::uint32_t rate : format.rates) rates.push_back({rate, rate, 0});
    return rates;
}

} // namespace

ControlAddress entityControl(std::uint8_t controlInterface, std::uint8_t entity,
                             std::uint8_t selector, std::uint8_t channel) {
    return {usb::Recipient::interface, usb::entityIndex(entity, controlInterface),
            usb::controlValue(selector, channel)};
}

ControlAddress ControlGraph::address(std::uint8_t entity, std::uint8_t selector,
                                     std::uint8_t channel) const {
    return entityControl(m_controlInterface, entity, selector, channel);
}

ControlGraph::ControlGraph(const FunctionDescription& d)
    : m_release(d.release), m_controlInterface(d.controlInterface) {
    for (const Entity& entity : d.entities) {
        if (const auto* unit = std::get_if<FeatureUnit>(&entity))
            addFeatureUnit(*unit);
        else if (const auto* mixer = std::get_if<MixerUnit>(&entity))
            addMixer(*mixer);
        else if (const auto* selector = std::get_if<SelectorUnit>(&entity))
            addSelector(selector->id, selector->sources.size(), selector->initial);
        else if (const auto* clock = std::get_if<ClockSource>(&entity))
            addClockSource(*clock);
        else if (const auto* clockSelector = std::get_if<ClockSelector>(&entity))
            addSelector(clockSelector->id, clockSelector->sources.size(), clockSelector->initial);
        else if (const auto* input = std::get_if<InputTerminal>(&entity))
            addConnector(input->id, input->controls, input->jacks, input->channels,
                         input->connectedChannels);
        else if (const auto* output = std::get_if<OutputTerminal>(&entity))
            addConnector(output->id, output->controls, output->jacks, 0, output->connectedChannels);
    }
    for (const StreamingInterface& streaming : d.streaming) addStreaming(streaming);
}

void ControlGraph::setRange(Control& control, const ControlRange& range, std::size_t size) const {
    const Bytes minimum = encode(range.minimum, size);
    const Bytes maximum = encode(range.maximum, size);
    const Bytes resolution = encode(range.resolution, size);
    if (m_release == AudioRelease::uac1) {
        control.minMaxRes = {minimum, maximum, resolution};
        return;
    }
    control.range = encode(1, 2); // one sub-range
    for (const Bytes* part : {&minimum, &maximum, &resolution})
        control.range.insert(control.range.end(), part->begin(), part->end());
}

ControlGraph::Control& ControlGraph::add(const ControlAddress& at, Control control) {
    return m_controls.insert_or_assign(at, std::move(control)).first->second;
}

void ControlGraph::addFeatureUnit(const FeatureUnit& unit) {
    for (const FeatureControl& c : unit.controls) {
        const std::size_t size = usb::featureControlSize(m_release, c.selector);
        if (size == 0)
            throw std::invalid_argument("feature control " + std::to_string(c.selector) +
                                        " has no value of a fixed size");
        Control control{.current = encode(c.initial, size)};
        if (m_release == AudioRelease::uac2) {
            control.readable = (c.access & usb::uac2::control_access::readOnly) != 0;
            control.writable = c.access == usb::uac2::control_access::readWrite;
        }
        if (isLevel(c.selector)) setRange(control, c.range, size);
        for (std::uint8_t channel : c.channels) add(address(unit.id, c.selector, channel), control);
    }
}

void ControlGraph::addMixer(const MixerUnit& unit) {
    Control control{.current = encode(unit.initial, 2)};
    setRange(control, unit.range, 2);
    for (const MixerCrossing& c : unit.crossings) {
        // Release 1 names the crossing by its channels; release 2 numbers
        // the crossings of the bitmap from 0.
        const ControlAddress at =
            m_release == AudioRelease::uac1
                ? address(unit.id, c.input, c.output)
                : address(unit.id, usb::uac2::mixerControl,
                          static_cast<std::uint8_t>((c.input - 1) * unit.channels + c.output - 1));
        add(at, control);
    }
}

// A release-2 connector control answers the connected channels (a block of
// bNrChannels, the channel mask and iChannelNames) on channel 0 and the jack
// list on channel 0xFF; both are read only.
void ControlGraph::addConnector(std::uint8_t id, std::uint16_t controls,
                                const std::vector<Jack>& jacks, std::uint8_t channels,
                                std::uint32_t connected) {
    const std::uint16_t connectorField = 3u << 2;
    if (m_release != AudioRelease::uac2 || (controls & connectorField) == 0) return;
    Bytes state{channels};
    const Bytes mask = encode(connected, 4);
    state.insert(state.end(), mask.begin(), mask.end());
    state.push_back(0);
    add(address(id, usb::uac2::terminal_control::connector, 0),
        {.current = std::move(state), .writable = false});
    Bytes list{static_cast<std::uint8_t>(jacks.size())};
    for (const Jack& jack : jacks)
        for (std::uint32_t word : {jack.channels, jack.details}) {
            const Bytes bytes = encode(word, 4);
            list.insert(list.end(), bytes.begin(), bytes.end());
        }
    add(address(id, usb::uac2::terminal_control::connector, 0xFF),
        {.current = std::move(list), .writable = false});
}

void ControlGraph::addSelector(std::uint8_t id, std::size_t inputs, std::uint8_t initial) {
    Control control{.current = {initial}};
    control.accepts = [inputs](std::span<const std::uint8_t> v) {
        return v[0] >= 1 && v[0] <= inputs;
    };
    if (m_release == AudioRelease::uac1)
        control.minMaxRes = {Bytes{1}, Bytes{static_cast<std::uint8_t>(inputs)}, Bytes{1}};
    const std::uint8_t selector = m_release == AudioRelease::uac2 ? usb::uac2::selectorControl : 0;
    add(address(id, selector, 0), std::move(control));
}

void ControlGraph::addClockSource(const ClockSource& clock) {
    using namespace usb::uac2;
    Control frequency{.current = encode(clock.initialRate, 4)};
    frequency.readable = (clock.frequencyAccess & control_access::readOnly) != 0;
    frequency.writable = clock.frequencyAccess == control_access::readWrite;
    frequency.range = encode(static_cast<std::int64_t>(clock.rates.size()), 2);
    for (const RateRange& r : clock.rates)
        for (std::uint32_t v : {r.minimum, r.maximum, r.resolution}) {
            const Bytes bytes = encode(v, 4);
            frequency.range.insert(frequency.range.end(), bytes.begin(), bytes.end());
        }
    frequency.accepts = [rates = clock.rates](std::span<const std::uint8_t> v) {
        return rateAllowed(rates, decode(v));
    };
    add(address(clock.id, clock_source_control::samplingFrequency, 0), std::move(frequency));

    Control validity{.current = {clock.valid ? std::uint8_t{1} : std::uint8_t{0}}};
    validity.readable = (clock.validityAccess & control_access::readOnly) != 0;
    validity.writable = false;
    add(address(clock.id, clock_source_control::clockValidity, 0), std::move(validity));
}

void ControlGraph::addStreaming(const StreamingInterface& streaming) {
    if (m_release == AudioRelease::uac2) {
        // Every setting is valid: bControlSize, then one bit per setting from 0.
        const std::size_t settings = streaming.settings.size() + 1;
        Bytes valid(1 + (settings + 7) / 8, 0);
        valid[0] = static_cast<std::uint8_t>(valid.size() - 1);
        for (std::size_t s = 0; s < settings; ++s)
            valid[1 + s / 8] |= static_cast<std::uint8_t>(1 << (s % 8));
        add({usb::Recipient::interface, streaming.number,
             usb::controlValue(usb::uac2::streaming_control::validAlternateSettings, 0)},
            {.current = valid, .writable = false});
        return;
    }
    // Release 1: an endpoint's sampling frequency takes any rate of a
    // setting that uses it, and starts at the first of them.
    std::map<std::uint8_t, std::vector<RateRange>> ratesByEndpoint;
    for (const AlternateSetting& setting : streaming.settings) {
        if (!setting.data.samplingFrequencyControl) continue;
        const std::vector<RateRange> rates = formatRates(setting.format);
        std::vector<RateRange>& all = ratesByEndpoint[setting.data.address];
        all.insert(all.end(), rates.begin(), rates.end());
    }
    for (const auto& endpointRates : ratesByEndpoint) {
        const std::vector<RateRange>& rates = endpointRates.second;
        Control control{.current = encode(rates.empty() ? 0 : rates.front().minimum, 3)};
        control.accepts = [rates](std::span<const std::uint8_t> v) {
            return rateAllowed(rates, decode(v));
        };
        add({usb::Recipient::endpoint, endpointRates.first,
             usb::controlValue(usb::uac1::endpoint_control::samplingFrequency, 0)},
            std::move(control));
    }
}

ControlReply ControlGraph::get(const Control& control, const Bytes& bytes,
                               std::uint16_t length) const {
    if (!control.readable || bytes.empty()) return {.stalled = true};
    return {.data =
                Bytes(bytes.begin(), bytes.begin() + std::min<std::size_t>(length, bytes.size()))};
}

std::optional<ControlReply> ControlGraph::answer(const usb::SetupPacket& setup,
                                                 std::span<const std::uint8_t> data) {
    const auto found =
        m_controls.find({usb::recipientOf(setup), static_cast<std::uint16_t>(setup.wIndex.value()),
                         static_cast<std::uint16_t>(setup.wValue.value())});
    if (found == m_controls.end()) return std::nullopt;
    Control& control = found->second;
    const bool in = usb::directionOf(setup) == usb::Direction::in;
    const std::uint16_t length = static_cast<std::uint16_t>(setup.wLength.value());

    enum class Op { setCur, getCur, getMin, getMax, getRes, getRange } op;
    if (m_release == AudioRelease::uac1) {
        switch (setup.bRequest) {
        case usb::uac1::request::setCur:
            op = Op::setCur;
            break;
        case usb::uac1::request::getCur:
            op = Op::getCur;
            break;
        case usb::uac1::request::getMin:
            op = Op::getMin;
            break;
        case usb::uac1::request::getMax:
            op = Op::getMax;
            break;
        case usb::uac1::request::getRes:
            op = Op::getRes;
            break;
        default:
            return std::nullopt;
        }
        if (in != (op != Op::setCur)) return ControlReply{.stalled = true};
    } else {
        if (setup.bRequest == usb::uac2::request::cur)
            op = in ? Op::getCur : Op::setCur;
        else if (setup.bRequest == usb::uac2::request::range && in)
            op = Op::getRange;
        else
            return std::nullopt;
    }

    switch (op) {
    case Op::getCur:
        return get(control, control.current, length);
    case Op::getMin:
        return get(control, control.minMaxRes[0], length);
    case Op::getMax:
        return get(control, control.minMaxRes[1], length);
    case Op::getRes:
        return get(control, control.minMaxRes[2], length);
    case Op::getRange:
        return get(control, control.range, length);
    case Op::setCur:
        break;
    }
    if (!control.writable || data.size() != control.current.size() ||
        (control.accepts && !control.accepts(data)))
        return ControlReply{.stalled = true};
    control.current.assign(data.begin(), data.end());
    return ControlReply{};
}

const Bytes* ControlGraph::current(const ControlAddress& at) const {
    const auto found = m_controls.find(at);
    return found == m_controls.end() ? nullptr : &found->second.current;
}

std::optional<std::uint32_t> ControlGraph::currentNumber(const ControlAddress& at) const {
    const Bytes* bytes = current(at);
    if (bytes == nullptr) return std::nullopt;
    return decode(*bytes);
}

} // namespace usbsim
