#include "platform/kernel/unicode_string.h"

#include "platform/kernel/pool.h"

#include <algorithm>
#include <cstring>

namespace kernel {
namespace {

constexpr PoolTag stringTag = poolTag("KStr");
constexpr std::size_t maxUnicodeChars = 0x7FFE; // keeps the terminator's room within 16 bits

} // namespace

UnicodeString makeUnicodeString(const char16_t* text) {
    UnicodeString string;
    if (text == nullptr) return string;
    std::size_t chars = 0;
    while (text[chars] != u'\0' && chars < maxUnicodeChars) ++chars;
    string.buffer = const_cast<char16_t*>(text);
    string.length = static_cast<std::uint16_t>(chars * 2);
    string.maximumLength = static_cast<std::uint16_t>(chars * 2 + 2);
    return string;
}

AnsiString makeAnsiString(const char* text) {
    AnsiString string;
    if (text == nullptr) return string;
    std::size_t chars = 0;
    while (text[chars] != '\0' && chars < 0xFFFE) ++chars;
    string.buffer = const_cast<char*>(text);
    string.length = static_cast<std::uint16_t>(chars);
    string.maximumLength = static_cast<std::uint16_t>(chars + 1);
    return string;
}

template <class Char>
static NTSTATUS measureBounded(const Char* text, std::size_t maxChars, std::size_t* length) {
    if (text == nullptr || length == nullptr) return STATUS_INVALID_PARAMETER;
    for (std::size_t i = 0; i < maxChars; ++i)
        if (text[i] == Char{0}) {
            *length = i;
            return STATUS_SUCCESS;
        }
    *length = 0;
    return STATUS_INVALID_PARAMETER;
}

NTSTATUS boundedLength(const char16_t* text, std::size_t maxChars, std::size_t* length) {
    return measureBounded(text, maxChars, length);
}

NTSTATUS boundedLength(const char* text, std::size_t maxChars, std::size_t* length) {
    return measureBounded(text, maxChars, length);
}

char16_t upcaseChar(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
    // Latin-1 small letters, but not the division sign; y with diaeresis has its capital elsewhere.
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
    if (c == 0xFF) return 0x178;
    return c;
}

bool equalTextIgnoringCase(std::u16string_view a, std::u16string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char16_t x, char16_t y) { return upcaseChar(x) == upcaseChar(y); });
}

int compareUnicodeStrings(const UnicodeString& a, const UnicodeString& b, bool caseInsensitive) {
    const std::u16string_view left = a.view();
    const std::u16string_view right = b.view();
    const std::size_t common = std::min(left.size(), right.size());
    for (std::size_t i = 0; i < common; ++i) {
        char16_t x = left[i];
        char16_t y = right[i];
        if (caseInsensitive) {
            x = upcaseChar(x);
            y = upcaseChar(y);
        }
        if (x != y) return x < y ? -1 : 1;
    }
    if (left.size() == right.size()) return 0;
    return left.size() < right.size() ? -1 : 1;
}

bool equalUnicodeStrings(const UnicodeString& a, const UnicodeString& b, bool caseInsensitive) {
    return a.length == b.length && compareUnicodeStrings(a, b, caseInsensitive) == 0;
}

void copyUnicodeString(UnicodeString& dest, const UnicodeString& src) {
    const std::uint16_t bytes = std::min<std::uint16_t>(src.length, dest.maximumLength & ~1u);
    if (bytes != 0) std::memmove(dest.buffer, src.buffer, bytes);
    dest.length = bytes;
}

NTSTATUS duplicateUnicodeString(UnicodeString& dest, const UnicodeString& src) {
    const std::size_t bytes = src.length & ~1u;
    if (bytes + sizeof(char16_t) > UINT16_MAX) return STATUS_INVALID_PARAMETER;
    auto* target =
        static_cast<char16_t*>(allocatePool(PoolType::Paged, bytes + sizeof(char16_t), stringTag));
    if (target == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
    if (bytes != 0) std::memcpy(target, src.buffer, bytes);
    target[bytes / 2] = u'\0';
    dest = {static_cast<std::uint16_t>(bytes), static_cast<std::uint16_t>(bytes + sizeof(char16_t)),
            target};
    return STATUS_SUCCESS;
}

NTSTATUS upcaseUnicodeString(UnicodeString& dest, const UnicodeString& src, bool allocate) {
    const std::uint16_t bytes = src.length;
    char16_t* target = dest.buffer;
    if (allocate) {
        target = static_cast<char16_t*>(
            allocatePool(PoolType::Paged, std::max<std::size_t>(bytes, 2), stringTag));
        if (target == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
    } else if (dest.maximumLength < bytes) {
        return STATUS_BUFFER_OVERFLOW;
    }
    for (std::size_t i = 0; i < bytes / 2u; ++i) target[i] = upcaseChar(src.buffer[i]);
    if (allocate) {
        dest.buffer = target;
        dest.maximumLength = bytes;
    }
    dest.length = bytes;
    return STATUS_SUCCESS;
}

void freeUnicodeString(UnicodeString& string) {
    if (string.buffer != nullptr) freePoolWithTag(string.buffer, stringTag);
    string = UnicodeString{};
}

NTSTATUS unicodeToAnsiString(AnsiString& dest, const UnicodeString& src, bool allocate) {
    const std::size_t chars = src.length / 2u;
    char* target = dest.buffer;
    if (allocate) {
        target = static_cast<char*>(allocatePool(PoolType::Paged, chars + 1, stringTag));
        if (target == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
    } else if (dest.maximumLength < chars + 1) {
        return STATUS_BUFFER_OVERFLOW;
    }
    for (std::size_t i = 0; i < chars; ++i) {
        const char16_t c = src.buffer[i];
        target[i] = c < 0x100 ? static_cast<char>(c) : '?';
    }
    target[chars] = '\0';
    if (allocate) {
        dest.buffer = target;
        dest.maximumLength = static_cast<std::uint16_t>(chars + 1);
    }
    dest.length = static_cast<std::uint16_t>(chars);
    return STATUS_SUCCESS;
}

void freeAnsiString(AnsiString& string) {
    if (string.buffer != nullptr) freePoolWithTag(string.buffer, stringTag);
    string = AnsiString{};
}

} // namespace kernel
