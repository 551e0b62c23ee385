#include "platform/kernel/guid.h"
#include "platform/kernel/status.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace kernel;

TEST(Status, SeverityComesFromTheTopTwoBits) {
    EXPECT_TRUE(succeeded(STATUS_SUCCESS));
    EXPECT_TRUE(succeeded(STATUS_PENDING));
    EXPECT_TRUE(succeeded(STATUS_TIMEOUT)); // a wait that timed out did not fail
    EXPECT_FALSE(isWarning(STATUS_TIMEOUT));

    EXPECT_FALSE(succeeded(STATUS_BUFFER_OVERFLOW));
    EXPECT_TRUE(isWarning(STATUS_BUFFER_OVERFLOW));
    EXPECT_FALSE(isError(STATUS_BUFFER_OVERFLOW));

    for (NTSTATUS error :
         {STATUS_UNSUCCESSFUL, STATUS_INVALID_PARAMETER, STATUS_INSUFFICIENT_RESOURCES,
          STATUS_NO_MATCH, STATUS_MORE_PROCESSING_REQUIRED}) {
        EXPECT_FALSE(succeeded(error));
        EXPECT_TRUE(isError(error));
        EXPECT_FALSE(isWarning(error));
    }
    EXPECT_TRUE(isInformational(statusFromBits(0x40000000)));
}

TEST(Status, NamedValuesAreTheSystemsCodes) {
    EXPECT_EQ(static_cast<std::uint32_t>(STATUS_INVALID_PARAMETER), 0xC000000Du);
    EXPECT_EQ(static_cast<std::uint32_t>(STATUS_INSUFFICIENT_RESOURCES), 0xC000009Au);
    EXPECT_EQ(static_cast<std::uint32_t>(STATUS_UNSUCCESSFUL), 0xC0000001u);
    EXPECT_EQ(static_cast<std::uint32_t>(STATUS_BUFFER_OVERFLOW), 0x80000005u);
    EXPECT_EQ(static_cast<std::uint32_t>(STATUS_DEVICE_NOT_CONNECTED), 0xC000009Du);
    EXPECT_LT(STATUS_UNSUCCESSFUL, 0); // signed 32-bit
}

TEST(Guid, ParsesTheBracedTextIntoTheByteExactLayout) {
    constexpr Guid id = makeGuid("{200AFF7F-71A4-4FFC-BF4F-61F2B8A522B5}");
    static_assert(id.data1 == 0x200AFF7F && id.data2 == 0x71A4 && id.data3 == 0x4FFC);
    static_assert(id.data4[0] == 0xBF && id.data4[7] == 0xB5);

    const unsigned char expected[16] = {0x7F, 0xFF, 0x0A, 0x20, 0xA4, 0x71, 0xFC, 0x4F,
                                        0xBF, 0x4F, 0x61, 0xF2, 0xB8, 0xA5, 0x22, 0xB5};
    EXPECT_EQ(std::memcmp(&id, expected, 16), 0);
    EXPECT_EQ(parseGuid("{200aff7f-71a4-4ffc-bf4f-61f2b8a522b5}"), id); // either case
}

TEST(Guid, RefusesMalformedText) {
    for (const char* text : {
             "200AFF7F-71A4-4FFC-BF4F-61F2B8A522B5",    // no braces
             "{200AFF7F-71A4-4FFC-BF4F-61F2B8A522B}",   // short
             "{200AFF7F-71A4-4FFC-BF4F-61F2B8A522B55}", // long
             "{200AFF7F_71A4-4FFC-BF4F-61F2B8A522B5}",  // separator
             "{200AFF7G-71A4-4FFC-BF4F-61F2B8A522B5}",  // digit
             "{200AFF7F-71A4-4FFC-BF4F-61F2B8A5 2B5}",  // blank
         })
        EXPECT_FALSE(parseGuid(text).has_value()) << text;
}

} // namespace
