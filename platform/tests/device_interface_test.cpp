// Device interfaces: the link a registration gives, which interfaces are
// listed, what a registration refuses, and that registrations go with their
// physical device.
#include "platform/io/device_interface.h"
#include "platform/kernel/pool.h"
#include "platform/tests/client_device_test.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace kernel;
using namespace io;
using io::testing::clientInterfaceClass;
using io::testing::headsetIdentity;
using io::testing::TestDevice;

constexpr Guid otherClass = makeGuid("{21BB2307-4531-46A2-A3A4-49A212FC3EE1}");
const std::u16string headsetLink = u"\\??\\USB#VID_0B05&PID_17F3&REV_0100#5&1f2e3d&0&2#";

class DeviceInterfaceTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (UnicodeString& link : links) freeUnicodeString(link);
    }

    // Registers an interface of the class on the device; its link, empty on failure.
    std::u16string registerOn(DeviceObject* device, const Guid& interfaceClass,
                              const char16_t* reference, NTSTATUS expected = STATUS_SUCCESS) {
        const UnicodeString text = makeUnicodeString(reference);
        UnicodeString link;
        EXPECT_EQ(
            registerDeviceInterface(device, interfaceClass, reference ? &text : nullptr, &link),
            expected);
        links.push_back(link);
        return std::u16string(link.view());
    }

    NTSTATUS enable(const std::u16string& link, bool on) {
        std::u16string text = link;
        return setDeviceInterfaceState(makeUnicodeString(text.c_str()), on);
    }

    TestDevice physical{nullptr, &headsetIdentity()};
    TestDevice function{&physical};
    std::vector<UnicodeString> links;
};

TEST_F(DeviceInterfaceTest, TheLinkNamesTheDeviceTheClassAndTheReferenceString) {
    EXPECT_EQ(registerOn(physical.device, clientInterfaceClass, u"HXASIOPrivateInterface"),
              headsetLink + u"{2EE7DB21-FFD3-42C5-AF60-F7451626C242}\\HXASIOPrivateInterface");
    EXPECT_EQ(registerOn(physical.device, otherClass, nullptr),
              headsetLink + u"{21BB2307-4531-46A2-A3A4-49A212FC3EE1}");
    EXPECT_EQ(registerOn(physical.device, otherClass, u""),
              headsetLink + u"{21BB2307-4531-46A2-A3A4-49A212FC3EE1}");
    const UnicodeString& link = links.front();
    EXPECT_EQ(link.buffer[link.length / 2], u'\0');
}

TEST_F(DeviceInterfaceTest, OnlyEnabledInterfacesOfTheClassAreListedInTheOrderRegistered) {
    const std::u16string first = registerOn(physical.device, clientInterfaceClass, u"First");
    const std::u16string second = registerOn(physical.device, clientInterfaceClass, u"Second");
    registerOn(physical.device, otherClass, u"Other");
    EXPECT_TRUE(enabledDeviceInterfaces(clientInterfaceClass).empty());

    EXPECT_EQ(enable(second, true), STATUS_SUCCESS);
    EXPECT_EQ(enable(first, true), STATUS_SUCCESS);
    EXPECT_EQ(enable(first, true), STATUS_SUCCESS);
    EXPECT_EQ(enabledDeviceInterfaces(clientInterfaceClass),
              (std::vector<std::u16string>{first, second}));

    EXPECT_EQ(enable(io::testing::lowerCase(second), false), STATUS_SUCCESS);
    EXPECT_EQ(enabledDeviceInterfaces(clientInterfaceClass), std::vector<std::u16string>{first});
    EXPECT_TRUE(enabledDeviceInterfaces(otherClass).empty());
}

TEST_F(DeviceInterfaceTest, EveryRegistrationOfADeviceIsRecordedWithItsState) {
    const DeviceIdentity second{{u"USB\\VID_0B05&PID_17A8"}, u"7&2&0", u"{class}\\0004"};
    TestDevice neighbour{nullptr, &second};
    const std::u16string control = registerOn(physical.device, clientInterfaceClass, u"Control");
    const std::u16string plain = registerOn(physical.device, otherClass, nullptr);
    registerOn(neighbour.device, otherClass, u"Elsewhere");
    EXPECT_EQ(enable(plain, true), STATUS_SUCCESS);
    EXPECT_EQ(registeredDeviceInterfaces(physical.device),
              (std::vector<DeviceInterfaceEntry>{{clientInterfaceClass, u"Control", control, false},
                                                 {otherClass, u"", plain, true}}));
    EXPECT_TRUE(registeredDeviceInterfaces(function.device).empty());
}

TEST_F(DeviceInterfaceTest, RegisteringAgainGivesTheSameLinkAndOneInterface) {
    const std::u16string link = registerOn(physical.device, clientInterfaceClass, u"Twice");
    EXPECT_EQ(registerOn(physical.device, clientInterfaceClass, u"Twice"), link);
    EXPECT_EQ(enable(link, true), STATUS_SUCCESS);
    EXPECT_EQ(enabledDeviceInterfaces(clientInterfaceClass).size(), 1u);
}

TEST_F(DeviceInterfaceTest, ALinkOfNoRegisteredInterfaceIsNotFound) {
    EXPECT_EQ(enable(u"\\??\\USB#Nothing#{2EE7DB21-FFD3-42C5-AF60-F7451626C242}", true),
              STATUS_OBJECT_NAME_NOT_FOUND);
}

TEST_F(DeviceInterfaceTest, RefusesAFunctionDeviceADeviceWithoutIdentityAndBadReferenceStrings) {
    TestDevice anonymous;
    registerOn(function.device, clientInterfaceClass, u"Above", STATUS_INVALID_DEVICE_REQUEST);
    registerOn(anonymous.device, clientInterfaceClass, u"Nobody", STATUS_INVALID_DEVICE_REQUEST);
    registerOn(physical.device, clientInterfaceClass, u"Sub\\Folder", STATUS_INVALID_PARAMETER);
    const char16_t withZero[] = u"Cut\0Off";
    const UnicodeString text{sizeof withZero - 2, sizeof withZero, const_cast<char16_t*>(withZero)};
    UnicodeString link;
    EXPECT_EQ(registerDeviceInterface(physical.device, clientInterfaceClass, &text, &link),
              STATUS_INVALID_PARAMETER);
    EXPECT_EQ(registerDeviceInterface(physical.device, clientInterfaceClass, nullptr, nullptr),
              STATUS_INVALID_PARAMETER);
    for (const UnicodeString& refused : links) EXPECT_EQ(refused.buffer, nullptr);
    EXPECT_EQ(link.buffer, nullptr);
}

TEST_F(DeviceInterfaceTest, APoolRefusalOfTheLinkRegistersNothing) {
    failPoolTag(poolTag("KStr"));
    const std::u16string refused = registerOn(physical.device, clientInterfaceClass, u"Refused",
                                              STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_TRUE(refused.empty());
    EXPECT_EQ(enable(headsetLink + u"{2EE7DB21-FFD3-42C5-AF60-F7451626C242}\\Refused", true),
              STATUS_OBJECT_NAME_NOT_FOUND);
}

TEST_F(DeviceInterfaceTest, TheInterfacesGoWithTheirPhysicalDevice) {
    const DeviceIdentity second{{u"USB\\VID_0B05&PID_17A8"}, u"7&2&0", u"{class}\\0004"};
    std::u16string link;
    {
        TestDevice gone{nullptr, &second};
        link = registerOn(gone.device, clientInterfaceClass, u"Gone");
        EXPECT_EQ(enable(link, true), STATUS_SUCCESS);
    }
    EXPECT_TRUE(enabledDeviceInterfaces(clientInterfaceClass).empty());
    EXPECT_EQ(enable(link, true), STATUS_OBJECT_NAME_NOT_FOUND);
}

} // namespace
