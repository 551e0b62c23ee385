#include "platform/io/device_object.h"
#include "platform/io/device_registry_key.h"
#include "platform/io/file_object.h"
#include "platform/io/registry.h"
#include "platform/io/registry_text.h"
#include "platform/kernel/pool.h"
#include "platform/testing/kernel_checks.h"
#include "platform/tests/client_device_test.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using namespace kernel;
using namespace io;
using namespace std::string_literals;

const DeviceIdentity& headset = io::testing::headsetIdentity();

// A physical device with the headset's identity and a function device on it.
class DeviceStackTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(createDevice(bus, 0, &physical), STATUS_SUCCESS);
        ASSERT_EQ(setDeviceIdentity(physical, headset), STATUS_SUCCESS);
        ASSERT_EQ(createDevice(driver, 376, &function), STATUS_SUCCESS);
        ASSERT_EQ(attachDeviceToDeviceStack(function, physical), physical);
    }
    void TearDown() override {
        detachDevice(physical);
        deleteDevice(function);
        deleteDevice(physical);
    }

    DriverObject bus;
    DriverObject driver;
    DeviceObject* physical = nullptr;
    DeviceObject* function = nullptr;
};

TEST_F(DeviceStackTest, ADeviceCarriesItsDriverAndAZeroedAlignedExtension) {
    EXPECT_EQ(function->driver(), &driver);
    EXPECT_EQ(function->extensionSize(), 376u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(function->extension()) % 16, 0u);
    const auto* bytes = static_cast<const std::uint8_t*>(function->extension());
    for (std::uint32_t i = 0; i < 376; ++i) ASSERT_EQ(bytes[i], 0) << i;
    EXPECT_EQ(physical->extension(), nullptr);
}

TEST_F(DeviceStackTest, AttachingStacksDevicesAndCountsLocations) {
    EXPECT_EQ(physical->stackSize(), 1);
    EXPECT_EQ(function->stackSize(), 2);
    EXPECT_EQ(function->lowerDevice(), physical);
    EXPECT_EQ(physical->attachedDevice(), function);

    DeviceObject* filter = nullptr;
    ASSERT_EQ(createDevice(driver, 0, &filter), STATUS_SUCCESS);
    // Attaching to the bottom of a stack lands on its top.
    EXPECT_EQ(attachDeviceToDeviceStack(filter, physical), function);
    EXPECT_EQ(filter->stackSize(), 3);
    EXPECT_EQ(attachDeviceToDeviceStack(filter, physical), nullptr); // already attached

    DeviceObject* top = getAttachedDeviceReference(physical);
    EXPECT_EQ(top, filter);
    dereferenceDevice(top);

    detachDevice(function);
    EXPECT_EQ(filter->lowerDevice(), nullptr);
    EXPECT_EQ(function->attachedDevice(), nullptr);
    deleteDevice(filter);
}

TEST_F(DeviceStackTest, AReferenceKeepsADeletedDevice) {
    DeviceObject* lone = nullptr;
    ASSERT_EQ(createDevice(driver, 8, &lone), STATUS_SUCCESS);
    referenceDevice(lone);
    deleteDevice(lone);
    EXPECT_TRUE(poolFindBlock(lone).has_value());
    EXPECT_EQ(attachDeviceToDeviceStack(function, lone), nullptr); // deleted: nothing attaches
    dereferenceDevice(lone);
    EXPECT_FALSE(poolFindBlock(lone).has_value());
}

TEST_F(DeviceStackTest, DeletingTwiceOrWhileAttachedFailsACheck) {
    kernel::testing::ExpectKernelChecks checks;
    deleteDevice(function); // still attached: refused
    DeviceObject* lone = nullptr;
    ASSERT_EQ(createDevice(driver, 0, &lone), STATUS_SUCCESS);
    referenceDevice(lone);
    deleteDevice(lone);
    deleteDevice(lone);
    dereferenceDevice(lone);
    EXPECT_EQ(checks.messages(),
              (std::vector<std::string>{"device deleted while attached to another",
                                        "device deleted twice"}));
}

TEST_F(DeviceStackTest, PropertiesComeFromThePhysicalDevice) {
    std::uint32_t needed = 0;
    EXPECT_EQ(getDeviceProperty(function, DeviceProperty::HardwareIds, 0, nullptr, &needed),
              STATUS_BUFFER_TOO_SMALL);
    const std::u16string ids = u"USB\\VID_0B05&PID_17F3&REV_0100\0USB\\VID_0B05&PID_17F3\0\0"s;
    EXPECT_EQ(needed, ids.size() * 2);
    std::u16string buffer(ids.size(), u'#');
    EXPECT_EQ(getDeviceProperty(function, DeviceProperty::HardwareIds, needed - 1, buffer.data(),
                                &needed),
              STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(buffer, std::u16string(ids.size(), u'#'));
    EXPECT_EQ(
        getDeviceProperty(function, DeviceProperty::HardwareIds, needed, buffer.data(), &needed),
        STATUS_SUCCESS);
    EXPECT_EQ(buffer, ids);

    char16_t text[64];
    EXPECT_EQ(getDeviceProperty(physical, DeviceProperty::InstanceName, sizeof text, text, &needed),
              STATUS_SUCCESS);
    EXPECT_EQ(std::u16string(text), u"5&1f2e3d&0&2");
    EXPECT_EQ(needed, 13u * 2);
    EXPECT_EQ(
        getDeviceProperty(function, DeviceProperty::DriverKeyName, sizeof text, text, &needed),
        STATUS_SUCCESS);
    EXPECT_EQ(std::u16string(text), headset.driverKeyName);
}

TEST(DeviceObject, ADeviceWithoutIdentityHasNoProperties) {
    DriverObject driver;
    DeviceObject* device = nullptr;
    ASSERT_EQ(createDevice(driver, 0, &device), STATUS_SUCCESS);
    std::uint32_t needed = 0;
    EXPECT_EQ(getDeviceProperty(device, DeviceProperty::InstanceName, 0, nullptr, &needed),
              STATUS_INVALID_DEVICE_REQUEST);
    Registry registry;
    RegistryKey key;
    EXPECT_EQ(openDeviceRegistryKey(device, DeviceRegistryKey::Driver, key),
              STATUS_INVALID_DEVICE_REQUEST);
    deleteDevice(device);
}

TEST(DeviceObject, AnIdentityMustNameTheDevice) {
    const DeviceIdentity bad[] = {
        {{}, u"1", u"{c}\\0000"},         {{u""}, u"1", u"{c}\\0000"},
        {{u"USB\\A"}, u"", u"{c}\\0000"}, {{u"USB\\A"}, u"a\\b", u"{c}\\0000"},
        {{u"USB\\A"}, u"1", u""},         {{u"USB\0A"s}, u"1", u"{c}\\0000"},
    };
    DriverObject bus;
    DeviceObject* device = nullptr;
    ASSERT_EQ(createDevice(bus, 0, &device), STATUS_SUCCESS);
    for (const DeviceIdentity& identity : bad)
        EXPECT_EQ(setDeviceIdentity(device, identity), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(setDeviceIdentity(device, headset), STATUS_SUCCESS);
    EXPECT_EQ(setDeviceIdentity(device, headset), STATUS_INVALID_DEVICE_REQUEST);
    deleteDevice(device);
}

TEST_F(DeviceStackTest, DeviceKeysAreMadeWhereTheIdentityPutsThem) {
    Registry registry;
    RegistryKey driverKey;
    RegistryKey hardwareKey;
    ASSERT_EQ(openDeviceRegistryKey(function, DeviceRegistryKey::Driver, driverKey),
              STATUS_SUCCESS);
    ASSERT_EQ(openDeviceRegistryKey(function, DeviceRegistryKey::Hardware, hardwareKey),
              STATUS_SUCCESS);
    const std::uint8_t one = 1;
    ASSERT_EQ(setValue(driverKey, makeUnicodeString(u"D"), REG_BINARY, &one, 1), STATUS_SUCCESS);
    ASSERT_EQ(setValue(hardwareKey, makeUnicodeString(u"H"), REG_BINARY, &one, 1), STATUS_SUCCESS);
    EXPECT_EQ(dumpRegistry(u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Control\\Class"),
              "\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Control\\Class\n"
              "\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
              "{4d36e96c-e325-11ce-bfc1-08002be10318}\n"
              "\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
              "{4d36e96c-e325-11ce-bfc1-08002be10318}\\0003\n"
              "  \"D\" binary 01\n");
    EXPECT_EQ(dumpRegistry(u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Enum\\USB\\"
                           u"VID_0B05&PID_17F3&REV_0100\\5&1f2e3d&0&2\\Device Parameters"),
              "\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Enum\\USB\\"
              "VID_0B05&PID_17F3&REV_0100\\5&1f2e3d&0&2\\Device Parameters\n"
              "  \"H\" binary 01\n");
}

TEST_F(DeviceStackTest, AFileObjectKeepsItsNameAndItsDevice) {
    char16_t name[] = u"\\HXASIOPrivateInterface";
    FileObject* file = nullptr;
    ASSERT_EQ(createFileObject(function, makeUnicodeString(name), &file), STATUS_SUCCESS);
    name[1] = u'x'; // the object has a copy
    EXPECT_EQ(file->fileName().view(), u"\\HXASIOPrivateInterface");
    EXPECT_EQ(file->device(), function);
    EXPECT_EQ(file->fsContext, nullptr);
    EXPECT_EQ(file->fsContext2, nullptr);

    // The file object holds its device past the device's deletion.
    detachDevice(physical);
    deleteDevice(function);
    EXPECT_TRUE(poolFindBlock(function).has_value());
    dereferenceObject(*file);
    EXPECT_FALSE(poolFindBlock(function).has_value());
    ASSERT_EQ(createDevice(driver, 0, &function), STATUS_SUCCESS);
    ASSERT_EQ(attachDeviceToDeviceStack(function, physical), physical);
}

TEST_F(DeviceStackTest, APoolRefusalMakesNoDeviceAndNoFileObject) {
    DeviceObject* device = reinterpret_cast<DeviceObject*>(1);
    failPoolRequest(1);
    EXPECT_EQ(createDevice(driver, 0, &device), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(device, nullptr);
    FileObject* file = reinterpret_cast<FileObject*>(1);
    failPoolRequest(1);
    EXPECT_EQ(createFileObject(function, makeUnicodeString(u"\\x"), &file),
              STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(file, nullptr);
}

} // namespace
