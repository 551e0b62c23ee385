#include "tools/driver-host/host_formats.h"

#include "sim/os/pcm_format.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

namespace driverhost {
namespace {

constexpr std::uint32_t standardRates[] = {8000,  11025, 16000, 22050,  32000, 44100,
                                           48000, 88200, 96000, 176400, 192000};
// Channel counts a render client may bring besides the device's own.
constexpr std::uint16_t standardRenderChannels[] = {1, 2, 4, 6, 8};

void AddRange(std::set<std::uint32_t>& rates, const usbsim::RateRange& range) {
    if (range.minimum == range.maximum) {
        rates.insert(range.minimum);
        return;
    }
    for (std::uint32_t rate : standardRates)
        if (rate >= range.minimum && rate <= range.maximum) rates.insert(rate);
}

// The rates a setting names: its own (release 1), else every clock's.
std::set<std::uint32_t> SettingRates(const usbsim::FunctionDescription& description,
                                     const usbsim::AlternateSetting& setting) {
    std::set<std::uint32_t> rates(setting.format.rates.begin(), setting.format.rates.end());
    if (setting.format.continuous) AddRange(rates, *setting.format.continuous);
    if (description.release == usb::AudioRelease::uac2)
        for (const usbsim::Entity& entity : description.entities)
            if (const auto* clock = std::get_if<usbsim::ClockSource>(&entity))
                for (const usbsim::RateRange& range : clock->rates) AddRange(rates, range);
    return rates;
}

bool IsPcm(const usbsim::FunctionDescription& description, const usbsim::StreamFormat& format) {
    if (format.formatType != usb::format_type::typeI) return false;
    return description.release == usb::AudioRelease::uac2 ? format.formats == 0x1
                                                          : format.formatTag == 0x0001;
}

} // namespace

std::uint32_t ClientChannelMask(const usbsim::FunctionDescription& description, bool in,
                                std::uint16_t channels) {
    if (description.release == usb::AudioRelease::uac2)
        for (const usbsim::StreamingInterface& interface : description.streaming)
            for (const usbsim::AlternateSetting& setting : interface.settings)
                if (((setting.data.address & 0x80) != 0) == in &&
                    setting.format.channels == channels)
                    return setting.format.channelConfig;
    switch (channels) {
    case 1:
        return 0x4; // front centre
    case 2:
        return 0x3;
    case 4:
        return 0x33;
    case 6:
        return 0x3F;
    case 8:
        return 0x63F;
    default:
        return 0;
    }
}

std::vector<PinFormat> CandidateFormats(const usbsim::FunctionDescription& description, bool in) {
    std::set<std::tuple<std::uint32_t, std::uint16_t, std::uint16_t, std::uint16_t>> seen;
    std::vector<PinFormat> formats;
    const auto add = [&](std::uint32_t rate, std::uint16_t channels, std::uint16_t bits,
                         std::uint16_t container) {
        if (!seen.insert({rate, channels, bits, container}).second) return;
        formats.push_back(
            {rate, channels, bits, container, ClientChannelMask(description, in, channels)});
    };
    for (const usbsim::StreamingInterface& interface : description.streaming)
        for (const usbsim::AlternateSetting& setting : interface.settings) {
            const std::uint8_t address = setting.data.address;
            if (address == 0 || ((address & 0x80) != 0) != in ||
                !IsPcm(description, setting.format))
                continue;
            std::set<std::uint16_t> channels = {setting.format.channels};
            if (!in)
                channels.insert(std::begin(standardRenderChannels),
                                std::end(standardRenderChannels));
            const std::uint16_t bits = setting.format.bitResolution;
            const auto container = static_cast<std::uint16_t>(setting.format.subslotSize * 8);
            const auto packed = static_cast<std::uint16_t>((bits + 7) / 8 * 8);
            for (std::uint32_t rate : SettingRates(description, setting))
                for (std::uint16_t count : channels) {
                    add(rate, count, bits, container);
                    if (packed != container) add(rate, count, bits, packed);
                }
        }
    std::sort(formats.begin(), formats.end(), [](const PinFormat& a, const PinFormat& b) {
        return std::tie(a.channels, a.bits, a.container, a.rate) <
               std::tie(b.channels, b.bits, b.container, b.rate);
    });
    return formats;
}

ks::DataFormatWaveFormatExtensible PinDataFormat(const PinFormat& format) {
    return ossim::pcmFormat(format.rate, format.container, format.channels, format.bits,
                            format.channelMask);
}

std::vector<PinFormat> PinFormats(const portcls::FilterHandle& filter,
                                  std::span<const PinFormat> candidates) {
    std::vector<PinFormat> taken;
    for (const PinFormat& candidate : candidates) {
        const ks::DataFormatWaveFormatExtensible format = PinDataFormat(candidate);
        portcls::PinHandle pin;
        if (kernel::succeeded(pin.open(filter, 0, &format.DataFormat))) taken.push_back(candidate);
    }
    return taken;
}

std::string FormatName(const PinFormat& format) {
    std::string name = std::to_string(format.rate) + " Hz, " + std::to_string(format.channels) +
                       (format.channels == 1 ? " channel, " : " channels, ") +
                       std::to_string(format.bits) + " bits";
    if (format.container != format.bits) name += " in " + std::to_string(format.container);
    return name;
}

std::string DescribeFormats(std::span<const PinFormat> formats, const std::string& indent) {
    std::map<std::tuple<std::uint16_t, std::uint16_t, std::uint16_t>, std::string> groups;
    for (const PinFormat& format : formats) {
        std::string& rates = groups[{format.channels, format.bits, format.container}];
        rates += (rates.empty() ? "" : ", ") + std::to_string(format.rate);
    }
    std::string text;
    for (const auto& [layout, rates] : groups) {
        const auto [channels, bits, container] = layout;
        text += indent + std::to_string(channels) + (channels == 1 ? " channel, " : " channels, ") +
                std::to_string(bits) + " bits";
        if (container != bits) text += " in " + std::to_string(container);
        text += ": " + rates + " Hz\n";
    }
    return text;
}

const PinFormat* MatchFormat(std::span<const PinFormat> offered, std::uint32_t rate,
                             std::uint16_t channels, std::uint16_t bits, std::uint16_t container) {
    const PinFormat* best = nullptr;
    for (const PinFormat& format : offered) {
        if (format.rate != rate || format.channels != channels || format.bits != bits) continue;
        if (container != 0 && format.container != container) continue;
        if (best == nullptr || (best->container != bits && format.container < best->container))
            best = &format;
    }
    return best;
}

const PinFormat* NearestFormat(std::span<const PinFormat> offered, std::uint32_t rate,
                               std::uint16_t bits) {
    const auto distance = [](std::uint32_t a, std::uint32_t b) { return a > b ? a - b : b - a; };
    const PinFormat* best = nullptr;
    for (const PinFormat& format : offered) {
        const auto key = [&](const PinFormat& f) {
            return std::make_tuple(distance(f.rate, rate), distance(f.bits, bits), f.channels,
                                   f.container);
        };
        if (best == nullptr || key(format) < key(*best)) best = &format;
    }
    return best;
}

} // namespace driverhost
