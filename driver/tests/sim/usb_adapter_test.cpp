// The USB audio adapter on a simulated bus: the model it chooses, the
// configuration it selects, its requests and port recovery, the names it
// writes and the ASIO settings it loads.
#include "adapter_test_world.h"

#include "driver/adapter/device_strings.h"
#include "driver/common/settings_store.h"
#include "platform/io/registry.h"
#include "platform/kernel/pool.h"
#include "platform/usb/configuration.h"
#include "sim/usb/fixtures.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

namespace adapter_test {
namespace {

using usbsim::BusFault;
using usbsim::BusRequestKind;
namespace fixtures = usbsim::fixtures;

class UsbAdapterTest : public AdapterWorld {
protected:
    // A value in the key of the device's first hardware id.
    std::optional<std::u16string> NameValue(const char16_t* name) const {
        const io::DeviceIdentity& identity = bus->identity();
        const std::u16string path = u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Enum\\" +
                                    identity.hardwareIds[0] + u"\\" + identity.instanceName;
        io::RegistryKey key;
        if (!kernel::succeeded(io::openKey(key, kernel::makeUnicodeString(path.c_str()))))
            return std::nullopt;
        alignas(4) std::uint8_t record[512] = {};
        std::uint32_t needed = 0;
        if (io::queryValuePartialInformation(key, kernel::makeUnicodeString(name), record,
                                             sizeof record, &needed) != kernel::STATUS_SUCCESS)
            return std::nullopt;
        const auto* information = reinterpret_cast<const io::KeyValuePartialInformation*>(record);
        return std::u16string(reinterpret_cast<const char16_t*>(information->data),
                              information->dataLength / 2);
    }

    // A GET_STATUS of the device through the adapter.
    NTSTATUS SubmitGetStatus() {
        std::uint8_t reply[2] = {};
        usb::ControlTransferRequest request{};
        request.header.length = sizeof(request);
        request.header.function = usb::Function::controlTransfer;
        request.transfer.transferFlags =
            usb::transfer_flags::directionIn | usb::transfer_flags::defaultPipe;
        request.transfer.transferBuffer = reply;
        request.transfer.transferBufferLength = sizeof reply;
        request.setupPacket =
            usb::makeSetupPacket(usb::Direction::in, usb::RequestType::standard,
                                 usb::Recipient::device, usb::standard_request::getStatus, 0, 0, 2);
        return Usb()->SubmitUrb(&request.header);
    }
    NTSTATUS GetStatus() {
        return Call([this] { return SubmitGetStatus(); });
    }
};

// The configuration a function serves, with a change made to it.
usbsim::FunctionDescription WithConfiguration(usbsim::FunctionDescription description,
                                              const std::function<void(usbsim::Bytes&)>& change) {
    usbsim::Bytes bytes = usbsim::UsbFunction(description).descriptors().configuration;
    change(bytes);
    description.rawConfiguration = bytes;
    return description;
}

// The control interface's protocol byte.
void SetControlProtocol(usbsim::Bytes& bytes, std::uint8_t protocol) {
    const usb::ConfigurationView view(bytes);
    const auto* control = view.findInterface({.interfaceClass = 1, .subclass = 1});
    ASSERT_NE(control, nullptr);
    bytes[reinterpret_cast<const std::uint8_t*>(control) - bytes.data() + 7] = protocol;
}

struct ModelChoiceCase {
    const char* name;
    usbsim::FunctionDescription (*describe)();
    const char* model;
    std::vector<std::uint8_t> strings; // string descriptors asked for the code
};

TEST_F(UsbAdapterTest, ChoosesTheModelFromTheProtocolAndTheProductCode) {
    const std::vector<ModelChoiceCase> cases = {
        {"release 2 reads no string", fixtures::uac2FeedbackDevice, "uac2", {}},
        {"no code string: generic", fixtures::uac1Headset, "uac1", {0x50, 0x32}},
        {"N3W8 units in 0x50", [] { return fixtures::n3w8Device(); }, "n3w8", {0x50}},
        {"K7D2 in 0x50", fixtures::k7d2Device, "k7d2", {0x50}},
        {"P9F4 in 0x32", fixtures::p9f4Device, "p9f4", {0x50, 0x32}},
        {"T6L1 in 0x50", fixtures::t6l1Device, "t6l1", {0x50}},
        {"Q7K2 in 0x32", fixtures::q7k2Device, "q7k2", {0x50, 0x32}},
    };
    for (const ModelChoiceCase& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        Plug(c.describe());
        ASSERT_EQ(Start(), kernel::STATUS_SUCCESS);
        ASSERT_FALSE(Script().log.empty());
        EXPECT_EQ(Script().log.front(), std::string("create ") + c.model);
        std::vector<std::uint8_t> asked = StringRequests();
        // Asked afterwards: the product and manufacturer names.
        asked.erase(std::remove_if(asked.begin(), asked.end(),
                                   [&](std::uint8_t index) {
                                       return index == function->description().productString ||
                                              index == function->description().manufacturerString;
                                   }),
                    asked.end());
        EXPECT_EQ(asked, c.strings);
        void* model = nullptr;
        EXPECT_EQ(m_pAdapter->QueryInterface(IID_IAudioDeviceModel, &model),
                  kernel::STATUS_SUCCESS);
        if (model != nullptr) static_cast<IAudioDeviceModel*>(model)->Release();
    }
}

TEST_F(UsbAdapterTest, AStartThatCannotBeCompletedFailsAndLeavesNoModelOrName) {
    const struct {
        const char* name;
        usbsim::FunctionDescription description;
        bool refuseBusInterface;
        NTSTATUS parseStatus;
        NTSTATUS expected;
        std::vector<std::string> log;
    } cases[] = {
        {"control protocol 0x10",
         WithConfiguration(fixtures::uac1Headset(), [](auto& b) { SetControlProtocol(b, 0x10); }),
         false,
         kernel::STATUS_SUCCESS,
         kernel::STATUS_UNSUCCESSFUL,
         {}},
        {"control protocol 0x30",
         WithConfiguration(fixtures::uac1Headset(), [](auto& b) { SetControlProtocol(b, 0x30); }),
         false,
         kernel::STATUS_SUCCESS,
         kernel::STATUS_UNSUCCESSFUL,
         {}},
        {"a configuration shorter than its total length",
         WithConfiguration(fixtures::uac1Headset(),
                           [](auto& b) {
                               const std::size_t claimed = b.size() + 16;
                               b[2] = static_cast<std::uint8_t>(claimed);
                               b[3] = static_cast<std::uint8_t>(claimed >> 8);
                           }),
         false,
         kernel::STATUS_SUCCESS,
         kernel::STATUS_UNSUCCESSFUL,
         {}},
        {"no bus interface",
         fixtures::uac1Headset(),
         true,
         kernel::STATUS_SUCCESS,
         kernel::STATUS_UNSUCCESSFUL,
         {}},
        {"the model's parse fails",
         fixtures::uac1Headset(),
         false,
         kernel::STATUS_INSUFFICIENT_RESOURCES,
         kernel::STATUS_INSUFFICIENT_RESOURCES,
         {"create uac1", "parse"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        Plug(c.description, c.refuseBusInterface);
        Script().parseStatus = c.parseStatus;
        EXPECT_EQ(Start(), c.expected);
        EXPECT_EQ(Script().log, c.log);
        EXPECT_EQ(Hal()->GetEndpointCount(), 0u);
        EXPECT_EQ(NameValue(FriendlyNameValue), std::nullopt);
        if (c.refuseBusInterface) {
            std::uint32_t frame = 7;
            EXPECT_FALSE(kernel::succeeded(Usb()->QueryBusTime(&frame)));
            EXPECT_EQ(frame, 0u);
        }
    }
}

TEST_F(UsbAdapterTest, SelectsTheConfigurationWithEveryInterfaceAtSettingZero) {
    Plug(fixtures::uac2FeedbackDevice());
    ASSERT_EQ(Start(), kernel::STATUS_SUCCESS);
    const usbsim::Bytes& configuration = function->descriptors().configuration;
    ASSERT_NE(Usb()->GetConfigurationDescriptor(), nullptr);
    EXPECT_EQ(
        usbsim::Bytes(reinterpret_cast<const std::uint8_t*>(Usb()->GetConfigurationDescriptor()),
                      reinterpret_cast<const std::uint8_t*>(Usb()->GetConfigurationDescriptor()) +
                          configuration.size()),
        configuration);
    EXPECT_EQ(function->configurationValue(), function->description().configurationValue);
    EXPECT_NE(Usb()->GetConfigurationHandle(), nullptr);
    EXPECT_EQ(Usb()->GetControlInterfaceNumber(), function->description().controlInterface);
    for (const usbsim::StreamingInterface& streaming : function->description().streaming)
        EXPECT_EQ(function->alternateSetting(streaming.number), std::optional<std::uint8_t>(0));
    EXPECT_TRUE(Usb()->IsHighSpeed());
    EXPECT_EQ(Script().log, (std::vector<std::string>{"create uac2", "parse"}));
}

TEST_F(UsbAdapterTest, QueryBusTimeGivesTheBussFrameWithSuccess) {
    Plug(fixtures::uac1Headset());
    ASSERT_EQ(Start(), kernel::STATUS_SUCCESS);
    Advance(300ms);
    std::uint32_t frame = 0;
    EXPECT_EQ(Usb()->QueryBusTime(&frame), kernel::STATUS_SUCCESS);
    EXPECT_EQ(frame, bus->frames().frameNumber());
    EXPECT_GE(frame, 300u);
}

TEST_F(UsbAdapterTest, ARequestThatHangsIsCancelledOnceAtFiveHundredMilliseconds) {
    Plug(fixtures::uac1Headset());
    ASSERT_EQ(Start(), kernel::STATUS_SUCCESS);
    const int before = bus->received(BusRequestKind::control);
    bus->injectFault(BusRequestKind::control, {BusFault::Type::hold});
    CSystemCall call([this] { return SubmitGetStatus(); });
    clock.settle();
    clock.advance(499ms);
    clock.settle();
    EXPECT_FALSE(call.Done());
    clock.advance(1ms);
    clock.settle();
    ASSERT_TRUE(call.Done());
    EXPECT_EQ(call.Status(), kernel::STATUS_CANCELLED);
    EXPECT_EQ(bus->received(BusRequestKind::control), before + 1);
    EXPECT_EQ(bus->pendingRequests(), 0u);
    // Still present: a time-out is no loss of the device.
    EXPECT_EQ(GetStatus(), kernel::STATUS_SUCCESS);
}

struct PortCase {
    const char* name;
    std::function<void(usbsim::SimulatedBus&)> arrange;
    bool gone;
    int portQueries, resets, cycles;
    std::vector<std::string> modelPower;
};

TEST_F(UsbAdapterTest, IsDeviceGoneAsksThePortAndRecoversItWhenItComesBack) {
    const BusFault noDevice{BusFault::Type::fail, {}, kernel::STATUS_NO_SUCH_DEVICE};
    const std::vector<PortCase> cases = {
        {"connected", [](auto&) {}, false, 1, 0, 0, {}},
        {"unplugged", [](auto& b) { b.unplug(); }, true, 1, 0, 0, {}},
        {"another failure",
         [](auto& b) { b.injectFault(BusRequestKind::portStatus, {}); },
         true,
         1,
         0,
         0,
         {}},
        // A question that cannot be asked for want of memory says nothing of the device.
        {"no memory to ask",
         [](auto&) { kernel::failPoolTag(kernel::poolTag("Irp ")); },
         false,
         0,
         0,
         0,
         {}},
        {"back after a retry",
         [&](auto& b) { b.injectFault(BusRequestKind::portStatus, noDevice); },
         false,
         2,
         1,
         0,
         {"power D3", "power D0"}},
        {"gone after a retry: the port is cycled",
         [&](auto& b) { b.injectFault(BusRequestKind::portStatus, noDevice, 2); },
         true,
         2,
         0,
         1,
         {}},
    };
    for (const PortCase& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        Plug(fixtures::uac1Headset());
        ASSERT_EQ(Start(), kernel::STATUS_SUCCESS);
        Script().log.clear();
        c.arrange(*bus);
        EXPECT_EQ(Call([this] { return NTSTATUS{Usb()->IsDeviceGone()}; }), NTSTATUS{c.gone});
        kernel::clearPoolFaults();
        EXPECT_EQ(bus->received(BusRequestKind::portStatus), c.portQueries);
        EXPECT_EQ(bus->received(BusRequestKind::resetPort), c.resets);
        EXPECT_EQ(bus->received(BusRequestKind::cyclePort), c.cycles);
        EXPECT_EQ(Script().log, c.modelPower);
        // Once gone, the adapter asks nothing more and refuses requests at once.
        if (c.gone) {
            EXPECT_TRUE(Call([this] { return NTSTATUS{Usb()->IsDeviceGone()}; }));
            // The port is cycled once in the adapter's life.
            if (c.cycles != 0) {
                EXPECT_EQ(Call([this] { return Usb()->CyclePort(); }), kernel::STATUS_SUCCESS);
            }
            EXPECT_EQ(bus->received(BusRequestKind::portStatus), c.portQueries);
            EXPECT_EQ(bus->received(BusRequestKind::cyclePort), c.cycles);
            const int requests = bus->received(BusRequestKind::control);
            EXPECT_EQ(GetStatus(), kernel::STATUS_UNSUCCESSFUL);
            EXPECT_EQ(bus->received(BusRequestKind::control), requests);
        } else {
            // A stream engine's reset reaches the port and waits for it.
            EXPECT_EQ(Call([this] { return Usb()->ResetPort(); }), kernel::STATUS_SUCCESS);
            EXPECT_EQ(bus->received(BusRequestKind::resetPort), c.resets + 1);
        }
    }
}

TEST_F(UsbAdapterTest, WritesTheNamesWholeWithoutTrailingBlanks) {
    const std::u16string longName(60, u'N');
    const struct {
        const char* name;
        std::uint16_t vendor, product;
        std::u16string productName;
        std::optional<std::u16string> friendlyName, manufacturer;
    } cases[] = {
        {"trailing blanks", 0x1234, 1, u"Headset  ", u"Headset", u"Headset Works"},
        {"longer than 50", 0x1234, 1, longName, longName, u"Headset Works"},
        {"the maker's, naming product", MakerVendorId, 0x0067, u"Cans", u"Cans", u"Headset Works"},
        {"the maker's, other product", MakerVendorId, 0x0070, u"Cans", u"Cans", std::nullopt},
        {"no such strings", 0x1234, 1, u"", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        usbsim::FunctionDescription description = fixtures::uac1Headset();
        description.vendorId = c.vendor;
        description.productId = c.product;
        description.strings = {{1, u"Headset Works"}, {2, c.productName}};
        if (c.productName.empty()) description.strings.clear(); // the device stalls both
        description.manufacturerString = 1;
        description.productString = 2;
        Plug(description);
        ASSERT_EQ(Start(), kernel::STATUS_SUCCESS);
        const auto terminated = [](const std::optional<std::u16string>& text) {
            return text ? std::optional(*text + u'\0') : std::nullopt;
        };
        EXPECT_EQ(NameValue(FriendlyNameValue), terminated(c.friendlyName));
        EXPECT_EQ(NameValue(ManufacturerValue), terminated(c.manufacturer));
    }
}

struct AsioCase {
    const char* name;
    std::uint16_t product;
    bool asioEndpoint;
    std::vector<std::pair<const char16_t*, std::vector<std::uint8_t>>> stored;
    AsioSettings expected;
    std::optional<std::uint32_t> writtenType;
};

std::vector<std::uint8_t> Word(std::uint32_t value) {
    return {std::uint8_t(value), std::uint8_t(value >> 8), std::uint8_t(value >> 16),
            std::uint8_t(value >> 24)};
}

TEST_F(UsbAdapterTest, LoadsTheAsioSettingsAndTakesTheDefaultForWhatItCannotServe) {
    const std::vector<AsioCase> cases = {
        {"nothing stored", 0x17F3, false, {}, {16, 16, 4, 48000}, std::nullopt},
        {"ASIO product, 24-bit packed", 0x17F3, true, {}, {17, 17, 4, 48000}, 17},
        {"ASIO product, 24 in 32", 0x17A8, true, {}, {27, 27, 4, 48000}, 27},
        {"ASIO, no product default", 0x1000, true, {}, {16, 16, 4, 48000}, std::nullopt},
        {"stored and valid",
         0x17F3,
         true,
         {{AsioSampleTypeSetting, Word(26)},
          {AsioLatencySetting, Word(7)},
          {AsioSampleRateSetting, Word(96000)}},
         {26, 26, 7, 96000},
         26},
        {"stored and unusable",
         0x1000,
         false,
         {{AsioSampleTypeSetting, Word(99)},
          {AsioLatencySetting, Word(8)},
          {AsioSampleRateSetting, Word(12345)}},
         {16, 16, 4, 48000},
         99},
        {"a DSD rate",
         0x1000,
         false,
         {{AsioSampleRateSetting, Word(2822400)}},
         {16, 16, 4, 2822400},
         std::nullopt},
        {"a short value",
         0x1000,
         false,
         {{AsioLatencySetting, {2, 0}}},
         {16, 16, 4, 48000},
         std::nullopt},
        {"an unusable type with a product default",
         0x17A8,
         true,
         {{AsioSampleTypeSetting, Word(33)}},
         {27, 27, 4, 48000},
         27},
    };
    for (const AsioCase& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        usbsim::FunctionDescription description = fixtures::uac1Headset();
        description.vendorId = 0x0B05;
        description.productId = c.product;
        Plug(description);
        for (const auto& [name, bytes] : c.stored) {
            std::vector<std::uint8_t> data = bytes;
            ASSERT_EQ(AccessSetting(m_pDevice, SETTING_WRITE, data.data(),
                                    static_cast<std::uint32_t>(data.size()), name),
                      kernel::STATUS_SUCCESS);
        }
        Script().endpoints = 2;
        Script().asioEndpoint = c.asioEndpoint;
        ASSERT_EQ(Start(), kernel::STATUS_SUCCESS);
        const AsioSettings& got = Adapter()->GetAsioSettings();
        EXPECT_EQ(got.activeSampleType, c.expected.activeSampleType);
        EXPECT_EQ(got.requestedSampleType, c.expected.requestedSampleType);
        EXPECT_EQ(got.latencyIndex, c.expected.latencyIndex);
        EXPECT_EQ(got.sampleRate, c.expected.sampleRate);
        std::uint32_t written = 0;
        const NTSTATUS read =
            AccessSetting(m_pDevice, SETTING_READ, &written, sizeof written, AsioSampleTypeSetting);
        EXPECT_EQ(kernel::succeeded(read) ? std::optional(written) : std::nullopt, c.writtenType);
    }
}

TEST_F(UsbAdapterTest, TheComponentIdCarriesTheVendorAndTheProduct) {
    usbsim::FunctionDescription description = fixtures::uac1Headset();
    description.vendorId = 0x1234;
    description.productId = 0x5678;
    Plug(description);
    ASSERT_EQ(Start(), kernel::STATUS_SUCCESS);
    ComponentId id;
    std::memset(&id, 0xA5, sizeof id);
    ASSERT_EQ(Hal()->GetComponentId(&id), kernel::STATUS_SUCCESS);
    EXPECT_EQ(id.manufacturer, kernel::makeGuid("{4E1CFF06-1679-463B-A72F-A5BF64C86EBA}"));
    EXPECT_EQ(id.product, kernel::makeGuid("{ABCCB0D6-C263-463B-A72F-A5BF64C86EBA}"));
    EXPECT_EQ(id.component, kernel::makeGuid("{8F1275F0-26E9-4264-BA4D-39FFF01D94AA}"));
    EXPECT_EQ(id.name, kernel::Guid{});
    EXPECT_EQ(id.version, 0u);
    EXPECT_EQ(id.revision, 0u);
}

} // namespace
} // namespace adapter_test
