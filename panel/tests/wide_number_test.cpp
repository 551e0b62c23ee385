#include "panel/wide_number.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

struct IntCase {
    const char16_t* text;
    int expected;
};

TEST(WideNumber, IntegersTakeTheLeadingNumber) {
    const IntCase cases[] = {
        {u"12abc", 12},
        {u"  -7", -7},
        {u"+3", 3},
        {u"abc", 0},
        {u"", 0},
        {u"\t 42 17", 42},
        {u"- 5", 0},
        {u"99999999999", INT_MAX},
        {u"-99999999999", INT_MIN},
        {u"-2147483648", INT_MIN},
    };
    for (const auto& c : cases) EXPECT_EQ(panel::_wtoi(c.text), c.expected);
}

struct ScalarCase {
    const char16_t* text;
    double expected;
};

TEST(WideNumber, ScalarsTakeTheLeadingNumberWithAPoint) {
    const ScalarCase cases[] = {
        {u"0.550000", 0.55}, {u" 0.996x", 0.996}, {u"1e2", 100.0}, {u"-0.5", -0.5}, {u"+.25", 0.25},
        {u"abc", 0.0},       {u"+-1", 0.0},       {u"1,5", 1.0},   {u"", 0.0},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(panel::_wtof(c.text), c.expected);
}

} // namespace
