// The bus's physical device as a driver on it sees it: its identity, read
// through the device properties, and device power requests it answers and
// keeps.
#include "platform/io/device_interface.h"
#include "platform/io/device_object.h"
#include "platform/io/irp.h"
#include "platform/kernel/clock.h"
#include "platform/usb/audio_requests.h"
#include "platform/usb/setup_packet.h"
#include "sim/usb/fixtures.h"
#include "sim/usb/simulated_bus.h"
#include "sim/usb/tests/stream_driver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using kernel::STATUS_SUCCESS;

// A property of the bus's device as UTF-16 text, each terminating zero kept.
std::u16string readProperty(io::DeviceObject* device, io::DeviceProperty property) {
    std::uint32_t needed = 0;
    EXPECT_EQ(io::getDeviceProperty(device, property, 0, nullptr, &needed),
              kernel::STATUS_BUFFER_TOO_SMALL);
    std::u16string text(needed / sizeof(char16_t), u'?');
    std::uint32_t written = 0;
    EXPECT_EQ(io::getDeviceProperty(device, property, needed, text.data(), &written),
              STATUS_SUCCESS);
    EXPECT_EQ(written, needed);
    return text;
}

struct IdentityCase {
    const char* name;
    std::uint16_t vendor;
    std::uint16_t product;
    std::uint16_t release;
    std::u16string instance;
    std::u16string hardwareIds; // as the property reads
};

TEST(BusIdentityTest, HardwareIdsComeFromTheFunctionsVendorProductAndRelease) {
    using namespace std::string_literals;
    const IdentityCase cases[] = {
        {"upper-case hex, most specific first", 0x1b3f, 0x2008, 0x0100, u"5&2a61c0f&0&1",
         u"USB\\VID_1B3F&PID_2008&REV_0100\0USB\\VID_1B3F&PID_2008\0\0"s},
        {"zeros are padded to four digits", 0x0001, 0x00a0, 0x0002, u"6&1&0&7",
         u"USB\\VID_0001&PID_00A0&REV_0002\0USB\\VID_0001&PID_00A0\0\0"s},
        {"the highest values", 0xffff, 0xffff, 0xffff, u"7&f&0&2",
         u"USB\\VID_FFFF&PID_FFFF&REV_FFFF\0USB\\VID_FFFF&PID_FFFF\0\0"s},
    };
    for (const IdentityCase& c : cases) {
        SCOPED_TRACE(c.name);
        kernel::ManualClock clock;
        usbsim::FunctionDescription description = usbsim::fixtures::uac1Headset();
        description.vendorId = c.vendor;
        description.productId = c.product;
        description.deviceRelease = c.release;
        usbsim::UsbFunction function(description);
        usbsim::SimulatedBus bus(function, c.instance);
        EXPECT_EQ(readProperty(bus.device(), io::DeviceProperty::HardwareIds), c.hardwareIds);
        EXPECT_EQ(readProperty(bus.device(), io::DeviceProperty::InstanceName), c.instance + u'\0');
        EXPECT_EQ(bus.identity().instanceName, c.instance);
        // The driver key names a software key under the class.
        const std::u16string key = readProperty(bus.device(), io::DeviceProperty::DriverKeyName);
        EXPECT_EQ(key.front(), u'{');
        EXPECT_NE(key.find(u"}\\"), std::u16string::npos);
    }
}

// A driver's device on top of the bus device: a device interface registered
// on the physical device carries the bus's instance name in its link.
TEST(BusIdentityTest, ADriverRegistersDeviceInterfacesOnTheBusDevice) {
    kernel::ManualClock clock;
    usbsim::UsbFunction function(usbsim::fixtures::uac1Headset());
    usbsim::SimulatedBus bus(function);
    const kernel::Guid interfaceClass{0x6a1c3f02, 0x90d1, 0x4b7e, {1, 2, 3, 4, 5, 6, 7, 8}};
    kernel::UnicodeString link{};
    ASSERT_EQ(io::registerDeviceInterface(bus.device(), interfaceClass, nullptr, &link),
              STATUS_SUCCESS);
    const std::vector<io::DeviceInterfaceEntry> registered =
        io::registeredDeviceInterfaces(bus.device());
    ASSERT_EQ(registered.size(), 1u);
    EXPECT_NE(registered[0].symbolicLink.find(u"5&2a61c0f&0&1"), std::u16string::npos);
    kernel::freeUnicodeString(link);
}

// A device power request from the driver on top, once it has completed.
kernel::NTSTATUS SetDevicePower(usbsimtest::StreamWorld& world, io::DevicePowerState state) {
    io::IoStackLocation::Parameters power{};
    power.power.type = io::PowerStateType::Device;
    power.power.state = state;
    return world.driver.send(io::major::Power, io::minorPower::SetPower, power);
}

// Device power requests reach the bottom of a stack; the bus answers each
// state with success instead of refusing a request it has no routine for.
TEST(BusIdentityTest, DevicePowerRequestsSucceedInEveryState) {
    usbsimtest::StreamWorld world(usbsim::fixtures::uac1Headset());
    for (const io::DevicePowerState state :
         {io::DevicePowerState::D3, io::DevicePowerState::D2, io::DevicePowerState::D0}) {
        // Sent with STATUS_NOT_SUPPORTED preset, which a request nobody answers keeps.
        EXPECT_EQ(SetDevicePower(world, state), STATUS_SUCCESS);
    }
}

// The bus keeps the state the driver set. A device that loses its settings
// in low power reads its controls' initial values once it has left D0 (and
// keeps what is set while it is down); by default a device keeps them.
TEST(BusIdentityTest, LeavingD0MakesOnlyADeviceThatLosesItsSettingsForgetThem) {
    for (const bool loses : {false, true}) {
        SCOPED_TRACE(loses ? "loses its settings" : "keeps its settings");
        usbsimtest::StreamWorld world(usbsim::fixtures::uac1Headset());
        world.bus.setLosesSettingsInLowPower(loses);
        const usbsim::ControlAddress volume =
            usbsim::entityControl(world.function.description(), 2, usb::feature_control::volume, 1);
        const usbsim::Bytes initial = *world.function.graph().current(volume);
        const usbsim::Bytes lowered{0x00, 0xF1}; // -15 dB
        ASSERT_NE(initial, lowered);
        const usb::SetupPacket set = usb::makeSetupPacket(
            usb::Direction::out, usb::RequestType::classSpecific, volume.recipient,
            usb::uac1::request::setCur, volume.value, volume.index, 2);
        ASSERT_FALSE(world.function.control(set, lowered).stalled);
        EXPECT_EQ(world.bus.devicePower(), io::DevicePowerState::D0);
        for (const io::DevicePowerState state :
             {io::DevicePowerState::D2, io::DevicePowerState::D3, io::DevicePowerState::D0}) {
            ASSERT_EQ(SetDevicePower(world, state), STATUS_SUCCESS);
            EXPECT_EQ(world.bus.devicePower(), state);
            // Forgotten on the way down from D0 only: a value set while
            // down stays through D3 and back to D0.
            const bool leftD0 = state == io::DevicePowerState::D2;
            EXPECT_EQ(*world.function.graph().current(volume), loses && leftD0 ? initial : lowered);
            if (leftD0) {
                ASSERT_FALSE(world.function.control(set, lowered).stalled);
            }
        }
    }
}

} // namespace
