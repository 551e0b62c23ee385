#include "platform/usb/descriptor_rules.h"

#include "platform/usb/audio_descriptors.h"
#include "platform/usb/descriptors.h"

#include <cstddef>

namespace usb {
namespace {

constexpr std::uint8_t control = audio_subclass::control;
constexpr std::uint8_t streaming = audio_subclass::streaming;
constexpr std::uint8_t cs = descriptor_type::classInterface;
constexpr std::uint8_t csEndpoint = descriptor_type::classEndpoint;

const char* needs(std::span<const std::uint8_t> d, std::size_t length, const char* problem) {
    return d.size() < length ? problem : nullptr;
}

// Release 1 header: one interface number per streaming interface in the collection.
const char* interfaceCollection(std::span<const std::uint8_t> d) {
    return needs(d, 8u + d[7], "shorter than its interface collection");
}

// Units with bNrInPins at byte 4: `Fixed` bytes besides their sources.
template <std::size_t Fixed> const char* sourcesAt4(std::span<const std::uint8_t> d) {
    return needs(d, Fixed + d[4], "shorter than its source list");
}

// Release 2 processing and extension units: bNrInPins at byte 6.
template <std::size_t Fixed> const char* sourcesAt6(std::span<const std::uint8_t> d) {
    return needs(d, Fixed + d[6], "shorter than its source list");
}

// Release 1 processing and extension units: after the sources, a bitmap of
// bControlSize (at 11 + pins) bytes.
const char* uac1ProcessingControls(std::span<const std::uint8_t> d) {
    const std::size_t pins = d[6];
    if (const char* problem = needs(d, 12 + pins, "shorter than its source list")) return problem;
    return needs(d, 13 + pins + d[11 + pins], "shorter than its control bitmap");
}

// Mixer units: after the sources, bNrChannels at 5 + pins, and a bitmap of
// one bit per input channel and output channel. Each pin brings at least one
// channel, so the bitmap needs at least pins x channels bits.
template <std::size_t Fixed> const char* mixerControls(std::span<const std::uint8_t> d) {
    const std::size_t pins = d[4];
    if (const char* problem = needs(d, 6 + pins, "shorter than its source list")) return problem;
    const std::size_t outputs = d[5 + pins];
    return needs(d, Fixed + pins + (pins * outputs + 7) / 8, "shorter than its mixer bitmap");
}

// Release 1 feature unit: bControlSize bytes for the master channel and for
// each logical channel, then iFeature.
const char* uac1FeatureControls(std::span<const std::uint8_t> d) {
    const std::size_t size = d[5];
    if (size == 0) return "bControlSize is 0";
    const std::size_t controls = d.size() - 7;
    if (controls < size) return "shorter than the master channel's controls";
    if (controls % size != 0) return "controls do not fill whole channels";
    return nullptr;
}

// Release 2 feature unit: a 32-bit control word per channel, master first.
const char* uac2FeatureControls(std::span<const std::uint8_t> d) {
    const std::size_t controls = d.size() - 6;
    if (controls < 4) return "shorter than the master channel's controls";
    if (controls % 4 != 0) return "controls do not fill whole channels";
    return nullptr;
}

// Release 1 format types: the rate table after bSamFreqType, a continuous
// range (6 bytes) when it is 0, else that many 3-byte rates. Type II has
// two more bytes before bSamFreqType.
const char* uac1FormatRates(std::span<const std::uint8_t> d) {
    std::size_t countAt = 7;
    if (d[3] == format_type::typeII) {
        countAt = 8;
        if (const char* problem = needs(d, 9, "shorter than a type II format")) return problem;
    } else if (d[3] != format_type::typeI && d[3] != format_type::typeIII) {
        return nullptr;
    }
    const std::size_t count = d[countAt];
    return needs(d, countAt + 1 + (count == 0 ? 6 : 3 * count), "shorter than its rate table");
}

// Release 2 format types: I and III carry slot size and resolution, II two
// 16-bit fields.
const char* uac2FormatFields(std::span<const std::uint8_t> d) {
    if (d[3] == format_type::typeI || d[3] == format_type::typeIII)
        return needs(d, 6, "shorter than a type I or III format");
    if (d[3] == format_type::typeII) return needs(d, 8, "shorter than a type II format");
    return nullptr;
}

using R = AudioRelease;

constexpr ClassDescriptorRule kRules[] = {
    {R::uac1, control, cs, uac1::ac_subtype::header, 8, "header", interfaceCollection},
    {R::uac1, control, cs, uac1::ac_subtype::inputTerminal, 12, "input terminal", nullptr},
    {R::uac1, control, cs, uac1::ac_subtype::outputTerminal, 9, "output terminal", nullptr},
    {R::uac1, control, cs, uac1::ac_subtype::mixerUnit, 10, "mixer unit", mixerControls<10>},
    {R::uac1, control, cs, uac1::ac_subtype::selectorUnit, 6, "selector unit", sourcesAt4<6>},
    {R::uac1, control, cs, uac1::ac_subtype::featureUnit, 7, "feature unit", uac1FeatureControls},
    {R::uac1, control, cs, uac1::ac_subtype::processingUnit, 13, "processing unit",
     uac1ProcessingControls},
    {R::uac1, control, cs, uac1::ac_subtype::extensionUnit, 13, "extension unit",
     uac1ProcessingControls},
    {R::uac1, streaming, cs, as_subtype::general, 7, "streaming general", nullptr},
    {R::uac1, streaming, cs, as_subtype::formatType, 8, "format type", uac1FormatRates},
    {R::uac1, streaming, csEndpoint, endpoint_subtype::general, 7, "isochronous endpoint", nullptr},

    {R::uac2, control, cs, uac2::ac_subtype::header, 9, "header", nullptr},
    {R::uac2, control, cs, uac2::ac_subtype::inputTerminal, 17, "input terminal", nullptr},
    {R::uac2, control, cs, uac2::ac_subtype::outputTerminal, 12, "output terminal", nullptr},
    {R::uac2, control, cs, uac2::ac_subtype::mixerUnit, 13, "mixer unit", mixerControls<13>},
    {R::uac2, control, cs, uac2::ac_subtype::selectorUnit, 7, "selector unit", sourcesAt4<7>},
    {R::uac2, control, cs, uac2::ac_subtype::featureUnit, 10, "feature unit", uac2FeatureControls},
    {R::uac2, control, cs, uac2::ac_subtype::processingUnit, 16, "processing unit", sourcesAt6<16>},
    {R::uac2, control, cs, uac2::ac_subtype::extensionUnit, 15, "extension unit", sourcesAt6<15>},
    {R::uac2, control, cs, uac2::ac_subtype::clockSource, 8, "clock source", nullptr},
    {R::uac2, control, cs, uac2::ac_subtype::clockSelector, 7, "clock selector", sourcesAt4<7>},
    {R::uac2, control, cs, uac2::ac_subtype::clockMultiplier, 7, "clock multiplier", nullptr},
    {R::uac2, streaming, cs, as_subtype::general, 16, "streaming general", nullptr},
    {R::uac2, streaming, cs, as_subtype::formatType, 4, "format type", uac2FormatFields},
    {R::uac2, streaming, csEndpoint, endpoint_subtype::general, 8, "isochronous endpoint", nullptr},
};

} // namespace

std::span<const ClassDescriptorRule> classDescriptorRules() { return kRules; }

std::optional<AudioInterfaceKind> audioInterfaceKind(const InterfaceDescriptor& interface) {
    if (interface.bInterfaceClass != interface_class::audio) return std::nullopt;
    if (interface.bInterfaceProtocol == audio_protocol::version1)
        return AudioInterfaceKind{AudioRelease::uac1, interface.bInterfaceSubClass};
    if (interface.bInterfaceProtocol == audio_protocol::version2)
        return AudioInterfaceKind{AudioRelease::uac2, interface.bInterfaceSubClass};
    return std::nullopt; // a release the table has no rules for
}

const ClassDescriptorRule* findClassDescriptorRule(AudioRelease release,
                                                   std::uint8_t interfaceSubclass,
                                                   std::uint8_t descriptorType,
                                                   std::uint8_t subtype) {
    for (const ClassDescriptorRule& rule : kRules)
        if (rule.release == release && rule.interfaceSubclass == interfaceSubclass &&
            rule.descriptorType == descriptorType && rule.subtype == subtype)
            return &rule;
    return nullptr;
}

const char* checkClassDescriptor(AudioRelease release, std::uint8_t interfaceSubclass,
                                 std::span<const std::uint8_t> descriptor) {
    if (descriptor.size() < 3) return "shorter than a class-specific header";
    if (descriptor[0] != descriptor.size()) return "bLength differs from the bytes given";
    const ClassDescriptorRule* rule =
        findClassDescriptorRule(release, interfaceSubclass, descriptor[1], descriptor[2]);
    if (rule == nullptr) return nullptr;
    if (descriptor.size() < rule->minimumLength) return "shorter than its fixed part";
    return rule->variablePart != nullptr ? rule->variablePart(descriptor) : nullptr;
}

} // namespace usb
