#include "sim/usb/fixtures.h"
#include "sim/usb/tests/request_helpers.h"

#include <gtest/gtest.h>

namespace {

using namespace usbsimtest;
using namespace usbsim;
using usb::Recipient;
namespace request = usb::standard_request;
namespace type = usb::descriptor_type;

TEST(StandardRequests, ServeDescriptorsCutToWLength) {
    UsbFunction function(fixtures::uac1Headset());
    const BuiltDescriptors& built = function.descriptors();
    EXPECT_EQ(getDescriptor(function, type::device, 0, 8).data,
              Bytes(built.device.begin(), built.device.begin() + 8));
    EXPECT_EQ(getDescriptor(function, type::device, 0, 255).data, built.device);
    EXPECT_EQ(getDescriptor(function, type::configuration, 0, 0xFFFF).data, built.configuration);
    EXPECT_EQ(getDescriptor(function, type::string, 0, 255).data, (Bytes{4, 3, 0x09, 0x04}));
    EXPECT_EQ(getDescriptor(function, type::string, 2, 255, 0x0409).data,
              built.strings.at({2, 0x0409}));
}

TEST(StandardRequests, StallForDescriptorsTheFunctionLacks) {
    UsbFunction function(fixtures::uac1Headset());
    EXPECT_TRUE(getDescriptor(function, type::configuration, 1, 9).stalled); // one configuration
    // Strings of an index or language it lacks: the bus enumeration's test, for every fixture.
    EXPECT_TRUE(getDescriptor(function, 0x06, 0, 10).stalled); // device qualifier: full speed only
}

TEST(StandardRequests, SelectConfigurationThenSettings) {
    UsbFunction function(fixtures::uac1Headset());
    EXPECT_EQ(standardIn(function, Recipient::device, request::getConfiguration, 0, 0, 1).data,
              Bytes{0});
    EXPECT_FALSE(function.alternateSetting(1).has_value());
    EXPECT_TRUE(setConfiguration(function, 2).stalled);
    ASSERT_FALSE(setConfiguration(function, 1).stalled);
    EXPECT_EQ(standardIn(function, Recipient::device, request::getConfiguration, 0, 0, 1).data,
              Bytes{1});

    ASSERT_FALSE(setInterface(function, 2, 1).stalled);
    EXPECT_EQ(standardIn(function, Recipient::interface, request::getInterface, 0, 2, 1).data,
              Bytes{1});
    EXPECT_TRUE(setInterface(function, 2, 2).stalled); // one setting besides 0
    EXPECT_TRUE(setInterface(function, 5, 0).stalled); // no such interface
    EXPECT_EQ(function.alternateSetting(2), 1);

    // Configuring again, or unconfiguring, puts every interface back.
    ASSERT_FALSE(setConfiguration(function, 1).stalled);
    EXPECT_EQ(function.alternateSetting(2), 0);
    ASSERT_FALSE(setConfiguration(function, 0).stalled);
    EXPECT_FALSE(function.alternateSetting(2).has_value());
}

TEST(StandardRequests, HaltOnlyEndpointsOfTheSelectedSettings) {
    UsbFunction function(fixtures::uac1Headset());
    ASSERT_FALSE(setConfiguration(function, 1).stalled);
    const auto halt = [&](bool set, std::uint8_t endpoint) {
        return standardOut(function, Recipient::endpoint,
                           set ? request::setFeature : request::clearFeature,
                           usb::feature_selector::endpointHalt, endpoint);
    };
    EXPECT_TRUE(halt(true, 0x82).stalled); // its setting is not selected
    ASSERT_FALSE(setInterface(function, 2, 1).stalled);
    ASSERT_FALSE(halt(true, 0x82).stalled);
    EXPECT_TRUE(function.endpointHalted(0x82));
    EXPECT_EQ(standardIn(function, Recipient::endpoint, request::getStatus, 0, 0x82, 2).data,
              (Bytes{1, 0}));
    ASSERT_FALSE(halt(false, 0x82).stalled);
    EXPECT_EQ(standardIn(function, Recipient::endpoint, request::getStatus, 0, 0x82, 2).data,
              (Bytes{0, 0}));
    EXPECT_FALSE(halt(true, 0x83).stalled); // the status endpoint's interface has one setting
    EXPECT_EQ(standardIn(function, Recipient::device, request::getStatus, 0, 0, 2).data,
              (Bytes{0, 0}));
}

TEST(StandardRequests, StallWhatTheBusCouldNotHaveSent) {
    UsbFunction function(fixtures::uac1Headset());
    // An OUT request whose data is not its wLength, and an IN request with data.
    const Bytes two{1, 2};
    const auto withTwo = [&](usb::Direction direction, std::uint8_t request, std::uint16_t value,
                             std::uint16_t length) {
        return function.control(usb::makeSetupPacket(direction, usb::RequestType::standard,
                                                     Recipient::device, request, value, 0, length),
                                two);
    };
    EXPECT_TRUE(withTwo(usb::Direction::out, request::setConfiguration, 1, 1).stalled);
    EXPECT_TRUE(withTwo(usb::Direction::in, request::getDescriptor, 0x0100, 18).stalled);
    EXPECT_EQ(function.configurationValue(), 0);
    // Reserved type 3.
    EXPECT_TRUE(function.control(usb::SetupPacket{0xE0, 0, {}, {}, usb::Le16::of(1)}).stalled);
}

TEST(StandardRequests, LogEveryRequestWithItsDataAndReply) {
    UsbFunction function(fixtures::uac1Headset());
    getDescriptor(function, type::device, 0, 18);
    setConfiguration(function, 9);
    const auto& log = function.log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].setup.bRequest, request::getDescriptor);
    EXPECT_EQ(log[0].reply.data.size(), 18u);
    EXPECT_FALSE(log[0].reply.stalled);
    EXPECT_EQ(log[1].setup.wValue.value(), 9u);
    EXPECT_TRUE(log[1].reply.stalled);
    function.clearLog();
    EXPECT_TRUE(function.log().empty());
}

} // namespace
