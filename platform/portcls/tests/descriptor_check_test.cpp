// A port serves only a descriptor whose every table it can read: each
// broken descriptor here fails the port's binding, and the miniport that
// gave it is let go.
#include "platform/portcls/descriptor_check.h"

#include "toy_adapter.h"

#include <gtest/gtest.h>

#include <functional>

namespace portcls::testing {
namespace {

TEST(DescriptorCheck, BrokenDescriptorsAreRefused) {
    static const PropertyItem unnamed[] = {{nullptr, 1, ks::property_verb::get, nullptr}};
    static const AutomationTable badItemSize{4, 1, ToyTopology::nodeProperties, 0, 0, nullptr};
    static const AutomationTable noItems{sizeof(PropertyItem), 1, nullptr, 0, 0, nullptr};
    static const AutomationTable noSet{sizeof(PropertyItem), 1, unnamed, 0, 0, nullptr};
    static const DataRangeEntry rangeWithoutItsList[] = {{&ToyWave::pcmRange.DataRange}};
    static const ConnectionDescriptor toNowhere[] = {{nodeNone, 0, 5, 1}};
    static const ConnectionDescriptor fromNowhere[] = {{nodeNone, 7, 0, 1}};
    static const NodeDescriptor untyped[] = {{0, nullptr, nullptr, nullptr}};

    const struct {
        const char* what;
        std::function<void(FilterDescriptor&, std::vector<PinDescriptor>&)> breakIt;
    } cases[] = {
        {"pin records of another size", [](auto& d, auto&) { d.PinSize = 60; }},
        {"pins counted but missing", [](auto& d, auto&) { d.Pins = nullptr; }},
        {"node records of another size", [](auto& d, auto&) { d.NodeSize = 8; }},
        {"connections counted but missing", [](auto& d, auto&) { d.Connections = nullptr; }},
        {"categories counted but missing", [](auto& d, auto&) { d.Categories = nullptr; }},
        {"a connection to a node that is not there",
         [](auto& d, auto&) {
             d.Connections = toNowhere;
             d.ConnectionCount = 1;
         }},
        {"a connection from a pin that is not there",
         [](auto& d, auto&) {
             d.Connections = fromNowhere;
             d.ConnectionCount = 1;
         }},
        {"a node without a type", [](auto& d, auto&) { d.Nodes = untyped; }},
        {"property items of another size",
         [](auto& d, auto&) { d.AutomationTable = &badItemSize; }},
        {"property items counted but missing",
         [](auto& d, auto&) { d.AutomationTable = &noItems; }},
        {"a property item without a set", [](auto& d, auto&) { d.AutomationTable = &noSet; }},
        {"a range announcing an attribute list it lacks",
         [](auto&, auto& pins) {
             pins[0].DataRanges = rangeWithoutItsList;
             pins[0].DataRangesCount = 1;
         }},
        {"ranges counted but missing", [](auto&, auto& pins) { pins[0].DataRanges = nullptr; }},
    };
    EXPECT_TRUE(descriptorIsSound(&ToyWave::descriptor));
    EXPECT_FALSE(descriptorIsSound(nullptr));
    for (const auto& c : cases) {
        FilterDescriptor descriptor = ToyWave::descriptor;
        std::vector<PinDescriptor> pins(ToyWave::pins, ToyWave::pins + 2);
        descriptor.Pins = pins.data();
        c.breakIt(descriptor, pins);
        EXPECT_FALSE(descriptorIsSound(&descriptor)) << c.what;
    }
}

TEST(DescriptorCheck, FormatsFitAPinByTheIdentifiersOfOneOfItsRanges) {
    const PinDescriptor& stream = ToyWave::pins[0];
    ks::DataFormatWaveFormatEx format = pcmFormat();
    EXPECT_TRUE(formatFitsPin(stream, format.DataFormat));
    format.DataFormat.Specifier = ks::KSDATAFORMAT_SPECIFIER_DSOUND;
    EXPECT_FALSE(formatFitsPin(stream, format.DataFormat));
    format = pcmFormat();
    format.DataFormat.MajorFormat = ks::GUID_NULL;
    EXPECT_FALSE(formatFitsPin(stream, format.DataFormat));
    // A range's null identifier takes any.
    ks::DataRange any = ToyWave::pcmRange.DataRange;
    any.Flags = 0;
    any.SubFormat = ks::GUID_NULL;
    const DataRangeEntry anyRange[] = {{&any}};
    PinDescriptor open = stream;
    open.DataRanges = anyRange;
    open.DataRangesCount = 1;
    format = pcmFormat();
    format.DataFormat.SubFormat = ks::KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
    EXPECT_TRUE(formatFitsPin(open, format.DataFormat));
}

} // namespace
} // namespace portcls::testing
