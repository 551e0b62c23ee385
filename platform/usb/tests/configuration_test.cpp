#include "platform/usb/configuration.h"

#include "platform/usb/tests/descriptor_bytes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace usb;
using usbtest::Bytes;
using usbtest::classDescriptor;
using usbtest::configuration;
using usbtest::descriptor;
using usbtest::endpoint;
using usbtest::interface;

const Bytes kAudioControl = interface(0, 0, 0, 1, 1, 0);
const Bytes kBadFeatureUnit = classDescriptor(6, {5, 1, 0, 3, 2, 2, 0}); // bControlSize 0

struct RefusalCase {
    const char* what;
    Bytes bytes;
    kernel::NTSTATUS status;
    std::size_t offset;
    const char* descriptor;
};

void PrintTo(const RefusalCase& c, std::ostream* out) { *out << c.what; }

Bytes withTotalLength(Bytes bytes, std::uint16_t total) {
    bytes[2] = static_cast<std::uint8_t>(total);
    bytes[3] = static_cast<std::uint8_t>(total >> 8);
    return bytes;
}

class ConfigurationRefusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(ConfigurationRefusal, SaysWhereAndWhyAndHandsOutNothing) {
    const RefusalCase& c = GetParam();
    const ConfigurationView view(c.bytes);
    EXPECT_FALSE(view.valid());
    EXPECT_EQ(view.status(), c.status);
    EXPECT_EQ(view.fault().offset, c.offset);
    EXPECT_STREQ(view.fault().descriptor, c.descriptor);
    EXPECT_NE(std::string(view.fault().problem), "");
    EXPECT_EQ(view.configuration(), nullptr);
    EXPECT_TRUE(view.descriptors().empty());
    EXPECT_EQ(view.findInterface({}), nullptr);
}

const kernel::NTSTATUS kTruncated = kernel::STATUS_UNSUCCESSFUL;
const kernel::NTSTATUS kMalformed = kernel::STATUS_INVALID_PARAMETER;

INSTANTIATE_TEST_SUITE_P(
    Structure, ConfigurationRefusal,
    testing::Values(
        RefusalCase{"no bytes", {}, kTruncated, 0, "configuration"},
        RefusalCase{"another descriptor first", interface(0, 0, 0, 1, 1, 0), kMalformed, 0,
                    "configuration"},
        RefusalCase{"a short configuration header", Bytes{8, 2, 8, 0, 1, 1, 0, 0x80, 0}, kMalformed,
                    0, "configuration"},
        RefusalCase{"wTotalLength below the header", withTotalLength(configuration({}), 4),
                    kMalformed, 0, "configuration"},
        RefusalCase{"wTotalLength past the bytes",
                    withTotalLength(configuration({kAudioControl}), 19), kTruncated, 0,
                    "configuration"},
        RefusalCase{"bLength 0", configuration({Bytes{0, 4, 0}}), kMalformed, 9, "descriptor"},
        RefusalCase{"bLength 1", configuration({Bytes{1, 4}}), kMalformed, 9, "descriptor"},
        RefusalCase{"a descriptor past the end", configuration({Bytes{9, 4, 0, 0, 0}}), kTruncated,
                    9, "interface"},
        RefusalCase{"a header cut off", configuration({kAudioControl, Bytes{7}}), kTruncated, 18,
                    "descriptor"},
        RefusalCase{"a short interface", configuration({descriptor(4, {0, 0, 0, 1, 1, 0})}),
                    kMalformed, 9, "interface"},
        RefusalCase{"a short endpoint",
                    configuration({kAudioControl, descriptor(5, {0x81, 3, 2, 0})}), kMalformed, 18,
                    "endpoint"},
        RefusalCase{"a short association", configuration({descriptor(11, {0, 2, 1, 0, 0})}),
                    kMalformed, 9, "interface association"},
        RefusalCase{"a class-specific header without subtype",
                    configuration({kAudioControl, Bytes{2, 0x24}}), kMalformed, 18,
                    "class-specific"}));

INSTANTIATE_TEST_SUITE_P(
    ClassRules, ConfigurationRefusal,
    testing::Values(RefusalCase{"a feature unit that breaks its rule",
                                configuration({kAudioControl, kBadFeatureUnit}), kMalformed, 18,
                                "feature unit"},
                    RefusalCase{"a clock source too short for release 2",
                                configuration({interface(0, 0, 0, 1, 1, 0x20),
                                               classDescriptor(10, {9, 3, 7, 0})}),
                                kMalformed, 18, "clock source"},
                    RefusalCase{"a format type cut in a streaming interface",
                                configuration({interface(1, 1, 1, 1, 2, 0),
                                               classDescriptor(2, {1, 2, 2, 16, 1, 0x80, 0xBB})}),
                                kMalformed, 18, "format type"},
                    RefusalCase{"the rules of the nearest interface",
                                configuration({kAudioControl, interface(1, 0, 0, 0xFF, 0, 0),
                                               interface(2, 0, 0, 1, 1, 0), kBadFeatureUnit}),
                                kMalformed, 36, "feature unit"}));

TEST(ConfigurationView, AppliesAudioRulesOnlyUnderAudioInterfacesOfAKnownRelease) {
    const Bytes accepted[] = {
        configuration({interface(0, 0, 0, 0xFF, 1, 0), kBadFeatureUnit}), // a vendor class
        configuration({interface(0, 0, 0, 1, 1, 0x30), kBadFeatureUnit}), // an unknown release
        configuration({kBadFeatureUnit}),                                 // no interface yet
        // Subtype 10 is a clock source only under release 2.
        configuration({kAudioControl, classDescriptor(10, {9})}),
    };
    for (const Bytes& bytes : accepted) {
        const ConfigurationView view(bytes);
        EXPECT_TRUE(view.valid()) << view.fault().problem;
    }
}

TEST(ConfigurationView, EndsAtWTotalLength) {
    Bytes bytes = configuration({kAudioControl, classDescriptor(6, {5, 1, 1, 3, 2, 2, 0})});
    bytes.insert(bytes.end(), {0, 0xFF});
    const ConfigurationView view(bytes);
    ASSERT_TRUE(view.valid()) << view.fault().problem;
    EXPECT_EQ(view.bytes().size(), bytes.size() - 2);
    EXPECT_EQ(view.configuration()->wTotalLength.value(), bytes.size() - 2);
}

// An audio function with its AudioControl interface (release 2, with an
// interrupt endpoint), two settings of a streaming interface and a HID
// interface behind an interface association.
const Bytes kFunction = configuration({descriptor(11, {0, 2, 1, 0, 0x20, 0}),  // 9: association
                                       interface(0, 0, 1, 1, 1, 0x20),         // 17
                                       classDescriptor(1, {0, 2, 4, 9, 0, 0}), // 26: header
                                       endpoint(0x83, 3, 6, 8),                // 35
                                       interface(1, 0, 0, 1, 2, 0x20),         // 42
                                       interface(1, 1, 2, 1, 2, 0x20),         // 51
                                       classDescriptor(2, {1, 2, 16}),         // 60: format type I
                                       endpoint(0x01, 0x05, 200),              // 66
                                       classDescriptor(1, {0, 0, 0, 0, 0}, 0x25), // 73
                                       endpoint(0x81, 0x11, 4),                   // 81
                                       descriptor(11, {2, 1, 3, 0, 0, 0}),        // 88: association
                                       interface(2, 0, 1, 3, 0, 0),               // 96
                                       descriptor(0x21, {0x11, 1, 0, 1, 0x22, 50, 0}), // 105: HID
                                       endpoint(0x84, 3, 8, 4)},                       // 114
                                      3);

TEST(ConfigurationView, WalksEveryDescriptorInOrder) {
    const ConfigurationView view(kFunction);
    ASSERT_TRUE(view.valid()) << view.fault().problem;
    std::vector<std::pair<std::size_t, std::uint8_t>> seen;
    for (const Descriptor& d : view.descriptors()) seen.emplace_back(d.offset, d.type());
    const std::vector<std::pair<std::size_t, std::uint8_t>> expected{
        {0, 2},  {9, 11},    {17, 4}, {26, 0x24}, {35, 5}, {42, 4},     {51, 4}, {60, 0x24},
        {66, 5}, {73, 0x25}, {81, 5}, {88, 11},   {96, 4}, {105, 0x21}, {114, 5}};
    EXPECT_EQ(seen, expected);
}

struct FindCase {
    InterfaceQuery query;
    int number; // -1: none found
    int alternate;
};

TEST(ConfigurationView, FindsInterfacesByEveryField) {
    const ConfigurationView view(kFunction);
    const FindCase cases[] = {
        {{}, 0, 0},
        {{.number = 1}, 1, 0},
        {{.number = 1, .alternateSetting = 1}, 1, 1},
        {{.interfaceClass = 1, .subclass = 2, .protocol = 0x20}, 1, 0},
        {{.alternateSetting = 1}, 1, 1},
        {{.interfaceClass = 3}, 2, 0},
        {{.interfaceClass = 1, .protocol = 0}, -1, 0},
        {{.number = 5}, -1, 0},
    };
    for (const FindCase& c : cases) {
        const InterfaceDescriptor* found = view.findInterface(c.query);
        if (c.number < 0) {
            EXPECT_EQ(found, nullptr);
            continue;
        }
        ASSERT_NE(found, nullptr) << c.number << "/" << c.alternate;
        EXPECT_EQ(found->bInterfaceNumber, c.number);
        EXPECT_EQ(found->bAlternateSetting, c.alternate);
    }
}

TEST(ConfigurationView, FindsTheNextInterfaceAfterOne) {
    const ConfigurationView view(kFunction);
    const InterfaceQuery streaming{.interfaceClass = 1, .subclass = 2};
    const InterfaceDescriptor* first = view.findInterface(streaming);
    const InterfaceDescriptor* second = view.findInterface(streaming, first);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->bAlternateSetting, 1);
    EXPECT_EQ(view.findInterface(streaming, second), nullptr);
}

TEST(ConfigurationView, FindsTheEndpointsOfEachInterface) {
    const ConfigurationView view(kFunction);
    const InterfaceDescriptor* control = view.findInterface({.number = 0});
    const InterfaceDescriptor* idle = view.findInterface({.number = 1, .alternateSetting = 0});
    const InterfaceDescriptor* streaming = view.findInterface({.number = 1, .alternateSetting = 1});
    const InterfaceDescriptor* hid = view.findInterface({.number = 2});

    ASSERT_NE(view.findEndpoint(control, 0), nullptr);
    EXPECT_EQ(view.findEndpoint(control, 0)->wMaxPacketSize.value(), 6);
    EXPECT_EQ(view.findEndpoint(control, 1), nullptr); // the next interface's are not its own
    EXPECT_EQ(view.findEndpoint(idle, 0), nullptr);
    ASSERT_NE(view.findEndpoint(streaming, 1), nullptr);
    EXPECT_EQ(view.findEndpoint(streaming, 0)->bEndpointAddress, 0x01);
    EXPECT_EQ(view.findEndpoint(streaming, 1)->bEndpointAddress, 0x81);
    EXPECT_EQ(endpoint::usage(view.findEndpoint(streaming, 1)->bmAttributes),
              endpoint::Usage::feedback);
    EXPECT_EQ(view.findEndpoint(streaming, 2), nullptr); // the association ends the interface
    EXPECT_EQ(view.findEndpoint(hid, 0)->bEndpointAddress, 0x84);
}

TEST(ConfigurationView, RefusesPointersThatStartNoDescriptorOfIt) {
    const ConfigurationView view(kFunction);
    const Bytes copy = kFunction;
    const auto* foreign = reinterpret_cast<const InterfaceDescriptor*>(copy.data() + 17);
    const auto* inside = reinterpret_cast<const InterfaceDescriptor*>(view.bytes().data() + 18);
    const auto* endpointAsInterface =
        reinterpret_cast<const InterfaceDescriptor*>(view.bytes().data() + 35);

    EXPECT_FALSE(view.contains(foreign));
    EXPECT_FALSE(view.contains(inside));
    EXPECT_TRUE(view.descriptorsFrom(foreign).empty());
    EXPECT_TRUE(view.descriptorsFrom(inside).empty());
    EXPECT_EQ(view.findInterface({}, foreign), nullptr);
    EXPECT_TRUE(view.interfaceDescriptors(foreign).empty());
    EXPECT_TRUE(view.interfaceDescriptors(endpointAsInterface).empty());
    EXPECT_EQ(view.findEndpoint(foreign, 0), nullptr);
}

TEST(ConfigurationView, WalksFromADescriptorToTheEnd) {
    const ConfigurationView view(kFunction);
    std::vector<std::size_t> offsets;
    for (const Descriptor& d : view.descriptorsFrom(view.bytes().data() + 96))
        offsets.push_back(d.offset);
    EXPECT_EQ(offsets, (std::vector<std::size_t>{96, 105, 114}));
}

TEST(ConfigurationView, SeesADescriptorAsARecordOnlyWhenLongEnough) {
    const Bytes bytes = configuration({descriptor(0x30, {1, 2, 3})});
    const ConfigurationView view(bytes);
    ASSERT_TRUE(view.valid());
    const Descriptor unknown = *std::next(view.descriptors().begin());
    EXPECT_EQ(unknown.as<InterfaceDescriptor>(), nullptr);
    EXPECT_NE(unknown.as<CommonDescriptor>(), nullptr);
    EXPECT_EQ(unknown.subtype(), 1);
}

} // namespace
