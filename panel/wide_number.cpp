#include "panel/wide_number.h"

#include <charconv>
#include <climits>
#include <string>

namespace panel {

namespace {

bool isBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

const char16_t* skipBlanks(const char16_t* text) {
    while (isBlank(*text)) ++text;
    return text;
}

// The ASCII run that can belong to a number; the parse decides how much does.
std::string numberChars(const char16_t* text) {
    std::string out;
    for (; *text > 0 && *text < 0x80; ++text) {
        const char c = static_cast<char>(*text);
        const bool part = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                          (c >= 'A' && c <= 'Z') || c == '.' || c == '+' || c == '-';
        if (!part) break;
        out += c;
    }
    return out;
}

} // namespace

int _wtoi(const char16_t* text) {
    text = skipBlanks(text);
    bool negative = false;
    if (*text == u'+' || *text == u'-') negative = *text++ == u'-';
    long long value = 0;
    for (; *text >= u'0' && *text <= u'9'; ++text) {
        value = value * 10 + (*text - u'0');
        if (value > static_cast<long long>(INT_MAX) + 1) break;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

double _wtof(const char16_t* text) {
    text = skipBlanks(text);
    const std::string chars = numberChars(text);
    std::size_t start = 0;
    bool negative = false;
    if (!chars.empty() && (chars[0] == '+' || chars[0] == '-')) {
        negative = chars[0] == '-';
        start = 1;
    }
    if (start < chars.size() && (chars[start] == '+' || chars[start] == '-')) return 0;
    double value = 0;
    const auto parsed = std::from_chars(chars.data() + start, chars.data() + chars.size(), value);
    if (parsed.ec == std::errc::invalid_argument) return 0;
    return negative ? -value : value;
}

} // namespace panel
