// Every fixture enumerated as a driver does it, through requests sent down
// its device stack: the device descriptor, the configuration's header and
// then all of it, strings by index and language, configuration selection
// with its pipes, and every alternate setting.
#include "sim/usb/simulated_bus.h"

#include "platform/usb/select_request.h"
#include "platform/usb/string_descriptor.h"
#include "sim/usb/tests/bus_stack.h"
#include "sim/usb/tests/fixture_cases.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using kernel::NTSTATUS;
using usbsimtest::descriptorRequest;
using usbsimtest::FixtureCase;

constexpr kernel::PoolTag testTag = kernel::poolTag("BsEn");
using Bytes = std::vector<std::uint8_t>;

class BusEnumeration : public testing::TestWithParam<FixtureCase>, public usbsimtest::BusStack {
protected:
    BusEnumeration() : BusStack(GetParam().make()) {}

    // The bytes a descriptor request moved, or its failure.
    NTSTATUS read(std::uint8_t type, Bytes& bytes, std::uint8_t index = 0,
                  std::uint16_t language = 0) {
        usb::DescriptorRequest request = descriptorRequest(type, bytes, index, language);
        const NTSTATUS status = submit(request.header);
        bytes.resize(request.transfer.transferBufferLength);
        return status;
    }

    // A string's text as the driver reads it, in a 104-byte buffer.
    std::u16string readString(std::uint8_t index, std::uint16_t language = usb::languageEnglishUs) {
        Bytes bytes(104);
        if (read(usb::descriptor_type::string, bytes, index, language) != kernel::STATUS_SUCCESS)
            return u"<failed>";
        char16_t text[52];
        std::size_t characters = 0;
        EXPECT_EQ(usb::stringDescriptorText(bytes, text, characters), kernel::STATUS_SUCCESS);
        return {text, characters};
    }

    // Handles and pipes as the function's own descriptors give them.
    void expectDescribed(const usb::ConfigurationView& configuration,
                         const usb::InterfaceInformation& info) {
        const usb::InterfaceDescriptor* interface = configuration.findInterface(
            {.number = info.interfaceNumber, .alternateSetting = info.alternateSetting});
        ASSERT_NE(interface, nullptr);
        SCOPED_TRACE(testing::Message() << "interface " << int(info.interfaceNumber) << " setting "
                                        << int(info.alternateSetting));
        EXPECT_NE(info.interfaceHandle, nullptr);
        EXPECT_EQ(info.interfaceClass, interface->bInterfaceClass);
        EXPECT_EQ(info.interfaceSubclass, interface->bInterfaceSubClass);
        EXPECT_EQ(info.interfaceProtocol, interface->bInterfaceProtocol);
        ASSERT_EQ(info.numberOfPipes, interface->bNumEndpoints);
        for (std::size_t i = 0; i < info.numberOfPipes; ++i) {
            const usb::EndpointDescriptor* endpoint = configuration.findEndpoint(interface, i);
            ASSERT_NE(endpoint, nullptr);
            const usb::PipeInformation& pipe = info.pipes()[i];
            EXPECT_NE(pipe.pipeHandle, nullptr);
            EXPECT_EQ(pipe.endpointAddress, endpoint->bEndpointAddress);
            EXPECT_EQ(pipe.maximumPacketSize, endpoint->wMaxPacketSize.value());
            EXPECT_EQ(pipe.interval, endpoint->bInterval);
            EXPECT_EQ(pipe.pipeType, usb::endpoint::transferType(endpoint->bmAttributes));
        }
    }
};

TEST_P(BusEnumeration, ReadsTheDeviceAndItsConfiguration) {
    Bytes device(18);
    ASSERT_EQ(read(usb::descriptor_type::device, device), kernel::STATUS_SUCCESS);
    EXPECT_EQ(device, function.descriptors().device);
    const auto* d = reinterpret_cast<const usb::DeviceDescriptor*>(device.data());
    EXPECT_EQ(d->idVendor.value(), function.description().vendorId);
    EXPECT_EQ(d->idProduct.value(), function.description().productId);
    EXPECT_EQ(d->bNumConfigurations, 1);

    Bytes header(9);
    ASSERT_EQ(read(usb::descriptor_type::configuration, header), kernel::STATUS_SUCCESS);
    ASSERT_EQ(header.size(), 9u);
    Bytes whole(header[2] | header[3] << 8);
    ASSERT_EQ(read(usb::descriptor_type::configuration, whole), kernel::STATUS_SUCCESS);
    EXPECT_EQ(whole, function.descriptors().configuration);
    const usb::ConfigurationView configuration(whole);
    ASSERT_TRUE(configuration.valid())
        << configuration.fault().descriptor << " at " << configuration.fault().offset << ": "
        << configuration.fault().problem;
    EXPECT_EQ(configuration.configuration()->bNumInterfaces,
              1 + function.description().streaming.size());
}

TEST_P(BusEnumeration, ReadsStringsByIndexAndLanguage) {
    Bytes languages(4);
    ASSERT_EQ(read(usb::descriptor_type::string, languages), kernel::STATUS_SUCCESS);
    ASSERT_EQ(languages.size(), 4u);
    EXPECT_EQ(languages[2] | languages[3] << 8, usb::languageEnglishUs);

    const auto* d =
        reinterpret_cast<const usb::DeviceDescriptor*>(function.descriptors().device.data());
    for (const std::uint8_t index : {d->iManufacturer, d->iProduct}) {
        SCOPED_TRACE(int(index));
        EXPECT_NE(readString(index), u"<failed>");
        EXPECT_EQ(readString(index, 0x0407), u"<failed>"); // a language it has not
    }
    EXPECT_EQ(readString(0xEE), u"<failed>");
}

TEST_P(BusEnumeration, NamesItsChipModelWhereTheDriverLooks) {
    const FixtureCase& c = GetParam();
    if (c.model == nullptr) {
        EXPECT_EQ(readString(usbsim::fixtures::modelStringIndex), u"<failed>");
        EXPECT_EQ(readString(usbsim::fixtures::fallbackModelStringIndex), u"<failed>");
        return;
    }
    EXPECT_EQ(readString(c.modelIndex).substr(0, std::u16string(c.model).size()), c.model);
    if (c.modelIndex == usbsim::fixtures::fallbackModelStringIndex) {
        // So the driver falls back.
        EXPECT_EQ(readString(usbsim::fixtures::modelStringIndex), u"<failed>");
    }
}

TEST_P(BusEnumeration, SelectsTheConfigurationAndEverySetting) {
    const usb::ConfigurationView configuration = view();
    ASSERT_TRUE(configuration.valid());
    const std::vector<const usb::InterfaceDescriptor*> interfaces =
        usbsimtest::firstSettings(configuration);
    ASSERT_EQ(interfaces.size(), configuration.configuration()->bNumInterfaces);
    usb::RequestBlock select;
    ASSERT_EQ(usb::buildSelectConfiguration(configuration, interfaces, testTag, select),
              kernel::STATUS_SUCCESS);
    ASSERT_EQ(submit(*select.header()), kernel::STATUS_SUCCESS);
    const usb::ConfigurationHandle handle =
        select.as<usb::SelectConfigurationRequest>()->configurationHandle;
    EXPECT_NE(handle, nullptr);
    EXPECT_EQ(function.configurationValue(), configuration.configuration()->bConfigurationValue);
    auto* info = reinterpret_cast<usb::InterfaceInformation*>(
        select.as<usb::SelectConfigurationRequest>() + 1);
    for (std::size_t i = 0; i < interfaces.size(); ++i, info = usb::nextInterfaceInformation(info))
        expectDescribed(configuration, *info);

    for (const usbsim::StreamingInterface& streaming : function.description().streaming) {
        for (std::uint8_t setting = 0; setting <= streaming.settings.size(); ++setting) {
            const usb::InterfaceDescriptor* interface = configuration.findInterface(
                {.number = streaming.number, .alternateSetting = setting});
            ASSERT_NE(interface, nullptr);
            usb::RequestBlock request;
            ASSERT_EQ(usb::buildSelectInterface(configuration, handle, interface, testTag, request),
                      kernel::STATUS_SUCCESS);
            ASSERT_EQ(submit(*request.header()), kernel::STATUS_SUCCESS);
            EXPECT_EQ(function.alternateSetting(streaming.number), setting);
            expectDescribed(configuration, request.as<usb::SelectInterfaceRequest>()->interface);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, BusEnumeration, testing::ValuesIn(usbsimtest::kFixtures),
                         usbsimtest::fixtureName);

} // namespace
