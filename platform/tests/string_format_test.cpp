#include "platform/kernel/format.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/unicode_string.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace kernel;

TEST(UnicodeString, CountsBytesAndLeavesRoomForTheTerminator) {
    const UnicodeString s = makeUnicodeString(u"\\HXASIOPrivateInterface");
    EXPECT_EQ(s.length, 23 * 2);
    EXPECT_EQ(s.maximumLength, 24 * 2);
    EXPECT_EQ(s.view(), u"\\HXASIOPrivateInterface");
    EXPECT_EQ(makeUnicodeString(nullptr).length, 0);
}

TEST(UnicodeString, LongestTextFillsTheCountsAndLongerIsCut) {
    std::u16string text(32766, u'a');
    UnicodeString s = makeUnicodeString(text.c_str());
    EXPECT_EQ(s.length, 0xFFFC);
    EXPECT_EQ(s.maximumLength, 0xFFFE);

    text.append(100, u'b');
    s = makeUnicodeString(text.c_str());
    EXPECT_EQ(s.length, 0xFFFC);
    EXPECT_EQ(s.maximumLength, 0xFFFE);
}

TEST(UnicodeString, ComparesWithOrWithoutRegardToCase) {
    const UnicodeString name = makeUnicodeString(u"\\HXASIOPrivateInterface");
    const UnicodeString lower = makeUnicodeString(u"\\hxasioprivateinterface");
    const UnicodeString shorter = makeUnicodeString(u"\\HXASIO");
    EXPECT_TRUE(equalUnicodeStrings(name, lower, true));
    EXPECT_FALSE(equalUnicodeStrings(name, lower, false));
    EXPECT_FALSE(equalUnicodeStrings(name, shorter, true));
    EXPECT_GT(compareUnicodeStrings(name, shorter, true), 0);
    EXPECT_LT(compareUnicodeStrings(makeUnicodeString(u"abc"), makeUnicodeString(u"ABD"), true), 0);
    EXPECT_TRUE(equalUnicodeStrings(makeUnicodeString(u"\u00e9t\u00e9"),
                                    makeUnicodeString(u"\u00c9T\u00c9"), true));
}

TEST(UnicodeString, UpcasesIntoItsOwnBufferOrANewOne) {
    char16_t text[] = u"usb\\vid_0b05&pid_17f3";
    UnicodeString id = makeUnicodeString(text);
    ASSERT_EQ(upcaseUnicodeString(id, id, false), STATUS_SUCCESS);
    EXPECT_EQ(id.view(), u"USB\\VID_0B05&PID_17F3");

    UnicodeString copy;
    ASSERT_EQ(upcaseUnicodeString(copy, makeUnicodeString(u"mixed\u00ff"), true), STATUS_SUCCESS);
    EXPECT_EQ(copy.view(), u"MIXED\u0178");
    freeUnicodeString(copy);

    char16_t small[2];
    UnicodeString tooSmall{0, sizeof small, small};
    EXPECT_EQ(upcaseUnicodeString(tooSmall, makeUnicodeString(u"abc"), false),
              STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(tooSmall.length, 0);
}

TEST(UnicodeString, DuplicatesIntoAPoolBufferWithATerminatingZero) {
    UnicodeString copy;
    ASSERT_EQ(duplicateUnicodeString(copy, makeUnicodeString(u"\\??\\USB#Link")), STATUS_SUCCESS);
    EXPECT_EQ(copy.view(), u"\\??\\USB#Link");
    EXPECT_EQ(copy.maximumLength, copy.length + 2);
    EXPECT_EQ(copy.buffer[copy.length / 2], u'\0');
    freeUnicodeString(copy);

    std::u16string longest(0x7FFF, u'x'); // its zero would not fit the counts
    const UnicodeString full{0xFFFE, 0xFFFE, longest.data()};
    EXPECT_EQ(duplicateUnicodeString(copy, full), STATUS_INVALID_PARAMETER);
    failPoolTag(poolTag("KStr"));
    EXPECT_EQ(duplicateUnicodeString(copy, makeUnicodeString(u"x")), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(copy.buffer, nullptr);
}

TEST(UnicodeString, ConvertsToAnsi) {
    AnsiString ansi;
    ASSERT_EQ(unicodeToAnsiString(ansi, makeUnicodeString(u"Headset \u00e9\u4e2d"), true),
              STATUS_SUCCESS);
    EXPECT_EQ(ansi.view(), "Headset \xe9?");
    EXPECT_EQ(ansi.buffer[ansi.length], '\0');
    EXPECT_EQ(poolLiveBlocks(poolTag("KStr")), 1u);
    freeAnsiString(ansi);

    char room[4];
    AnsiString fixed{0, sizeof room, room};
    EXPECT_EQ(unicodeToAnsiString(fixed, makeUnicodeString(u"abcd"), false),
              STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(unicodeToAnsiString(fixed, makeUnicodeString(u"abc"), false), STATUS_SUCCESS);
    EXPECT_STREQ(room, "abc");

    failPoolTag(poolTag("KStr"));
    AnsiString refused;
    EXPECT_EQ(unicodeToAnsiString(refused, makeUnicodeString(u"x"), true),
              STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(refused.buffer, nullptr);
}

TEST(UnicodeString, BoundedLengthNeedsTheTerminatorWithinTheBound) {
    std::size_t length = 99;
    EXPECT_EQ(boundedLength(u"Headset", 8, &length), STATUS_SUCCESS);
    EXPECT_EQ(length, 7u);
    EXPECT_EQ(boundedLength(u"Headset", 7, &length), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(boundedLength(static_cast<const char*>(nullptr), 7, &length),
              STATUS_INVALID_PARAMETER);
}

TEST(Format, EndpointAndSettingNames) {
    char16_t wide[51];
    EXPECT_EQ(formatString(wide, 51, u"%sOut%02d", u"SPK", 0), STATUS_SUCCESS);
    EXPECT_EQ(std::u16string(wide), u"SPKOut00");
    EXPECT_EQ(formatString(wide, 51, u"%sIn%02d", "Mic", 7),
              STATUS_SUCCESS); // either width of text
    EXPECT_EQ(std::u16string(wide), u"MicIn07");

    char narrow[50];
    EXPECT_EQ(formatString(narrow, 50, "%s%02d_%2d_", "Unit", 5, 3), STATUS_SUCCESS);
    EXPECT_STREQ(narrow, "Unit05_ 3_"); // %2d pads with a blank
    EXPECT_EQ(formatString(narrow, 50, "%s%d", "Unit", 3), STATUS_SUCCESS);
    EXPECT_STREQ(narrow, "Unit3");
    EXPECT_EQ(formatString(narrow, 32, "%ws_%02d ch", u"HPOut00", 12), STATUS_SUCCESS);
    EXPECT_STREQ(narrow, "HPOut00_12 ch");
}

TEST(Format, PointersAndHex) {
    char16_t name[49];
    const void* address = reinterpret_cast<const void*>(std::uintptr_t{0xCAFE1234});
    EXPECT_EQ(formatString(name, 49, u"\\Callback\\AudioHalAddr%p", address), STATUS_SUCCESS);
    EXPECT_EQ(std::u16string(name), u"\\Callback\\AudioHalAddr00000000CAFE1234");

    char text[40];
    EXPECT_EQ(
        formatString(text, 40, "Error_ErrorOccur ntStatus = %x\n", STATUS_DEVICE_NOT_CONNECTED),
        STATUS_SUCCESS);
    EXPECT_STREQ(text, "Error_ErrorOccur ntStatus = c000009d\n");
    EXPECT_EQ(
        formatString(text, 40, "%d %u %X %-4d| %05d %c%%", -3, 4000000000u, 0xABCu, 7, -42, 'Z'),
        STATUS_SUCCESS);
    EXPECT_STREQ(text, "-3 4000000000 ABC 7   | -0042 Z%");
    EXPECT_EQ(formatString(text, 40, "%s", static_cast<const char*>(nullptr)), STATUS_SUCCESS);
    EXPECT_STREQ(text, "(null)");
}

TEST(Format, OutputIsCutToTheBufferAndTerminated) {
    char text[6];
    EXPECT_EQ(formatString(text, sizeof text, "%sOut%02d", "Speakerphone", 1),
              STATUS_BUFFER_OVERFLOW);
    EXPECT_STREQ(text, "Speak");
    EXPECT_EQ(formatString(text, 0, "x"), STATUS_INVALID_PARAMETER);
}

TEST(Format, AFieldWiderThanTheBufferIsCutLikeAnyOtherOutput) {
    char text[8];
    EXPECT_EQ(formatString(text, sizeof text, "%04000000000d", 5), STATUS_BUFFER_OVERFLOW);
    EXPECT_STREQ(text, "0000000");
    // 2^64 + 3: the width does not wrap round to a field of three.
    EXPECT_EQ(formatString(text, sizeof text, "%-18446744073709551619d|", 5),
              STATUS_BUFFER_OVERFLOW);
    EXPECT_STREQ(text, "5      ");
}

TEST(Format, ConversionsThatDoNotFitTheirArgumentsAreRefused) {
    char text[20] = "unchanged";
    EXPECT_EQ(formatString(text, sizeof text, "%d", "text"), STATUS_INVALID_PARAMETER);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(formatString(text, sizeof text, "%s", 5), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(formatString(text, sizeof text, "%d %d", 5),
              STATUS_INVALID_PARAMETER); // missing argument
    EXPECT_EQ(formatString(text, sizeof text, "%q", 5), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(formatString(text, sizeof text, "100%"), STATUS_INVALID_PARAMETER);
}

} // namespace
