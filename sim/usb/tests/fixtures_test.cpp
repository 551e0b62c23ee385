// Every fixture's control interface, its configuration and settings, and the
// chip's fixed layout.
#include "sim/usb/fixtures.h"

#include "platform/usb/configuration.h"
#include "sim/usb/tests/fixture_cases.h"
#include "sim/usb/tests/request_helpers.h"

#include <gtest/gtest.h>

namespace {

using namespace usbsimtest;
using namespace usbsim;
namespace fx = usbsim::fixtures;

// The function of a fixture. Reading its descriptors and strings through
// requests, as a driver enumerates it, is the bus enumeration's test.
class Fixture : public testing::TestWithParam<FixtureCase> {
protected:
    Fixture() : function(GetParam().make()), view(function.descriptors().configuration) {}

    UsbFunction function;
    const usb::ConfigurationView view;
};

TEST_P(Fixture, HasTheAudioControlInterfaceOfItsRelease) {
    ASSERT_TRUE(view.valid());
    const usb::InterfaceDescriptor* control = view.findInterface(
        {.interfaceClass = usb::interface_class::audio, .subclass = usb::audio_subclass::control});
    ASSERT_NE(control, nullptr);
    const bool v2 = function.description().release == AudioRelease::uac2;
    EXPECT_EQ(control->bInterfaceProtocol,
              v2 ? usb::audio_protocol::version2 : usb::audio_protocol::version1);
    // The status pipe the device model looks for: IN, interrupt, 2 or 6 bytes.
    const usb::EndpointDescriptor* status = view.findEndpoint(control, 0);
    if (!function.description().status) {
        EXPECT_EQ(status, nullptr);
        return;
    }
    ASSERT_NE(status, nullptr);
    EXPECT_TRUE(usb::endpoint::isIn(status->bEndpointAddress));
    EXPECT_EQ(usb::endpoint::transferType(status->bmAttributes),
              usb::endpoint::TransferType::interrupt);
    EXPECT_EQ(status->wMaxPacketSize.value(), v2 ? 6 : 2);
}

TEST_P(Fixture, SelectsItsConfigurationAndEverySetting) {
    ASSERT_TRUE(view.valid());
    EXPECT_TRUE(setInterface(function, 1, 0).stalled); // not configured yet
    ASSERT_FALSE(setConfiguration(function, function.description().configurationValue).stalled);
    for (const StreamingInterface& streaming : function.description().streaming) {
        EXPECT_EQ(function.alternateSetting(streaming.number), 0);
        for (std::uint8_t alternate = 1; alternate <= streaming.settings.size(); ++alternate) {
            ASSERT_FALSE(setInterface(function, streaming.number, alternate).stalled);
            EXPECT_EQ(function.alternateSetting(streaming.number), alternate);
            // Its data endpoint, and in release 2 the feedback endpoint after it.
            const AlternateSetting& setting = streaming.settings[alternate - 1u];
            const usb::InterfaceDescriptor* interface =
                view.findInterface({.number = streaming.number, .alternateSetting = alternate});
            ASSERT_NE(interface, nullptr);
            const usb::EndpointDescriptor* data = view.findEndpoint(interface, 0);
            ASSERT_NE(data, nullptr);
            EXPECT_EQ(data->bEndpointAddress, setting.data.address);
            EXPECT_EQ(usb::endpoint::transferType(data->bmAttributes),
                      usb::endpoint::TransferType::isochronous);
            const usb::EndpointDescriptor* feedback = view.findEndpoint(interface, 1);
            EXPECT_EQ(feedback != nullptr, setting.feedback.has_value());
            if (feedback != nullptr) {
                EXPECT_EQ(usb::endpoint::usage(feedback->bmAttributes),
                          usb::endpoint::Usage::feedback);
            }
        }
        EXPECT_TRUE(setInterface(function, streaming.number,
                                 static_cast<std::uint8_t>(streaming.settings.size() + 1))
                        .stalled);
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, Fixture, testing::ValuesIn(kFixtures), fixtureName);

// The chip's fixed configuration, element by element, at the offsets the
// N3W8 model's rewrite copies them from.
TEST(N3W8Device, LaysOutItsConfigurationAsTheChipDoes) {
    UsbFunction function(fx::n3w8Device());
    const Bytes& bytes = function.descriptors().configuration;
    ASSERT_EQ(bytes.size(), 509u);
    struct Element {
        std::size_t offset;
        std::uint8_t length;
        std::uint8_t type;
        std::uint8_t subtypeOrNumber; // class-specific subtype, or interface number
    };
    const Element elements[] = {
        {18, 10, 0x24, 1},  {28, 12, 0x24, 2},  {40, 12, 0x24, 2},  {52, 10, 0x24, 6},
        {62, 10, 0x24, 6},  {72, 25, 0x24, 4},  {97, 16, 0x24, 6},  {113, 9, 0x24, 3},
        {122, 13, 0x24, 4}, {135, 9, 0x24, 3},  {144, 10, 0x24, 5}, {154, 12, 0x24, 2},
        {166, 10, 0x24, 6}, {176, 10, 0x24, 6}, {186, 12, 0x24, 2}, {198, 10, 0x24, 6},
        {208, 10, 0x24, 6}, {218, 9, 0x04, 1},  {227, 9, 0x04, 1},  {273, 9, 0x04, 1},
        {319, 9, 0x04, 1},  {365, 9, 0x04, 1},  {411, 9, 0x04, 1},  {454, 9, 0x04, 2},
        {463, 9, 0x04, 2},
    };
    for (const Element& e : elements) {
        SCOPED_TRACE(e.offset);
        EXPECT_EQ(bytes[e.offset], e.length);
        EXPECT_EQ(bytes[e.offset + 1], e.type);
        EXPECT_EQ(bytes[e.offset + 2], e.subtypeOrNumber);
    }
    // The unit ids the rewrite relies on.
    const std::pair<std::size_t, std::uint8_t> ids[] = {{28, 1},   {52, 8},  {62, 9},  {176, 11},
                                                        {166, 15}, {198, 2}, {208, 16}};
    for (const auto& [offset, id] : ids) EXPECT_EQ(bytes[offset + 3], id) << offset;
    // The further playback setting's one rate, which the rewrite replaces.
    EXPECT_EQ(bytes[411 + 23], 1); // bSamFreqType
    EXPECT_EQ(bytes[411 + 24] | bytes[411 + 25] << 8 | bytes[411 + 26] << 16, 48000);
}

} // namespace
