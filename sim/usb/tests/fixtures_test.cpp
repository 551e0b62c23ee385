// Enumerates every fixture as the driver does: descriptors, strings, the
// configuration validated before it is read, configuration and interface
// selection, and the model string of the chip models.
#include "sim/usb/fixtures.h"

#include "platform/usb/configuration.h"
#include "platform/usb/select_request.h"
#include "platform/usb/string_descriptor.h"
#include "sim/usb/tests/fixture_cases.h"
#include "sim/usb/tests/request_helpers.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace usbsimtest;
using namespace usbsim;
namespace fx = usbsim::fixtures;

class Fixture : public testing::TestWithParam<FixtureCase> {
protected:
    Fixture() : function(GetParam().make()) {}

    // The configuration as the driver reads it: the header, then all of it.
    usb::ConfigurationView readConfiguration() {
        const ControlReply header =
            getDescriptor(function, usb::descriptor_type::configuration, 0, 9);
        EXPECT_FALSE(header.stalled);
        EXPECT_EQ(header.data.size(), 9u);
        const std::uint16_t total =
            static_cast<std::uint16_t>(header.data[2] | header.data[3] << 8);
        configuration = getDescriptor(function, usb::descriptor_type::configuration, 0, total).data;
        return usb::ConfigurationView(configuration);
    }

    std::u16string readString(std::uint8_t index) {
        const ControlReply reply = getDescriptor(function, usb::descriptor_type::string, index, 104,
                                                 usb::languageEnglishUs);
        if (reply.stalled) return u"<stall>";
        char16_t text[52];
        std::size_t characters = 0;
        EXPECT_EQ(usb::stringDescriptorText(reply.data, text, characters), kernel::STATUS_SUCCESS);
        return {text, characters};
    }

    UsbFunction function;
    Bytes configuration;
};

TEST_P(Fixture, EnumeratesWithAValidConfiguration) {
    const ControlReply device = getDescriptor(function, usb::descriptor_type::device, 0, 64);
    ASSERT_EQ(device.data.size(), sizeof(usb::DeviceDescriptor));
    const auto* d = reinterpret_cast<const usb::DeviceDescriptor*>(device.data.data());
    const FunctionDescription& description = function.description();
    EXPECT_EQ(d->idVendor.value(), description.vendorId);
    EXPECT_EQ(d->idProduct.value(), description.productId);
    EXPECT_EQ(d->bNumConfigurations, 1);

    const usb::ConfigurationView view = readConfiguration();
    ASSERT_TRUE(view.valid()) << view.fault().descriptor << " at " << view.fault().offset << ": "
                              << view.fault().problem;
    EXPECT_EQ(view.configuration()->bNumInterfaces, 1 + description.streaming.size());

    EXPECT_NE(readString(d->iManufacturer), u"<stall>");
    EXPECT_NE(readString(d->iProduct), u"<stall>");
}

TEST_P(Fixture, NamesItsChipModelWhereTheDriverLooks) {
    const FixtureCase& c = GetParam();
    if (c.model == nullptr) {
        EXPECT_EQ(readString(fx::modelStringIndex), u"<stall>");
        EXPECT_EQ(readString(fx::fallbackModelStringIndex), u"<stall>");
        return;
    }
    const std::u16string text = readString(c.modelIndex);
    EXPECT_EQ(text.substr(0, std::u16string(c.model).size()), c.model);
    if (c.modelIndex == fx::fallbackModelStringIndex) {
        EXPECT_EQ(readString(fx::modelStringIndex), u"<stall>"); // so the driver falls back
    }
}

TEST_P(Fixture, HasTheAudioControlInterfaceOfItsRelease) {
    const usb::ConfigurationView view = readConfiguration();
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
    const usb::ConfigurationView view = readConfiguration();

    // The adapter's request: setting 0 of interfaces 0, 1, 2... as many as declared.
    std::vector<const usb::InterfaceDescriptor*> interfaces;
    for (int number = 0; interfaces.size() < view.configuration()->bNumInterfaces; ++number) {
        const usb::InterfaceDescriptor* found =
            view.findInterface({.number = number, .alternateSetting = 0});
        ASSERT_NE(found, nullptr) << number;
        interfaces.push_back(found);
    }
    usb::RequestBlock request;
    ASSERT_EQ(usb::buildSelectConfiguration(view, interfaces, kernel::poolTag("USBd"), request),
              kernel::STATUS_SUCCESS);
    auto* info = reinterpret_cast<usb::InterfaceInformation*>(
        request.as<usb::SelectConfigurationRequest>() + 1);
    for (const usb::InterfaceDescriptor* interface : interfaces) {
        EXPECT_EQ(info->numberOfPipes, interface->bNumEndpoints);
        info = usb::nextInterfaceInformation(info);
    }

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
