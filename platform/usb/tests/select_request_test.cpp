#include "platform/usb/select_request.h"

#include "platform/kernel/pool.h"
#include "platform/usb/tests/descriptor_bytes.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace usb;
using usbtest::Bytes;
using usbtest::configuration;
using usbtest::endpoint;
using usbtest::interface;

const kernel::PoolTag kTag = kernel::poolTag("URB ");

// Interfaces of none, one and two endpoints, and a second setting.
const Bytes kBytes =
    configuration({interface(0, 0, 0, 1, 1, 0), interface(1, 0, 1, 3, 0, 0), endpoint(0x81, 3, 8),
                   interface(2, 0, 0, 1, 2, 0), interface(2, 1, 2, 1, 2, 0),
                   endpoint(0x02, 0x05, 196), endpoint(0x82, 0x11, 3)},
                  3);

std::vector<const InterfaceDescriptor*> firstSettings(const ConfigurationView& view) {
    return {view.findInterface({.number = 0}), view.findInterface({.number = 1}),
            view.findInterface({.number = 2, .alternateSetting = 0})};
}

TEST(SelectConfiguration, CarriesOneRecordPerInterfaceWithOnePipePerEndpoint) {
    const ConfigurationView view(kBytes);
    const auto interfaces = firstSettings(view);
    RequestBlock request;
    ASSERT_EQ(buildSelectConfiguration(view, interfaces, kTag, request), kernel::STATUS_SUCCESS);

    const std::size_t expected = sizeof(SelectConfigurationRequest) +
                                 3 * sizeof(InterfaceInformation) + 1 * sizeof(PipeInformation);
    EXPECT_EQ(request.size(), expected);
    EXPECT_EQ(request.header()->length, expected);
    EXPECT_EQ(request.header()->function, Function::selectConfiguration);
    auto* select = request.as<SelectConfigurationRequest>();
    EXPECT_EQ(select->configurationDescriptor, view.configuration());

    auto* info = reinterpret_cast<InterfaceInformation*>(select + 1);
    const std::uint32_t pipes[] = {0, 1, 0};
    for (int number = 0; number < 3; ++number) {
        EXPECT_EQ(info->interfaceNumber, number);
        EXPECT_EQ(info->alternateSetting, 0);
        EXPECT_EQ(info->numberOfPipes, pipes[number]);
        EXPECT_EQ(info->length, interfaceInformationSize(pipes[number]));
        for (const PipeInformation& pipe : info->pipes()) {
            EXPECT_EQ(pipe.maximumTransferSize, defaultMaximumTransferSize);
            EXPECT_EQ(pipe.pipeHandle, nullptr); // the bus's to fill
        }
        info = nextInterfaceInformation(info);
    }
    EXPECT_EQ(reinterpret_cast<std::uint8_t*>(info),
              reinterpret_cast<std::uint8_t*>(request.header()) + expected);
    EXPECT_EQ(kernel::poolLiveBlocks(kTag), 1u);
}

TEST(SelectInterface, CarriesTheSettingWithItsPipesAndTheConfigurationHandle) {
    const ConfigurationView view(kBytes);
    int handle = 0;
    RequestBlock request;
    ASSERT_EQ(buildSelectInterface(view, &handle,
                                   view.findInterface({.number = 2, .alternateSetting = 1}), kTag,
                                   request),
              kernel::STATUS_SUCCESS);
    auto* select = request.as<SelectInterfaceRequest>();
    EXPECT_EQ(request.header()->length,
              sizeof(SelectInterfaceRequest) + 2 * sizeof(PipeInformation));
    EXPECT_EQ(request.header()->function, Function::selectInterface);
    EXPECT_EQ(select->configurationHandle, &handle);
    EXPECT_EQ(select->interface.interfaceNumber, 2);
    EXPECT_EQ(select->interface.alternateSetting, 1);
    EXPECT_EQ(select->interface.length, interfaceInformationSize(2));
    ASSERT_EQ(select->interface.pipes().size(), 2u);
    EXPECT_EQ(reinterpret_cast<std::uint8_t*>(select->interface.pipes().data() + 2),
              reinterpret_cast<std::uint8_t*>(select) + request.size());
}

TEST(SelectRequests, RefuseWhatTheyCannotCarry) {
    const ConfigurationView view(kBytes);
    const Bytes copy = kBytes;
    const ConfigurationView other(copy);
    const auto* foreign = other.findInterface({});
    const auto* endpointDescriptor = reinterpret_cast<const InterfaceDescriptor*>(
        view.findEndpoint(view.findInterface({.number = 1}), 0));
    const Bytes cut{9, 2, 9};
    const ConfigurationView refused(cut);
    RequestBlock request;

    const std::vector<const InterfaceDescriptor*> none;
    EXPECT_EQ(buildSelectConfiguration(view, none, kTag, request),
              kernel::STATUS_INVALID_PARAMETER);
    for (const InterfaceDescriptor* bad :
         {foreign, endpointDescriptor, static_cast<const InterfaceDescriptor*>(nullptr)}) {
        const std::vector<const InterfaceDescriptor*> list{view.findInterface({}), bad};
        EXPECT_EQ(buildSelectConfiguration(view, list, kTag, request),
                  kernel::STATUS_INVALID_PARAMETER);
        EXPECT_EQ(buildSelectInterface(view, nullptr, bad, kTag, request),
                  kernel::STATUS_INVALID_PARAMETER);
    }
    const std::vector<const InterfaceDescriptor*> one{foreign};
    EXPECT_EQ(buildSelectConfiguration(refused, one, kTag, request),
              kernel::STATUS_INVALID_PARAMETER);
    EXPECT_FALSE(request);
    EXPECT_EQ(kernel::poolLiveBlocks(kTag), 0u);
}

TEST(SelectConfiguration, RefusesARequestItsLengthFieldCannotCarry) {
    // Twelve interfaces that claim 255 endpoints each: 12 x 6144 bytes of records.
    std::vector<Bytes> parts;
    for (std::uint8_t n = 0; n < 12; ++n) parts.push_back(interface(n, 0, 255, 0xFF, 0, 0));
    const Bytes bytes = configuration(parts);
    const ConfigurationView view(bytes);
    ASSERT_TRUE(view.valid());
    std::vector<const InterfaceDescriptor*> interfaces;
    for (const InterfaceDescriptor* at = view.findInterface({}); at != nullptr;
         at = view.findInterface({}, at))
        interfaces.push_back(at);
    RequestBlock request;
    EXPECT_EQ(buildSelectConfiguration(view, interfaces, kTag, request),
              kernel::STATUS_INVALID_PARAMETER);
    interfaces.resize(10); // 10 x 6144 + 40 fits
    EXPECT_EQ(buildSelectConfiguration(view, interfaces, kTag, request), kernel::STATUS_SUCCESS);
    interfaces.resize(12); // a refused rebuild leaves nothing of the earlier request
    EXPECT_EQ(buildSelectConfiguration(view, interfaces, kTag, request),
              kernel::STATUS_INVALID_PARAMETER);
    EXPECT_FALSE(request);
    EXPECT_EQ(kernel::poolLiveBlocks(kTag), 0u);
}

TEST(SelectRequests, ReportWhenThePoolHasNoBlock) {
    const ConfigurationView view(kBytes);
    RequestBlock request;
    kernel::failPoolRequest(1);
    EXPECT_EQ(buildSelectConfiguration(view, firstSettings(view), kTag, request),
              kernel::STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_FALSE(request);
    kernel::failPoolRequest(1);
    EXPECT_EQ(buildSelectInterface(view, nullptr, view.findInterface({}), kTag, request),
              kernel::STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_FALSE(request);
}

TEST(RequestBlock, GivesItsBlockBackOnceWhenReplacedOrMoved) {
    const ConfigurationView view(kBytes);
    RequestBlock first;
    ASSERT_EQ(buildSelectInterface(view, nullptr, view.findInterface({}), kTag, first),
              kernel::STATUS_SUCCESS);
    RequestBlock second;
    ASSERT_EQ(buildSelectInterface(view, nullptr, view.findInterface({}), kTag, second),
              kernel::STATUS_SUCCESS);
    EXPECT_EQ(kernel::poolLiveBlocks(kTag), 2u);
    second = std::move(first); // the second's block goes back
    EXPECT_EQ(kernel::poolLiveBlocks(kTag), 1u);
    EXPECT_FALSE(first);
    RequestBlock third(std::move(second));
    EXPECT_EQ(kernel::poolLiveBlocks(kTag), 1u);
    ASSERT_EQ(buildSelectInterface(view, nullptr, view.findInterface({}), kTag, third),
              kernel::STATUS_SUCCESS); // a rebuild replaces the block
    EXPECT_EQ(kernel::poolLiveBlocks(kTag), 1u);
}

} // namespace
