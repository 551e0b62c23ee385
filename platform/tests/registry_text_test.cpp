#include "platform/io/registry.h"
#include "platform/io/registry_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace kernel;
using namespace io;

// Every value type, escaped names, an empty value, subkeys out of order.
constexpr char sample[] = "\\Registry\n"
                          "\\Registry\\Machine\n"
                          "\\Registry\\Machine\\{4D36E96C}\n"
                          "  \"Text\" sz 48 00 69 00\n"
                          "  \"100%0025 %0022quoted%0022 caf%00E9\" binary 01 FF\n"
                          "  \"\" dword 2A 00 00 00\n"
                          "  \"Empty\" none\n"
                          "  \"Odd\" 4096 00\n"
                          "\\Registry\\Machine\\{4D36E96C}\\alpha\n"
                          "\\Registry\\Machine\\{4D36E96C}\\Beta%0009tab\n"
                          "  \"List\" multi_sz 41 00 00 00 00 00\n";

TEST(RegistryText, LoadThenDumpGivesTheSameText) {
    Registry registry;
    std::string error;
    ASSERT_EQ(loadRegistry(sample, &error), STATUS_SUCCESS) << error;
    EXPECT_EQ(dumpRegistry(), sample);
}

TEST(RegistryText, NamesAndTypesAreWrittenByTheRules) {
    Registry registry;
    RegistryKey key;
    ASSERT_EQ(loadRegistry("\\Registry\\Machine\n"), STATUS_SUCCESS);
    ASSERT_EQ(openKey(key, makeUnicodeString(u"\\Registry\\Machine")), STATUS_SUCCESS);
    RegistryKey child;
    ASSERT_EQ(createKey(child, makeUnicodeString(u"b\u00e9\"%"), &key), STATUS_SUCCESS);
    ASSERT_EQ(createKey(child, makeUnicodeString(u"A"), &key), STATUS_SUCCESS);
    const std::uint64_t q = 0x0102030405060708;
    ASSERT_EQ(setValue(child, makeUnicodeString(u"Q\n"), REG_QWORD, &q, 8), STATUS_SUCCESS);
    ASSERT_EQ(setValue(child, makeUnicodeString(u"E"), REG_EXPAND_SZ, nullptr, 0), STATUS_SUCCESS);
    EXPECT_EQ(dumpRegistry(u"\\Registry\\Machine"), "\\Registry\\Machine\n"
                                                    "\\Registry\\Machine\\A\n"
                                                    "  \"Q%000A\" qword 08 07 06 05 04 03 02 01\n"
                                                    "  \"E\" expand_sz\n"
                                                    "\\Registry\\Machine\\b%00E9%0022%0025\n");
    EXPECT_EQ(dumpRegistry(u"\\Registry\\Machine\\Missing"), "");
    EXPECT_EQ(dumpRegistry(u"not a path"), "");
}

TEST(RegistryText, KeysAboveALoadedKeyAreMadeAndValuesMerge) {
    Registry registry;
    ASSERT_EQ(loadRegistry("\\Registry\\Machine\\A\\B\n  \"x\" binary 01\n"), STATUS_SUCCESS);
    ASSERT_EQ(loadRegistry("\n\\Registry\\Machine\\A\\B\n  \"X\" binary 02\n  \"y\" binary 03"),
              STATUS_SUCCESS);
    EXPECT_EQ(dumpRegistry(u"\\Registry\\Machine"), "\\Registry\\Machine\n"
                                                    "\\Registry\\Machine\\A\n"
                                                    "\\Registry\\Machine\\A\\B\n"
                                                    "  \"x\" binary 02\n"
                                                    "  \"y\" binary 03\n");
}

TEST(RegistryText, NeededKeyLinesLoadToTheSameRegistry) {
    std::string needed;
    {
        Registry registry;
        ASSERT_EQ(loadRegistry(sample), STATUS_SUCCESS);
        needed = dumpRegistry(u"\\Registry", KeyLines::Needed);
        EXPECT_EQ(needed, "\\Registry\n"
                          "\\Registry\\Machine\\{4D36E96C}\n"
                          "  \"Text\" sz 48 00 69 00\n"
                          "  \"100%0025 %0022quoted%0022 caf%00E9\" binary 01 FF\n"
                          "  \"\" dword 2A 00 00 00\n"
                          "  \"Empty\" none\n"
                          "  \"Odd\" 4096 00\n"
                          "\\Registry\\Machine\\{4D36E96C}\\alpha\n"
                          "\\Registry\\Machine\\{4D36E96C}\\Beta%0009tab\n"
                          "  \"List\" multi_sz 41 00 00 00 00 00\n");
        EXPECT_EQ(dumpRegistry(u"\\Registry\\Machine", KeyLines::Needed),
                  "\\Registry\\Machine\n" + needed.substr(needed.find("\\Registry\\Machine\\")));
    }
    Registry again;
    ASSERT_EQ(loadRegistry(needed), STATUS_SUCCESS);
    EXPECT_EQ(dumpRegistry(), sample);
}

// A key line levels deep below "\Registry".
std::string keyLevelsDeep(std::size_t levels) {
    std::string line = "\\Registry";
    for (std::size_t i = 0; i < levels; ++i) line += "\\k";
    return line + "\n";
}

TEST(RegistryText, WhatTheRegistryCannotHoldIsRefusedOrLeftOutByLine) {
    const std::string deepest = keyLevelsDeep(maxKeyDepth);
    const std::string longestKey = "\\Registry\\" + std::string(maxKeyNameChars, 'n') + "\n";
    const std::string longestValue = "  \"" + std::string(maxValueNameChars, 'v') + "\" none\n";
    const struct {
        std::string line;
        std::string fault;
        std::string leftOut;
    } cases[] = {
        {keyLevelsDeep(maxKeyDepth + 1), "a key deeper than 512 levels below \\Registry",
         "the key and its values are left out"},
        {"\\Registry\\" + std::string(maxKeyNameChars + 1, 'n') + "\\k\n",
         "a key name longer than 255 characters", "the key and its values are left out"},
        {"\\Registry\\Kept\n  \"" + std::string(maxValueNameChars + 1, 'v') + "\" none\n",
         "a value name longer than 16383 characters", "the value is left out"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        const std::string text =
            deepest + longestValue + longestKey + c.line + "  \"Under\" none\n\\Registry\\After\n";
        const std::string lineNumber = c.line.starts_with("\\Registry\\Kept") ? "5" : "4";
        Registry registry;
        ASSERT_EQ(loadRegistry("\\Registry\\Kept\n"), STATUS_SUCCESS);
        std::string error;
        EXPECT_EQ(loadRegistry(text, &error), STATUS_INVALID_PARAMETER);
        EXPECT_EQ(error, "line " + lineNumber + ": " + c.fault);
        EXPECT_EQ(dumpRegistry(), "\\Registry\n\\Registry\\Kept\n");

        std::vector<std::string> refused{"before"};
        ASSERT_EQ(loadRegistry(text, &error, &refused), STATUS_SUCCESS) << error;
        EXPECT_EQ(refused, (std::vector<std::string>{"before", "line " + lineNumber + ": " +
                                                                   c.fault + "; " + c.leftOut}));
        const bool keyLeftOut = c.leftOut.starts_with("the key");
        EXPECT_EQ(dumpRegistry(u"\\Registry", KeyLines::Needed),
                  "\\Registry\n\\Registry\\After\n" + deepest + longestValue +
                      "\\Registry\\Kept\n" + (keyLeftOut ? "" : "  \"Under\" none\n") + longestKey);
    }
}

struct BadText {
    const char* text;
    const char* error;
};

TEST(RegistryText, MalformedTextChangesNothing) {
    const BadText cases[] = {
        {"  \"v\" binary 01\n", "line 1: a value before any key"},
        {"\\Registry\\A\n\\Registry\\a\n", "line 2: a key listed twice"},
        {"\\Registry\\A\n  \"v\" binary 01\n  \"V\" binary 02\n",
         "line 3: a value listed twice in one key"},
        {"\\Other\\A\n", "line 1: a key path outside \\Registry"},
        {"\\Registry\\\\A\n", "line 1: a key name that is empty"},
        {"\\Registry\\A%005CB\n", "line 1: a key name that is empty"},
        {"\\Registry\\A%00\n", "line 1: % not followed by four hex digits"},
        {"\\Registry\\A%00G0\n", "line 1: % not followed by four hex digits"},
        {"\\Registry\\A\r\n", "line 1: a character outside printable ASCII"},
        {"\\Registry\\A\n\t\"v\" binary\n", "line 2: a character outside printable ASCII"},
        {"\\Registry\\A\n \"v\" binary\n", "line 2: neither a key path nor a value"},
        {"\\Registry\\A\n  \"v binary\n", "line 2: a value name without its closing quote"},
        {"\\Registry\\A\n  \"v\"binary\n", "line 2: no type after the value name"},
        {"\\Registry\\A\n  \"v\" text 01\n", "line 2: an unknown value type"},
        {"\\Registry\\A\n  \"v\" 99999999999\n", "line 2: an unknown value type"},
        {"\\Registry\\A\n  \"v\" binary 1\n", "line 2: data that is not"},
        {"\\Registry\\A\n  \"v\" binary 0G\n", "line 2: data that is not"},
        {"\\Registry\\A\n  \"v\" binary 01  02\n", "line 2: data that is not"},
        {"\\Registry\\A\n  \"v\" binary 01 \n", "line 2: data that is not"},
    };
    for (const BadText& c : cases) {
        SCOPED_TRACE(c.text);
        Registry registry;
        ASSERT_EQ(loadRegistry("\\Registry\\Kept\n"), STATUS_SUCCESS);
        std::string error;
        EXPECT_EQ(loadRegistry(c.text, &error), STATUS_INVALID_PARAMETER);
        EXPECT_TRUE(error.starts_with(c.error)) << error;
        EXPECT_EQ(dumpRegistry(), "\\Registry\n\\Registry\\Kept\n");
    }
}

TEST(RegistryText, ValueDataIsBoundedByWhatAValueHolds) {
    Registry registry;
    std::string text = "\\Registry\\A\n  \"v\" binary";
    for (std::uint32_t i = 0; i < maxValueDataBytes; ++i) text += " 5A";
    ASSERT_EQ(loadRegistry(text + "\n"), STATUS_SUCCESS);
    std::string error;
    EXPECT_EQ(loadRegistry(text + " 5A\n", &error), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(error, "line 2: more data than a value holds");
}

} // namespace
