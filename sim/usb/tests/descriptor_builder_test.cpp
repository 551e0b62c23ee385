#include "sim/usb/descriptor_builder.h"

#include "platform/usb/configuration.h"
#include "sim/usb/fixtures.h"
#include "sim/usb/usb_function.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using namespace usbsim;
using usb::feature_control::loudness;
using usb::feature_control::mute;
using usb::feature_control::volume;

// A release 1 function of one terminal pair around the unit given.
FunctionDescription around(Entity unit, AudioRelease release = AudioRelease::uac1) {
    FunctionDescription d;
    d.release = release;
    if (release == AudioRelease::uac2)
        d.entities.push_back(ClockSource{.id = 30, .rates = {{48000, 48000, 0}}});
    const std::uint8_t clock = release == AudioRelease::uac2 ? 30 : 0;
    d.entities.push_back(InputTerminal{.id = 1, .clockSource = clock});
    d.entities.push_back(InputTerminal{.id = 2,
                                       .terminalType = usb::terminal_type::microphone,
                                       .channels = 1,
                                       .clockSource = clock});
    d.entities.push_back(std::move(unit));
    d.entities.push_back(OutputTerminal{
        .id = 20, .terminalType = usb::terminal_type::speaker, .source = 5, .clockSource = clock});
    return d;
}

// The class-specific descriptor of entity 5 in the built configuration.
Bytes unitBytes(const FunctionDescription& d) {
    const Bytes bytes = buildConfiguration(d);
    const usb::ConfigurationView view(bytes);
    EXPECT_TRUE(view.valid()) << view.fault().descriptor << ": " << view.fault().problem;
    for (const usb::Descriptor& e : view.descriptors())
        if (e.type() == usb::descriptor_type::classInterface && e.subtype() > 1 && e.bytes[3] == 5)
            return Bytes(e.bytes.begin(), e.bytes.end());
    ADD_FAILURE() << "no entity 5";
    return {};
}

// Feature unit 5 on terminal 1.
FeatureUnit feature(std::uint8_t channels, std::vector<FeatureControl> controls) {
    return FeatureUnit{.id = 5, .source = 1, .channels = channels, .controls = std::move(controls)};
}

TEST(DescriptorBuilder, SizesRelease1FeatureBitmapsToTheHighestSelector) {
    EXPECT_EQ(unitBytes(around(feature(2, {{.selector = mute, .channels = {0}},
                                           {.selector = volume, .channels = {1, 2}}}))),
              (Bytes{10, 0x24, 6, 5, 1, 1, 0x01, 0x02, 0x02, 0}));
    EXPECT_EQ(unitBytes(around(feature(2, {{.selector = mute, .channels = {0}},
                                           {.selector = loudness, .channels = {0, 2}}}))),
              (Bytes{13, 0x24, 6, 5, 1, 2, 0x01, 0x02, 0x00, 0x00, 0x00, 0x02, 0}));
}

TEST(DescriptorBuilder, GivesRelease2ControlsTwoBitsOfAccess) {
    const FeatureControl readOnlyVolume{
        .selector = volume, .channels = {1}, .access = usb::uac2::control_access::readOnly};
    EXPECT_EQ(unitBytes(around(feature(1, {{.selector = mute, .channels = {0}}, readOnlyVolume}),
                               AudioRelease::uac2)),
              (Bytes{14, 0x24, 6, 5, 1, 0x03, 0, 0, 0, 0x04, 0, 0, 0, 0}));
}

TEST(DescriptorBuilder, SetsOneMixerBitPerCrossingMostSignificantFirst) {
    // Three inputs (two from terminal 1, one from 2) into two outputs: bits 4 and 5.
    const Bytes bytes = unitBytes(around(MixerUnit{.id = 5,
                                                   .sources = {1, 2},
                                                   .sourceChannels = {2, 1},
                                                   .channels = 2,
                                                   .crossings = {{3, 1}, {3, 2}}}));
    EXPECT_EQ(bytes, (Bytes{13, 0x24, 4, 5, 2, 1, 2, 2, 0x03, 0x00, 0, 0x0C, 0}));
}

TEST(DescriptorBuilder, GroupsARelease2FunctionUnderAnAssociation) {
    const BuiltDescriptors built = buildDescriptors(fixtures::uac2FeedbackDevice());
    EXPECT_EQ(built.device[4], 0xEF); // miscellaneous class, interface association
    const usb::ConfigurationView view(built.configuration);
    const usb::Descriptor second = *std::next(view.descriptors().begin());
    ASSERT_EQ(second.type(), usb::descriptor_type::interfaceAssociation);
    const auto* association = second.as<usb::InterfaceAssociationDescriptor>();
    EXPECT_EQ(association->bFirstInterface, 0);
    EXPECT_EQ(association->bInterfaceCount, 3);
    EXPECT_EQ(association->bFunctionProtocol, usb::audio_protocol::version2);
}

TEST(DescriptorBuilder, CountsTheAudioControlHeaderOverItsUnitsOnly) {
    const Bytes bytes = buildConfiguration(fixtures::uac1Headset());
    const usb::ConfigurationView view(bytes);
    const usb::InterfaceDescriptor* control = view.findInterface({.number = 0});
    std::size_t classBytes = 0;
    const usb::uac1::HeaderDescriptor* header = nullptr;
    for (const usb::Descriptor& d : view.interfaceDescriptors(control)) {
        if (d.type() != usb::descriptor_type::classInterface) continue;
        if (header == nullptr) header = d.as<usb::uac1::HeaderDescriptor>();
        classBytes += d.length();
    }
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->wTotalLength.value(), classBytes);
    EXPECT_EQ(header->bInCollection, 2);
}

TEST(DescriptorBuilder, KeepsEachStringByIndexAndLanguage) {
    FunctionDescription d = fixtures::uac1Headset();
    d.languages = {0x0409, 0x0407};
    d.strings.push_back({2, u"USB-Spiel-Headset", 0x0407});
    const BuiltDescriptors built = buildDescriptors(d);
    EXPECT_EQ(built.languages, (Bytes{6, 3, 0x09, 0x04, 0x07, 0x04}));
    EXPECT_EQ(built.strings.at({2, 0x0407}), stringDescriptor(u"USB-Spiel-Headset"));
    EXPECT_EQ(stringDescriptor(u"K\u00e9"), (Bytes{6, 3, 'K', 0, 0xE9, 0}));
}

struct RefusedCase {
    const char* what;
    std::function<void(FunctionDescription&)> change;
};

TEST(DescriptorBuilder, RefusesWhatTheDescriptorsCannotExpress) {
    const RefusedCase cases[] = {
        {"an id given twice",
         [](FunctionDescription& d) {
             d.entities.push_back(SelectorUnit{.id = 1, .sources = {2}});
         }},
        {"an id of 0",
         [](FunctionDescription& d) {
             d.entities.push_back(SelectorUnit{.id = 0, .sources = {2}});
         }},
        {"a source naming nothing",
         [](FunctionDescription& d) { std::get<OutputTerminal>(d.entities[5]).source = 99; }},
        {"a clock source in release 1",
         [](FunctionDescription& d) { d.entities.push_back(ClockSource{.id = 40}); }},
        {"a control on a missing channel",
         [](FunctionDescription& d) {
             std::get<FeatureUnit>(d.entities[1]).controls[1].channels.push_back(3);
         }},
        {"a selector beyond a 1-byte bitmap",
         [](FunctionDescription& d) {
             auto& unit = std::get<FeatureUnit>(d.entities[1]);
             unit.controlSize = 1;
             unit.controls.push_back({.selector = loudness, .channels = {0}});
         }},
        {"a mixer crossing outside its channels",
         [](FunctionDescription& d) {
             std::get<MixerUnit>(d.entities[4]).crossings.push_back({4, 1});
         }},
        {"a mixer without its sources' channels",
         [](FunctionDescription& d) {
             std::get<MixerUnit>(d.entities[4]).sourceChannels.pop_back();
         }},
        {"a terminal link to a unit",
         [](FunctionDescription& d) { d.streaming[0].settings[0].terminalLink = 2; }},
        {"feedback in release 1",
         [](FunctionDescription& d) {
             d.streaming[0].settings[0].feedback = FeedbackEndpoint{.address = 0x81};
         }},
        {"rates and a range at once",
         [](FunctionDescription& d) {
             d.streaming[0].settings[0].format.continuous = RateRange{8000, 48000, 1};
         }},
        {"no rates at all",
         [](FunctionDescription& d) { d.streaming[0].settings[0].format.rates.clear(); }},
        {"string index 0",
         [](FunctionDescription& d) {
             d.strings.push_back({0, u"x"});
         }},
        {"a string given twice",
         [](FunctionDescription& d) {
             d.strings.push_back({1, u"again"});
         }},
        {"a string past 255 bytes",
         [](FunctionDescription& d) {
             d.strings.push_back({9, std::u16string(127, u'x')});
         }},
        {"a selector of 253 inputs",
         [](FunctionDescription& d) {
             d.entities.push_back(
                 SelectorUnit{.id = 50, .sources = std::vector<std::uint8_t>(253, 1)});
         }},
        {"a control of no fixed size",
         [](FunctionDescription& d) {
             std::get<FeatureUnit>(d.entities[1])
                 .controls.push_back(
                     {.selector = usb::feature_control::graphicEqualizer, .channels = {0}});
         }},
    };
    for (const RefusedCase& c : cases) {
        FunctionDescription d = fixtures::uac1Headset();
        c.change(d);
        EXPECT_THROW(UsbFunction{d}, std::invalid_argument) << c.what;
    }
}

} // namespace
