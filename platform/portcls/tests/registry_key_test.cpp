// Registry keys of an adapter device: the driver's software key and the
// hardware key, subkeys made on first open, values in and out.
#include "platform/io/registry.h"
#include "platform/portcls/registry_key.h"
#include "platform/tests/io_test_devices.h"

#include <gtest/gtest.h>

namespace portcls::testing {
namespace {

using kernel::STATUS_SUCCESS;

const io::DeviceIdentity identity{
    {u"USB\\VID_1B3F&PID_2008"}, u"5&2d&0&1", u"{4d36e96c-e325-11ce-bfc1-08002be10318}\\0003"};

class RegistryKeyTest : public ::testing::Test {
protected:
    io::Registry registry;
    io::testing::TestDevice physical{nullptr, &identity};
};

TEST_F(RegistryKeyTest, SubkeysOfTheDriverKeyAreMadeOnFirstOpenAndHoldValues) {
    IRegistryKey* driverKey = nullptr;
    ASSERT_EQ(
        PcNewRegistryKey(&driverKey, nullptr, RegistryKeyType::DriverRegistryKey, physical.device),
        STATUS_SUCCESS);
    const kernel::UnicodeString settings = kernel::makeUnicodeString(u"Settings");
    IRegistryKey* first = nullptr;
    IRegistryKey* again = nullptr;
    bool created = false;
    ASSERT_EQ(driverKey->NewSubKey(&first, &settings, &created), STATUS_SUCCESS);
    EXPECT_TRUE(created);
    ASSERT_EQ(driverKey->NewSubKey(&again, &settings, &created), STATUS_SUCCESS);
    EXPECT_FALSE(created);

    const kernel::UnicodeString name = kernel::makeUnicodeString(u"IniVersion");
    const std::uint32_t version = 7;
    EXPECT_EQ(first->SetValueKey(&name, io::REG_BINARY, &version, 4), STATUS_SUCCESS);
    unsigned char record[16] = {};
    std::uint32_t length = 0;
    EXPECT_EQ(again->QueryValueKey(&name, record, sizeof record, &length), STATUS_SUCCESS);
    EXPECT_EQ(length, 16u);
    EXPECT_EQ(record[12], 7);
    EXPECT_EQ(again->QueryValueKey(&name, record, 12, &length), kernel::STATUS_BUFFER_OVERFLOW);
    // The subkey lies under the driver key of the device's identity.
    io::RegistryKey direct;
    const kernel::UnicodeString path = kernel::makeUnicodeString(
        u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
        u"{4d36e96c-e325-11ce-bfc1-08002be10318}\\0003\\Settings");
    EXPECT_EQ(io::openKey(direct, path), STATUS_SUCCESS);
    again->Release();
    first->Release();
    driverKey->Release();
}

TEST_F(RegistryKeyTest, KeysNeedADeviceWithAnIdentityAndNoOuterObject) {
    IRegistryKey* key = nullptr;
    io::testing::TestDevice anonymous;
    EXPECT_EQ(PcNewRegistryKey(&key, nullptr, RegistryKeyType::DeviceRegistryKey, anonymous.device),
              kernel::STATUS_INVALID_DEVICE_REQUEST);
    EXPECT_EQ(PcNewRegistryKey(&key, nullptr, RegistryKeyType::DeviceRegistryKey, nullptr),
              kernel::STATUS_INVALID_PARAMETER);
    IRegistryKey* outer = nullptr;
    ASSERT_EQ(
        PcNewRegistryKey(&outer, nullptr, RegistryKeyType::DeviceRegistryKey, physical.device),
        STATUS_SUCCESS);
    EXPECT_EQ(PcNewRegistryKey(&key, outer, RegistryKeyType::DeviceRegistryKey, physical.device),
              kernel::STATUS_INVALID_PARAMETER);
    EXPECT_EQ(key, nullptr);
    outer->Release();
}

} // namespace
} // namespace portcls::testing
