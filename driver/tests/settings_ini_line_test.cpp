#include "driver/adapter/settings_ini_line.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct LineCase {
    std::string line;
    bool parses;
    std::string key;
    std::vector<std::uint8_t> data;
    bool text;
};

std::vector<std::uint8_t> Utf16(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    for (const char c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c));
        bytes.push_back(0);
    }
    return bytes;
}

void ExpectLine(const LineCase& c, bool bNumbersOnly = false) {
    SCOPED_TRACE(c.line);
    CIniValueLine value;
    ASSERT_EQ(ParseIniValueLine(c.line.data(), c.line.size(), bNumbersOnly, value), c.parses);
    if (!c.parses) return;
    EXPECT_EQ(std::u16string(value.szKey), std::u16string(c.key.begin(), c.key.end()));
    EXPECT_EQ(std::vector<std::uint8_t>(value.Data, value.Data + value.ulDataLength), c.data);
    EXPECT_EQ(value.bText, c.text);
}

void ExpectNoParse(const std::string& line, bool bNumbersOnly = false) {
    ExpectLine({line, false, {}, {}, false}, bNumbersOnly);
}

TEST(IniValueLine, TokensBecomeBytesNumbersOrText) {
    const LineCase cases[] = {
        {"Gain = 0x10 0x20\r", true, "Gain", {0x10, 0x20}, false},
        {"Delay=300\r", true, "Delay", {0x2C, 0x01, 0x00, 0x00}, false},
        {"PinName=Headset\r", true, "PinName", Utf16("Headset"), true},
        {"Name=caf\xE9\r", true, "Name", {'c', 0, 'a', 0, 'f', 0, 0xE9, 0}, true},
        {"Mask=0X0a\r", true, "Mask", {0x0A}, false},
        {"Wide=0x123\r", true, "Wide", {0x23, 0x01, 0x00, 0x00}, false},
        {"Zero=0x\r", true, "Zero", {0, 0, 0, 0}, false},
        {"Max=4294967295\r", true, "Max", {0xFF, 0xFF, 0xFF, 0xFF}, false},
        {"HexMax=0xFFFFFFFF\r", true, "HexMax", {0xFF, 0xFF, 0xFF, 0xFF}, false},
        {"Wraps=4294967296\r", true, "Wraps", {0, 0, 0, 0}, false},
        {"Key junk = 1\r", true, "Key", {1, 0, 0, 0}, false},
        {"List=1,2\r", true, "List", {1, 0, 0, 0, 2, 0, 0, 0}, false},
        {"   Mix\t= \t0x01 ,\t7 ; a comment 0x02\r", true, "Mix", {1, 7, 0, 0, 0}, false},
        {"Tail=0x05,\r", true, "Tail", {5}, false},
        {"NoCr=9", true, "NoCr", {9, 0, 0, 0}, false},
        {"Sep=0x01;0x02\r", true, "Sep", {1}, false},
    };
    for (const LineCase& c : cases) ExpectLine(c);
}

TEST(IniValueLine, LinesThatAreNotValuesDoNotParse) {
    const char* const lines[] = {"\r",
                                 "",
                                 "   \r",
                                 "; comment\r",
                                 "  ;x=1\r",
                                 "=1\r",
                                 "\tKey=1\r",
                                 "Key\r",
                                 "Key 0x01\r",
                                 "Key=\r",
                                 "Key= ,;\r",
                                 "Key=12a\r",
                                 "Key=0xZZ\r",
                                 "Key=0x1G\r",
                                 "Key=Head set\r",
                                 "Key=1 Head\r",
                                 "Key=Head 1\r",
                                 "Key=0x01 Text\r"};
    for (const char* line : lines) ExpectNoParse(line);
}

TEST(IniValueLine, KeysTokensAndValuesHaveTheirLongestLength) {
    const std::string key127(127, 'k');
    const std::string token79(79, 't');
    ExpectLine({key127 + "=1\r", true, key127, {1, 0, 0, 0}, false});
    ExpectNoParse(key127 + "k=1\r");
    ExpectLine({"K=" + token79 + "\r", true, "K", Utf16(token79), true});
    ExpectNoParse("K=" + token79 + "t\r");
    ExpectLine({"K=" + std::string(78, '0') + "7\r", true, "K", {7, 0, 0, 0}, false});

    std::string line = "Big=";
    std::vector<std::uint8_t> data;
    for (int i = 0; i < 1024; ++i) {
        line += "0x5A,";
        data.push_back(0x5A);
    }
    ExpectLine({line + "\r", true, "Big", data, false});
    ExpectNoParse(line + "0x5A\r");
    ExpectLine({"Big=" + std::string(256 * 4, ' ') + "1\r", true, "Big", {1, 0, 0, 0}, false});
}

TEST(IniValueLine, TheVersionSectionTakesShortNumbersOnly) {
    CIniValueLine value;
    const char line[] = "v=0x07 300\r";
    ASSERT_TRUE(ParseIniValueLine(line, sizeof line - 1, true, value));
    EXPECT_EQ(value.ulFirstValue, 7u);
    ExpectLine({"v=Text 5\r", true, "v", {0, 0, 0, 0, 5, 0, 0, 0}, false}, true);
    ExpectLine({"v=4294967295\r", true, "v", {0xFF, 0xFF, 0xFF, 0xFF}, false}, true);
    ExpectLine({"v=0x0000FFFFFFFF\r", true, "v", {0xFF, 0xFF, 0xFF, 0xFF}, false}, true);
    ExpectLine({"v=" + std::string(17, '0') + "12\r", true, "v", {12, 0, 0, 0}, false}, true);
    // A number beyond 32 bits never wraps here: the line does not parse, and says why.
    const struct {
        std::string line;
        bool tooLarge;
    } refused[] = {
        {"v=4294967296\r", true},
        {"v=0x100000000\r", true},
        {"v=" + std::string(19, '1') + "\r", true},
        {"v=1 0x1FFFFFFFF\r", true},
        {"v=" + std::string(18, '0') + "12\r", false}, // too long a token
        {"v=12x\r", false},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.line);
        EXPECT_FALSE(ParseIniValueLine(c.line.data(), c.line.size(), true, value));
        EXPECT_EQ(value.bNumberTooLarge, c.tooLarge);
    }
    // Value lines keep the format's wrap: 4294967297 is 1.
    ExpectLine({"v=4294967297\r", true, "v", {1, 0, 0, 0}, false});
}

TEST(IniValueLine, NoScanGoesPastTheLineLength) {
    // What follows the length must not be read as part of the line.
    const char buffer[] = "Key=0x10,0x20\r";
    CIniValueLine value;
    ASSERT_TRUE(ParseIniValueLine(buffer, 8, false, value));
    EXPECT_EQ(value.ulDataLength, 1u);
    EXPECT_FALSE(ParseIniValueLine(buffer, 3, false, value)); // "Key" without "="
    char16_t subkey16[INI_MAX_SUBKEY_CHARS + 1];
    EXPECT_FALSE(MatchIniDeviceHeader("[DEV:Mixer]", 9, "DEV", subkey16));
    EXPECT_FALSE(IsIniSectionHeader("[DEV]", 4, "DEV"));
    char section[INI_MAX_SECTION_CHARS + 1];
    ASSERT_TRUE(ParseIniMappingLine("USB\\X=SECTION", 9, "USB\\X", section));
    EXPECT_STREQ(section, "SEC");
}

TEST(IniHeader, DeviceHeadersMayNameASubkey) {
    char16_t subkey[INI_MAX_SUBKEY_CHARS + 1];
    const struct {
        std::string line;
        bool matches;
        std::u16string subkey;
    } cases[] = {
        {"[DEV]\r", true, u""},
        {"[DEV] ; values under Settings\r", true, u""},
        {"[DEV:Mixer]\r", true, u"Mixer"},
        {"[DEV:" + std::string(79, 's') + "]\r", true, std::u16string(79, u's')},
        {"[DEV:" + std::string(80, 's') + "]\r", false, u""},
        {"[DEV:]\r", false, u""},
        {"[DEV:Mixer\r", false, u""},
        {"[DEVICE]\r", false, u""},
        {"[dev]\r", false, u""},
        {"DEV]\r", false, u""},
        {std::string("[DEV:a\0b]\r", 10), false, u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(MatchIniDeviceHeader(c.line.data(), c.line.size(), "DEV", subkey), c.matches);
        if (c.matches) {
            EXPECT_EQ(std::u16string(subkey), c.subkey);
        }
    }
    // Only the first 128 characters are looked at for the closing bracket.
    const std::string name(49, 'N');
    const std::string near = "[" + name + ":" + std::string(76, 's') + "]\r";
    const std::string far = "[" + name + ":" + std::string(77, 's') + "]\r";
    EXPECT_TRUE(MatchIniDeviceHeader(near.data(), near.size(), name.c_str(), subkey));
    EXPECT_FALSE(MatchIniDeviceHeader(far.data(), far.size(), name.c_str(), subkey));
}

TEST(IniMapping, TheWholeIdThenAnEqualsSign) {
    const char* const id = "USB\\VID_0B05&PID_17F3";
    char section[INI_MAX_SECTION_CHARS + 1];
    const struct {
        std::string line;
        const char* section; // null: no match
    } cases[] = {
        {"USB\\VID_0B05&PID_17F3=SEC_A\r", "SEC_A"},
        {"usb\\vid_0b05&pid_17f3 \t= \tSEC_A ; comment\r", "SEC_A"},
        {"USB\\VID_0B05&PID_17F3=SEC_A\tmore\r", "SEC_A"},
        {"USB\\VID_0B05&PID_17F3&REV_0100=SEC_B\r", nullptr},
        {"USB\\VID_0B05&PID_17F3 SEC_A\r", nullptr},
        {"USB\\VID_0B05&PID_17F3=\r", nullptr},
        {"USB\\VID_0B05&PID_17F=SEC_A\r", nullptr},
        {"USB\\VID_0B05&PID_17F3=" + std::string(49, 'S') + "\r",
         "SSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSS"},
        {"USB\\VID_0B05&PID_17F3=" + std::string(50, 'S') + "\r", nullptr},
        {std::string("USB\\VID_0B05&PID_17F3=A\0B\r", 26), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const bool matches = ParseIniMappingLine(c.line.data(), c.line.size(), id, section);
        EXPECT_EQ(matches, c.section != nullptr);
        if (matches && c.section != nullptr) {
            EXPECT_STREQ(section, c.section);
        }
    }
    EXPECT_FALSE(ParseIniMappingLine("=SEC\r", 5, "", section)); // no id, no match
}

} // namespace
