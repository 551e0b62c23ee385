// Counted strings of the kernel: UTF-16 text (char16_t) with its length and
// the room of its buffer, both in bytes, without a terminating zero of their
// own; and the 8-bit form for text that leaves the driver as ANSI.
#pragma once

#include "platform/kernel/status.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kernel {

struct UnicodeString {
    std::uint16_t length = 0;        // bytes of text
    std::uint16_t maximumLength = 0; // bytes of room
    char16_t* buffer = nullptr;

    std::u16string_view view() const { return {buffer, static_cast<std::size_t>(length / 2)}; }
};

struct AnsiString {
    std::uint16_t length = 0;
    std::uint16_t maximumLength = 0;
    char* buffer = nullptr;

    std::string_view view() const { return {buffer, length}; }
};

// Describes a zero-terminated text in place (the terminator counts in the
// room). Text longer than a counted string can carry is cut to 32766 characters.
UnicodeString makeUnicodeString(const char16_t* text);
AnsiString makeAnsiString(const char* text);

// The length in characters of a zero-terminated text that must end within
// maxChars; STATUS_INVALID_PARAMETER when it does not (or text is null).
NTSTATUS boundedLength(const char16_t* text, std::size_t maxChars, std::size_t* length);
NTSTATUS boundedLength(const char* text, std::size_t maxChars, std::size_t* length);

// Upper case of a character (ASCII and Latin-1 letters).
char16_t upcaseChar(char16_t c);
// Whether two texts are the same without regard to case (upcaseChar).
bool equalTextIgnoringCase(std::u16string_view a, std::u16string_view b);

// <0, 0, >0 like a dictionary; optionally without regard to case.
int compareUnicodeStrings(const UnicodeString& a, const UnicodeString& b, bool caseInsensitive);
bool equalUnicodeStrings(const UnicodeString& a, const UnicodeString& b, bool caseInsensitive);

// Copies src into dest's buffer, cut to its room.
void copyUnicodeString(UnicodeString& dest, const UnicodeString& src);

// Copies src into a pool buffer with a terminating zero after the text (give
// it back with freeUnicodeString). STATUS_INVALID_PARAMETER when the text and
// its zero do not fit a counted string. Below dispatch level.
NTSTATUS duplicateUnicodeString(UnicodeString& dest, const UnicodeString& src);

// Upper-cases src into dest. With allocate, dest gets a pool buffer (give it
// back with freeUnicodeString); otherwise dest's room must hold the text
// (STATUS_BUFFER_OVERFLOW, nothing written). dest may be src.
NTSTATUS upcaseUnicodeString(UnicodeString& dest, const UnicodeString& src, bool allocate);
void freeUnicodeString(UnicodeString& string);

// Converts to 8-bit text, terminated with a zero: Latin-1 characters keep
// their code, others become '?'. With allocate, dest gets a pool buffer (give
// it back with freeAnsiString); otherwise dest's room must hold the text and
// its terminator (STATUS_BUFFER_OVERFLOW, nothing written).
NTSTATUS unicodeToAnsiString(AnsiString& dest, const UnicodeString& src, bool allocate);
void freeAnsiString(AnsiString& string);

} // namespace kernel
