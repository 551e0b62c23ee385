#include "driver/common/settings_store.h"
#include "driver/tests/settings_test_device.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/pool.h"
#include "platform/testing/kernel_checks.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

using kernel::NTSTATUS;

class SettingsStoreTest : public SettingsTestDevice {
protected:
    void Store(const char16_t* name, std::vector<std::uint8_t> data) {
        ASSERT_EQ(AccessSetting(m_pFunction, SETTING_WRITE, data.data(),
                                static_cast<std::uint32_t>(data.size()), name),
                  kernel::STATUS_SUCCESS);
    }
};

struct ReadCase {
    const char* what;
    std::size_t stored; // bytes 1, 2, 3... of the stored value; 0: no value; 100: empty
    NTSTATUS status;
    std::array<std::uint8_t, 4> buffer; // after the read of 4 bytes into EE EE EE EE
};

TEST_F(SettingsStoreTest, AReadCopiesOnlyWhatFitsTheBuffer) {
    const ReadCase cases[] = {
        {"fits", 4, kernel::STATUS_SUCCESS, {1, 2, 3, 4}},
        {"shorter", 2, kernel::STATUS_SUCCESS, {1, 2, 0xEE, 0xEE}},
        {"empty", 100, kernel::STATUS_SUCCESS, {0xEE, 0xEE, 0xEE, 0xEE}},
        {"one longer", 5, kernel::STATUS_UNSUCCESSFUL, {0xEE, 0xEE, 0xEE, 0xEE}},
        {"four longer", 8, kernel::STATUS_UNSUCCESSFUL, {0xEE, 0xEE, 0xEE, 0xEE}},
        {"five longer", 9, kernel::STATUS_BUFFER_OVERFLOW, {0xEE, 0xEE, 0xEE, 0xEE}},
        {"missing", 0, kernel::STATUS_OBJECT_NAME_NOT_FOUND, {0xEE, 0xEE, 0xEE, 0xEE}},
    };
    char16_t name[] = u"Value0";
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.what);
        ++name[5]; // a value of its own for each case
        std::vector<std::uint8_t> stored;
        for (std::size_t i = 1; i <= c.stored && c.stored != 100; ++i)
            stored.push_back(static_cast<std::uint8_t>(i));
        if (c.stored != 0) Store(name, stored);
        std::array<std::uint8_t, 4> buffer{0xEE, 0xEE, 0xEE, 0xEE};
        std::uint32_t ulLength = 99;
        EXPECT_EQ(AccessSettingEx(m_pFunction, SETTING_READ, buffer.data(), 4, name, nullptr,
                                  io::REG_BINARY, &ulLength),
                  c.status);
        EXPECT_EQ(buffer, c.buffer);
        EXPECT_EQ(ulLength, c.status == kernel::STATUS_SUCCESS ? stored.size() : 99u);
    }
}

TEST_F(SettingsStoreTest, WritesMakeSettingsAndTheSubkey) {
    EXPECT_EQ(DumpSettings(), "");
    std::uint32_t ulValue = 0x01020304;
    ASSERT_EQ(
        AccessSettingEx(m_pFunction, SETTING_WRITE, &ulValue, 4, u"Gain", u"Mixer", io::REG_DWORD),
        kernel::STATUS_SUCCESS);
    ASSERT_EQ(AccessSetting(m_pFunction, SETTING_WRITE, &ulValue, 2, u"Top"),
              kernel::STATUS_SUCCESS);
    EXPECT_EQ(DumpSettings(), std::string(SETTINGS_PATH) + "\n  \"Top\" binary 04 03\n" +
                                  SETTINGS_PATH + "\\Mixer\n  \"Gain\" dword 04 03 02 01\n");
    std::uint32_t ulRead = 0;
    EXPECT_EQ(
        AccessSettingEx(m_pFunction, SETTING_READ, &ulRead, 4, u"gain", u"MIXER", io::REG_BINARY),
        kernel::STATUS_SUCCESS);
    EXPECT_EQ(ulRead, 0x01020304u);
}

TEST_F(SettingsStoreTest, IndexedNamesArePrefixAndDecimalIndex) {
    std::uint8_t byte = 7;
    ASSERT_EQ(AccessIndexedSetting(m_pFunction, SETTING_WRITE, &byte, 1, u"Unit", 3),
              kernel::STATUS_SUCCESS);
    ASSERT_EQ(AccessIndexedSetting(m_pFunction, SETTING_WRITE, &byte, 1, u"Unit", -12),
              kernel::STATUS_SUCCESS);
    const std::u16string prefix48(48, u'p');
    ASSERT_EQ(AccessIndexedSetting(m_pFunction, SETTING_WRITE, &byte, 1, prefix48.c_str(), 9),
              kernel::STATUS_SUCCESS);
    // A name of 50 characters would be cut to another setting's name.
    EXPECT_EQ(AccessIndexedSetting(m_pFunction, SETTING_WRITE, &byte, 1, prefix48.c_str(), 10),
              kernel::STATUS_INVALID_PARAMETER);
    EXPECT_EQ(DumpSettings(), std::string(SETTINGS_PATH) +
                                  "\n  \"Unit3\" binary 07\n  \"Unit-12\" binary 07\n  \"" +
                                  std::string(48, 'p') + "9\" binary 07\n");
    std::uint8_t read = 0;
    EXPECT_EQ(AccessIndexedSetting(m_pFunction, SETTING_READ, &read, 1, u"UNIT", 3),
              kernel::STATUS_SUCCESS);
    EXPECT_EQ(read, 7);
}

TEST_F(SettingsStoreTest, OnlyTextBinaryAndNumberTypesAreAccepted) {
    const std::uint32_t ulValue = 1;
    for (const io::RegistryValueType type : {io::REG_NONE, io::REG_EXPAND_SZ, io::REG_MULTI_SZ,
                                             io::REG_QWORD, io::REG_DWORD_BIG_ENDIAN, 12u}) {
        std::uint32_t copy = ulValue;
        EXPECT_EQ(AccessSettingEx(m_pFunction, SETTING_WRITE, &copy, 4, u"V", nullptr, type),
                  kernel::STATUS_UNSUCCESSFUL);
        EXPECT_EQ(AccessSettingEx(m_pFunction, SETTING_READ, &copy, 4, u"V", nullptr, type),
                  kernel::STATUS_UNSUCCESSFUL);
    }
    EXPECT_EQ(DumpSettings(), "");
    std::uint16_t text = u'A';
    EXPECT_EQ(AccessSettingEx(m_pFunction, SETTING_WRITE, &text, 2, u"T", nullptr, io::REG_SZ),
              kernel::STATUS_SUCCESS);
    EXPECT_EQ(DumpSettings(), std::string(SETTINGS_PATH) + "\n  \"T\" sz 41 00\n");
}

TEST_F(SettingsStoreTest, BadRequestsAreRefused) {
    std::uint32_t ulValue = 0;
    EXPECT_EQ(AccessSetting(m_pFunction, 0, &ulValue, 4, u"V"), kernel::STATUS_INVALID_PARAMETER);
    EXPECT_EQ(AccessSetting(m_pFunction, 3, &ulValue, 4, u"V"), kernel::STATUS_INVALID_PARAMETER);
    EXPECT_EQ(AccessSetting(m_pFunction, SETTING_READ, nullptr, 4, u"V"),
              kernel::STATUS_INVALID_PARAMETER);
    EXPECT_EQ(AccessSetting(m_pFunction, SETTING_READ, &ulValue, 4, nullptr),
              kernel::STATUS_INVALID_PARAMETER);
    EXPECT_EQ(AccessSetting(nullptr, SETTING_READ, &ulValue, 4, u"V"),
              kernel::STATUS_INVALID_PARAMETER);
    EXPECT_EQ(AccessIndexedSetting(m_pFunction, SETTING_READ, &ulValue, 4, nullptr, 1),
              kernel::STATUS_INVALID_PARAMETER);
    // The query buffer's size is worked out in 64 bits.
    Store(u"V", {1});
    EXPECT_EQ(AccessSetting(m_pFunction, SETTING_READ, &ulValue, 0xFFFFFFF0u, u"V"),
              kernel::STATUS_INVALID_PARAMETER);

    const LoneDevice lone(m_Driver);
    EXPECT_EQ(AccessSetting(lone.pDevice, SETTING_READ, &ulValue, 4, u"V"),
              kernel::STATUS_INVALID_DEVICE_REQUEST);
}

TEST_F(SettingsStoreTest, SettingsAreForPassiveLevelOnly) {
    std::uint32_t ulValue = 1;
    kernel::testing::ExpectKernelChecks checks;
    {
        const kernel::IrqlScope dispatch(kernel::Irql::Dispatch);
        EXPECT_EQ(AccessSetting(m_pFunction, SETTING_WRITE, &ulValue, 4, u"V"),
                  kernel::STATUS_UNSUCCESSFUL);
    }
    EXPECT_EQ(checks.count(), 1u);
    EXPECT_EQ(DumpSettings(), "");
}

TEST_F(SettingsStoreTest, AReadNeedsItsQueryBuffer) {
    Store(u"V", {1, 2, 3, 4});
    std::uint32_t ulValue = 0;
    kernel::failPoolTag(kernel::poolTag("hlep"));
    EXPECT_EQ(AccessSetting(m_pFunction, SETTING_READ, &ulValue, 4, u"V"),
              kernel::STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(ulValue, 0u);
}

} // namespace
