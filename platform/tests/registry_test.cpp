#include "platform/io/registry.h"
#include "platform/io/registry_text.h"
#include "platform/kernel/irql.h"
#include "platform/testing/kernel_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace kernel;
using namespace io;

UnicodeString name(const char16_t* text) { return makeUnicodeString(text); }

class RegistryTest : public ::testing::Test {
protected:
    // \Registry\Machine\Test, made as a test's key to work under.
    RegistryKey makeTestKey() {
        EXPECT_EQ(loadRegistry("\\Registry\\Machine\\Test\n"), STATUS_SUCCESS);
        RegistryKey key;
        EXPECT_EQ(openKey(key, name(u"\\Registry\\Machine\\Test")), STATUS_SUCCESS);
        return key;
    }

    Registry registry;
};

struct PartialCase {
    const char* what;
    std::uint32_t length;
    NTSTATUS status;
    bool headerWritten;
    bool dataWritten;
};

TEST_F(RegistryTest, PartialInformationStatusDependsOnWhatFits) {
    const RegistryKey key = makeTestKey();
    const std::uint8_t data[4] = {0x11, 0x22, 0x33, 0x44};
    ASSERT_EQ(setValue(key, name(u"Four"), REG_BINARY, data, 4), STATUS_SUCCESS);

    const PartialCase cases[] = {
        {"no room", 0, STATUS_BUFFER_TOO_SMALL, false, false},
        {"header cut", 11, STATUS_BUFFER_TOO_SMALL, false, false},
        {"header only", 12, STATUS_BUFFER_OVERFLOW, true, false},
        {"data cut", 15, STATUS_BUFFER_OVERFLOW, true, false},
        {"exact", 16, STATUS_SUCCESS, true, true},
        {"roomy", 40, STATUS_SUCCESS, true, true},
    };
    for (const PartialCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::array<std::uint8_t, 40> buffer;
        buffer.fill(0xEE);
        std::uint32_t result = 0;
        EXPECT_EQ(
            queryValuePartialInformation(key, name(u"FOUR"), buffer.data(), c.length, &result),
            c.status);
        EXPECT_EQ(result, 16u);
        const auto* info = reinterpret_cast<const KeyValuePartialInformation*>(buffer.data());
        if (c.headerWritten) {
            EXPECT_EQ(info->type, REG_BINARY);
            EXPECT_EQ(info->dataLength, 4u);
        } else {
            EXPECT_EQ(buffer[4], 0xEE);
        }
        EXPECT_EQ(std::memcmp(info->data, data, 4) == 0, c.dataWritten);
        if (!c.dataWritten) {
            EXPECT_EQ(buffer[12], 0xEE);
        }
    }
}

TEST_F(RegistryTest, AMissingValueIsNotFoundWithNoLengthButAnEmptyDefaultValueIsFound) {
    const RegistryKey key = makeTestKey();
    std::uint8_t buffer[32];
    std::uint32_t result = 99;
    EXPECT_EQ(queryValuePartialInformation(key, name(u"Absent"), buffer, sizeof buffer, &result),
              STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(result, 0u);
    ASSERT_EQ(setValue(key, name(u""), REG_SZ, nullptr, 0), STATUS_SUCCESS);
    EXPECT_EQ(queryValuePartialInformation(key, name(u""), buffer, 12, &result), STATUS_SUCCESS);
    EXPECT_EQ(result, 12u);
}

TEST_F(RegistryTest, PathsCompareWithoutRegardToCaseAndKeepTheirSpelling) {
    RegistryKey key;
    ASSERT_EQ(loadRegistry("\\Registry\\Machine\\SYSTEM\\CurrentControlSet\n"), STATUS_SUCCESS);
    EXPECT_EQ(openKey(key, name(u"\\REGISTRY\\machine\\system\\currentcontrolset")),
              STATUS_SUCCESS);
    KeyDisposition disposition{};
    RegistryKey child;
    EXPECT_EQ(createKey(child, name(u"Enum"), &key, &disposition), STATUS_SUCCESS);
    EXPECT_EQ(disposition, KeyDisposition::Created);
    EXPECT_EQ(createKey(child, name(u"ENUM"), &key, &disposition), STATUS_SUCCESS);
    EXPECT_EQ(disposition, KeyDisposition::Opened);
    EXPECT_EQ(dumpRegistry(u"\\registry\\machine\\System"),
              "\\Registry\\Machine\\SYSTEM\n"
              "\\Registry\\Machine\\SYSTEM\\CurrentControlSet\n"
              "\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Enum\n");
}

TEST_F(RegistryTest, CreateMakesOnlyTheLastKey) {
    RegistryKey key;
    EXPECT_EQ(createKey(key, name(u"\\Registry\\Machine\\Missing\\Leaf")),
              STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_FALSE(key.isOpen());
    EXPECT_EQ(createKey(key, name(u"\\Registry\\Machine")), STATUS_SUCCESS);
    EXPECT_EQ(createKey(key, name(u"\\Registry\\Machine\\Missing")), STATUS_SUCCESS);
    EXPECT_EQ(openKey(key, name(u"\\Registry\\Machine\\Missing\\Leaf")),
              STATUS_OBJECT_NAME_NOT_FOUND);
}

TEST_F(RegistryTest, RelativePathsStartAtAnOpenKey) {
    const RegistryKey root = makeTestKey();
    RegistryKey settings;
    ASSERT_EQ(createKey(settings, name(u"Settings"), &root), STATUS_SUCCESS);
    RegistryKey again;
    EXPECT_EQ(openKey(again, name(u""), &settings), STATUS_SUCCESS);
    const std::uint8_t one = 1;
    ASSERT_EQ(setValue(again, name(u"V"), REG_BINARY, &one, 1), STATUS_SUCCESS);
    EXPECT_EQ(dumpRegistry(u"\\Registry\\Machine\\Test\\Settings"),
              "\\Registry\\Machine\\Test\\Settings\n  \"V\" binary 01\n");

    RegistryKey closed;
    EXPECT_EQ(openKey(again, name(u"Settings"), &closed), STATUS_INVALID_HANDLE);
    EXPECT_EQ(setValue(closed, name(u"V"), REG_BINARY, &one, 1), STATUS_INVALID_HANDLE);
}

TEST_F(RegistryTest, MalformedPathsAreRefused) {
    const std::u16string longName(256, u'k');
    const std::u16string longest = u"\\Registry\\" + std::u16string(255, u'k');
    const std::u16string tooLong = u"\\Registry\\" + longName;
    const char16_t* const paths[] = {u"",
                                     u"Registry\\Machine",
                                     u"\\Registry\\\\Machine",
                                     u"\\Registry\\Machine\\",
                                     u"\\Other\\Machine",
                                     u"\\",
                                     tooLong.c_str()};
    for (const char16_t* path : paths) {
        RegistryKey key;
        EXPECT_EQ(createKey(key, name(path)), STATUS_OBJECT_NAME_INVALID)
            << std::string(path, path + std::char_traits<char16_t>::length(path));
    }
    RegistryKey key;
    EXPECT_EQ(createKey(key, name(longest.c_str())), STATUS_SUCCESS);
    RegistryKey relative;
    EXPECT_EQ(createKey(relative, name(u"\\Registry"), &key), STATUS_OBJECT_NAME_INVALID);
}

TEST_F(RegistryTest, KeysLieAtMostMaxKeyDepthLevelsBelowTheRoot) {
    // One key per level, each made below the one before.
    RegistryKey parent;
    ASSERT_EQ(openKey(parent, name(u"\\Registry")), STATUS_SUCCESS);
    for (std::size_t level = 1; level <= maxKeyDepth; ++level) {
        RegistryKey child;
        ASSERT_EQ(createKey(child, name(u"k"), &parent), STATUS_SUCCESS) << level;
        parent = std::move(child);
    }
    RegistryKey refused;
    EXPECT_EQ(createKey(refused, name(u"k"), &parent), STATUS_OBJECT_NAME_INVALID);
    EXPECT_FALSE(refused.isOpen());
    EXPECT_EQ(openKey(refused, name(u""), &parent), STATUS_SUCCESS);

    std::string deepest = "\\Registry";
    for (std::size_t level = 0; level < maxKeyDepth; ++level) deepest += "\\k";
    const std::u16string deepestPath(deepest.begin(), deepest.end());
    EXPECT_EQ(openKey(refused, name((deepestPath + u"\\k").c_str())), STATUS_OBJECT_NAME_INVALID);
    EXPECT_EQ(createKey(refused, name((deepestPath + u"\\k").c_str())), STATUS_OBJECT_NAME_INVALID);
    RegistryKey deepestKey;
    EXPECT_EQ(openKey(deepestKey, name(deepestPath.c_str())), STATUS_SUCCESS);

    // Relative paths count from their root.
    const std::u16string middlePath = deepestPath.substr(0, deepestPath.size() - 2);
    RegistryKey middle;
    ASSERT_EQ(openKey(middle, name(middlePath.c_str())), STATUS_SUCCESS);
    RegistryKey child;
    EXPECT_EQ(createKey(child, name(u"K\\k"), &middle), STATUS_OBJECT_NAME_INVALID);
    EXPECT_EQ(openKey(child, name(u"K\\k"), &middle), STATUS_OBJECT_NAME_INVALID);
    EXPECT_EQ(createKey(child, name(u"Other"), &middle), STATUS_SUCCESS);
    EXPECT_EQ(dumpRegistry(middlePath, KeyLines::Needed),
              deepest.substr(0, deepest.size() - 2) + "\n" + deepest + "\n" +
                  deepest.substr(0, deepest.size() - 2) + "\\Other\n");
}

TEST_F(RegistryTest, ValuesKeepTheirPlaceWhenReplacedAndNamesIgnoreCase) {
    const RegistryKey key = makeTestKey();
    const std::uint8_t a = 0xA, b = 0xB, c = 0xC;
    ASSERT_EQ(setValue(key, name(u"First"), REG_BINARY, &a, 1), STATUS_SUCCESS);
    ASSERT_EQ(setValue(key, name(u"Second"), REG_BINARY, &b, 1), STATUS_SUCCESS);
    ASSERT_EQ(setValue(key, name(u"FIRST"), REG_DWORD, &c, 1), STATUS_SUCCESS);
    EXPECT_EQ(dumpRegistry(u"\\Registry\\Machine\\Test"),
              "\\Registry\\Machine\\Test\n  \"First\" dword 0C\n  \"Second\" binary 0B\n");
}

TEST_F(RegistryTest, OversizedValuesAreRefused) {
    const RegistryKey key = makeTestKey();
    const std::u16string longName(maxValueNameChars + 1, u'v');
    const std::vector<std::uint8_t> big(maxValueDataBytes + 1);
    EXPECT_EQ(setValue(key, name(longName.c_str()), REG_BINARY, big.data(), 1),
              STATUS_INVALID_PARAMETER);
    EXPECT_EQ(setValue(key, name(u"Big"), REG_BINARY, big.data(), maxValueDataBytes + 1),
              STATUS_INVALID_PARAMETER);
    EXPECT_EQ(setValue(key, name(u"Null"), REG_BINARY, nullptr, 1), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(setValue(key, name(u"Big"), REG_BINARY, big.data(), maxValueDataBytes),
              STATUS_SUCCESS);
    std::uint32_t result = 0;
    EXPECT_EQ(queryValuePartialInformation(key, name(u"Big"), nullptr, 4, &result),
              STATUS_INVALID_PARAMETER);
}

TEST(RegistryInForce, ARegistryOfItsOwnLeavesTheProcessRegistryAlone) {
    RegistryKey kept;
    {
        Registry registry;
        ASSERT_EQ(loadRegistry("\\Registry\\Machine\\Own\n"), STATUS_SUCCESS);
        ASSERT_EQ(openKey(kept, name(u"\\Registry\\Machine\\Own")), STATUS_SUCCESS);
    }
    RegistryKey key;
    EXPECT_EQ(openKey(key, name(u"\\Registry\\Machine\\Own")), STATUS_OBJECT_NAME_NOT_FOUND);
    // A handle outlives the registry it was opened in.
    const std::uint8_t one = 1;
    EXPECT_EQ(setValue(kept, name(u"Late"), REG_BINARY, &one, 1), STATUS_SUCCESS);
}

TEST_F(RegistryTest, ASecondRegistryIsRefusedAndLeavesTheFirstInForce) {
    {
        kernel::testing::ExpectKernelChecks checks;
        Registry second;
        EXPECT_EQ(checks.messages(),
                  std::vector<std::string>{"a second registry installed while one is in force"});
    }
    EXPECT_EQ(loadRegistry("\\Registry\\Machine\\Mine\n"), STATUS_SUCCESS);
    RegistryKey key;
    EXPECT_EQ(openKey(key, name(u"\\Registry\\Machine\\Mine")), STATUS_SUCCESS);
}

TEST_F(RegistryTest, TheRegistryIsForPassiveLevelOnly) {
    const RegistryKey key = makeTestKey();
    kernel::testing::ExpectKernelChecks checks;
    const IrqlScope dispatch(Irql::Dispatch);
    RegistryKey other;
    const std::uint8_t one = 1;
    std::uint8_t buffer[16];
    std::uint32_t result = 0;
    EXPECT_EQ(openKey(other, name(u"\\Registry\\Machine\\Test")), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(createKey(other, name(u"Sub"), &key), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(setValue(key, name(u"V"), REG_BINARY, &one, 1), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(queryValuePartialInformation(key, name(u"V"), buffer, 16, &result),
              STATUS_UNSUCCESSFUL);
    EXPECT_EQ(flushKey(key), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(checks.count(), 5u);
}

TEST_F(RegistryTest, FlushReachesTheKeeper) {
    const RegistryKey key = makeTestKey();
    EXPECT_EQ(flushKey(key), STATUS_SUCCESS);
    int flushes = 0;
    setRegistryFlushHandler([&flushes] {
        ++flushes;
        return STATUS_REGISTRY_IO_FAILED;
    });
    EXPECT_EQ(flushKey(key), STATUS_REGISTRY_IO_FAILED);
    setRegistryFlushHandler(nullptr);
    EXPECT_EQ(flushes, 1);
}

TEST_F(RegistryTest, ThreadsWriteAndReadTheSameKey) {
    const RegistryKey key = makeTestKey();
    std::vector<std::thread> threads;
    for (std::uint8_t t = 0; t < 4; ++t)
        threads.emplace_back([&key, t] {
            const char16_t valueName[] = {u'V', static_cast<char16_t>(u'0' + t), 0};
            for (std::uint32_t i = 0; i < 200; ++i) {
                ASSERT_EQ(setValue(key, name(valueName), REG_DWORD, &i, 4), STATUS_SUCCESS);
                std::uint8_t buffer[16];
                std::uint32_t result = 0;
                ASSERT_EQ(queryValuePartialInformation(key, name(valueName), buffer, 16, &result),
                          STATUS_SUCCESS);
                std::uint32_t read = 0;
                std::memcpy(&read, buffer + 12, 4);
                ASSERT_EQ(read, i);
                RegistryKey child;
                ASSERT_EQ(createKey(child, name(valueName), &key), STATUS_SUCCESS);
            }
        });
    for (std::thread& thread : threads) thread.join();
    const std::string dump = dumpRegistry(u"\\Registry\\Machine\\Test");
    EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 9); // the key, 4 values, 4 subkeys
}

} // namespace
