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

// The string index that ends many unit descriptors, and a one-byte bmControls.
constexpr std::size_t indexByte = 1;
constexpr std::size_t controlByte = 1;
constexpr std::size_t controlSizeByte = 1; // release 1 bControlSize
constexpr std::size_t uac2ChannelControls = sizeof(Le32);
// Rows for descriptors not checked beyond the class-specific header.
constexpr std::uint8_t headerOnly = 3;

// Release 1 header: one interface number per streaming interface in the collection.
const char* interfaceCollection(std::span<const std::uint8_t> d) {
    return needs(
        d, sizeof(uac1::HeaderDescriptor) + d[offsetof(uac1::HeaderDescriptor, bInCollection)],
        "shorter than its interface collection");
}

// Units with bNrInPins after bUnitID: `Fixed` bytes besides their sources.
template <std::size_t Fixed> const char* sourcesAfterId(std::span<const std::uint8_t> d) {
    return needs(d, Fixed + d[offsetof(UnitWithPinsDescriptor, bNrInPins)],
                 "shorter than its source list");
}

// Processing and extension units: bNrInPins after wProcessType.
template <std::size_t Fixed> const char* sourcesAfterProcessType(std::span<const std::uint8_t> d) {
    return needs(d, Fixed + d[offsetof(ProcessingUnitDescriptor, bNrInPins)],
                 "shorter than its source list");
}

// Release 1 processing and extension units: after the sources and the
// channel cluster, a bitmap of bControlSize bytes and the string index.
const char* uac1ProcessingControls(std::span<const std::uint8_t> d) {
    const std::size_t controlSizeAt = sizeof(ProcessingUnitDescriptor) +
                                      d[offsetof(ProcessingUnitDescriptor, bNrInPins)] +
                                      sizeof(uac1::ChannelCluster);
    if (const char* problem =
            needs(d, controlSizeAt + controlSizeByte, "shorter than its source list"))
        return problem;
    return needs(d, controlSizeAt + controlSizeByte + d[controlSizeAt] + indexByte,
                 "shorter than its control bitmap");
}

// Mixer units: after the sources, the channel cluster (its bNrChannels
// first), and a bitmap of one bit per input channel and output channel.
// Each pin brings at least one channel, so the bitmap needs at least pins x
// channels bits.
template <std::size_t Fixed> const char* mixerControls(std::span<const std::uint8_t> d) {
    const std::size_t pins = d[offsetof(UnitWithPinsDescriptor, bNrInPins)];
    const std::size_t channelsAt = sizeof(UnitWithPinsDescriptor) + pins;
    if (const char* problem = needs(d, channelsAt + 1, "shorter than its source list"))
        return problem;
    const std::size_t outputs = d[channelsAt];
    return needs(d, Fixed + pins + (pins * outputs + 7) / 8, "shorter than its mixer bitmap");
}

// Release 1 feature unit: bControlSize bytes for the master channel and for
// each logical channel, then iFeature.
const char* uac1FeatureControls(std::span<const std::uint8_t> d) {
    const std::size_t size = d[offsetof(uac1::FeatureUnitDescriptor, bControlSize)];
    if (size == 0) return "bControlSize is 0";
    const std::size_t controls = d.size() - sizeof(uac1::FeatureUnitDescriptor) - indexByte;
    if (controls < size) return "shorter than the master channel's controls";
    if (controls % size != 0) return "controls do not fill whole channels";
    return nullptr;
}

// Release 2 feature unit: a 32-bit control word per channel, master first.
const char* uac2FeatureControls(std::span<const std::uint8_t> d) {
    const std::size_t controls = d.size() - sizeof(uac2::FeatureUnitDescriptor) - indexByte;
    if (controls < uac2ChannelControls) return "shorter than the master channel's controls";
    if (controls % uac2ChannelControls != 0) return "controls do not fill whole channels";
    return nullptr;
}

// Release 1 format types: the rate table after bSamFreqType, a continuous
// range when it is 0, else that many 3-byte rates. Type II has two more
// fields before bSamFreqType.
const char* uac1FormatRates(std::span<const std::uint8_t> d) {
    const std::uint8_t formatType = d[offsetof(uac1::FormatTypeDescriptor, bFormatType)];
    std::size_t countAt = offsetof(uac1::FormatTypeDescriptor, bSamFreqType);
    if (formatType == format_type::typeII) {
        countAt = offsetof(uac1::FormatTypeIIDescriptor, bSamFreqType);
        if (const char* problem =
                needs(d, sizeof(uac1::FormatTypeIIDescriptor), "shorter than a type II format"))
            return problem;
    } else if (formatType != format_type::typeI && formatType != format_type::typeIII) {
        return nullptr;
    }
    const std::size_t count = d[countAt];
    const std::size_t table =
        count == 0 ? sizeof(uac1::SamplingFrequencyRange) : sizeof(Le24) * count;
    return needs(d, countAt + 1 + table, "shorter than its rate table");
}

// Release 2 format types: I and III carry slot size and resolution, II two
// 16-bit fields.
const char* uac2FormatFields(std::span<const std::uint8_t> d) {
    const std::uint8_t formatType = d[offsetof(uac2::FormatTypeDescriptor, bFormatType)];
    if (formatType == format_type::typeI || formatType == format_type::typeIII)
        return needs(d, sizeof(uac2::FormatTypeDescriptor), "shorter than a type I or III format");
    if (formatType == format_type::typeII)
        return needs(d, sizeof(uac2::FormatTypeIIDescriptor), "shorter than a type II format");
    return nullptr;
}

// The fixed parts of the descriptors whose records stop before their
// variable parts.
constexpr std::size_t uac1Selector = sizeof(UnitWithPinsDescriptor) + indexByte;
constexpr std::size_t uac1Mixer =
    sizeof(UnitWithPinsDescriptor) + sizeof(uac1::ChannelCluster) + indexByte;
constexpr std::size_t uac1Feature = sizeof(uac1::FeatureUnitDescriptor) + indexByte;
constexpr std::size_t uac1Processing =
    sizeof(ProcessingUnitDescriptor) + sizeof(uac1::ChannelCluster) + controlSizeByte + indexByte;
constexpr std::size_t uac2Selector = sizeof(UnitWithPinsDescriptor) + controlByte + indexByte;
constexpr std::size_t uac2Mixer =
    sizeof(UnitWithPinsDescriptor) + sizeof(uac2::ChannelCluster) + controlByte + indexByte;
constexpr std::size_t uac2Feature =
    sizeof(uac2::FeatureUnitDescriptor) + uac2ChannelControls + indexByte;
constexpr std::size_t uac2Processing =
    sizeof(ProcessingUnitDescriptor) + sizeof(uac2::ChannelCluster) + 2 * controlByte + indexByte;
constexpr std::size_t uac2Extension =
    sizeof(ProcessingUnitDescriptor) + sizeof(uac2::ChannelCluster) + controlByte + indexByte;
constexpr std::size_t uac2FormatHead = offsetof(uac2::FormatTypeDescriptor, bSubslotSize);

using R = AudioRelease;

constexpr ClassDescriptorRule kRules[] = {
    {R::uac1, control, cs, uac1::ac_subtype::header, sizeof(uac1::HeaderDescriptor), "header",
     interfaceCollection},
    {R::uac1, control, cs, uac1::ac_subtype::inputTerminal, sizeof(uac1::InputTerminalDescriptor),
     "input terminal", nullptr},
    {R::uac1, control, cs, uac1::ac_subtype::outputTerminal, sizeof(uac1::OutputTerminalDescriptor),
     "output terminal", nullptr},
    {R::uac1, control, cs, uac1::ac_subtype::mixerUnit, uac1Mixer, "mixer unit",
     mixerControls<uac1Mixer>},
    {R::uac1, control, cs, uac1::ac_subtype::selectorUnit, uac1Selector, "selector unit",
     sourcesAfterId<uac1Selector>},
    {R::uac1, control, cs, uac1::ac_subtype::featureUnit, uac1Feature, "feature unit",
     uac1FeatureControls},
    {R::uac1, control, cs, uac1::ac_subtype::processingUnit, uac1Processing, "processing unit",
     uac1ProcessingControls},
    {R::uac1, control, cs, uac1::ac_subtype::extensionUnit, uac1Processing, "extension unit",
     uac1ProcessingControls},
    {R::uac1, streaming, cs, as_subtype::general, sizeof(uac1::AsGeneralDescriptor),
     "streaming general", nullptr},
    {R::uac1, streaming, cs, as_subtype::formatType, sizeof(uac1::FormatTypeDescriptor),
     "format type", uac1FormatRates},
    {R::uac1, streaming, cs, as_subtype::formatSpecific, headerOnly,
     "format specific (not checked)", nullptr},
    {R::uac1, streaming, csEndpoint, endpoint_subtype::general, sizeof(uac1::IsoEndpointDescriptor),
     "isochronous endpoint", nullptr},

    {R::uac2, control, cs, uac2::ac_subtype::header, sizeof(uac2::HeaderDescriptor), "header",
     nullptr},
    {R::uac2, control, cs, uac2::ac_subtype::inputTerminal, sizeof(uac2::InputTerminalDescriptor),
     "input terminal", nullptr},
    {R::uac2, control, cs, uac2::ac_subtype::outputTerminal, sizeof(uac2::OutputTerminalDescriptor),
     "output terminal", nullptr},
    {R::uac2, control, cs, uac2::ac_subtype::mixerUnit, uac2Mixer, "mixer unit",
     mixerControls<uac2Mixer>},
    {R::uac2, control, cs, uac2::ac_subtype::selectorUnit, uac2Selector, "selector unit",
     sourcesAfterId<uac2Selector>},
    {R::uac2, control, cs, uac2::ac_subtype::featureUnit, uac2Feature, "feature unit",
     uac2FeatureControls},
    {R::uac2, control, cs, uac2::ac_subtype::effectUnit, headerOnly, "effect unit (not checked)",
     nullptr},
    {R::uac2, control, cs, uac2::ac_subtype::processingUnit, uac2Processing, "processing unit",
     sourcesAfterProcessType<uac2Processing>},
    {R::uac2, control, cs, uac2::ac_subtype::extensionUnit, uac2Extension, "extension unit",
     sourcesAfterProcessType<uac2Extension>},
    {R::uac2, control, cs, uac2::ac_subtype::clockSource, sizeof(uac2::ClockSourceDescriptor),
     "clock source", nullptr},
    {R::uac2, control, cs, uac2::ac_subtype::clockSelector, uac2Selector, "clock selector",
     sourcesAfterId<uac2Selector>},
    {R::uac2, control, cs, uac2::ac_subtype::clockMultiplier,
     sizeof(uac2::ClockMultiplierDescriptor), "clock multiplier", nullptr},
    {R::uac2, control, cs, uac2::ac_subtype::sampleRateConverter, headerOnly,
     "sample rate converter (not checked)", nullptr},
    {R::uac2, streaming, cs, as_subtype::general, sizeof(uac2::AsGeneralDescriptor),
     "streaming general", nullptr},
    {R::uac2, streaming, cs, as_subtype::formatType, uac2FormatHead, "format type",
     uac2FormatFields},
    {R::uac2, streaming, cs, as_subtype::formatSpecific, headerOnly,
     "format specific (not checked)", nullptr},
    {R::uac2, streaming, csEndpoint, endpoint_subtype::general, sizeof(uac2::IsoEndpointDescriptor),
     "isochronous endpoint", nullptr},
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
