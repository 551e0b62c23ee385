// The lines of the settings INI file, one at a time. Every scan stops at the
// line's length, so a line cut at the reader's limit (which has no CR LF) is
// read only as far as it goes. A line ends at CR; a line feed is an ordinary
// character, so a file with bare line feeds reads as one long line.
//
// Value line: blanks, a key, optional blanks or TABs, "=", then tokens
// separated by blanks, TABs or commas, up to CR or ";" (the rest is a
// comment). A token is
// - a byte: exactly "0x" or "0X" and two hex digits;
// - a number when it starts with a digit: decimal, or hex after "0x" ("0x"
//   alone is 0), wrapping modulo 2^32, stored as 4 bytes little-endian; in
//   the version section a token that does not start with a digit is 0, and
//   a number that does not fit 32 bits does not parse (it never wraps);
// - text otherwise, stored as 16-bit characters without a terminating zero.
// A value is one text token, or bytes and numbers; it holds at most 1024
// bytes. A line does not parse when it is blank, a comment, has no key or
// no "=" after the key, no token, a key over 127 characters, a token
// over 79 characters (19 in the version section), a number with another
// character, text mixed with other tokens, or a value over
// 1024 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t INI_MAX_KEY_CHARS = 127;
inline constexpr std::size_t INI_MAX_TOKEN_CHARS = 79;
inline constexpr std::size_t INI_MAX_VERSION_TOKEN_CHARS = 19;
inline constexpr std::size_t INI_MAX_VALUE_BYTES = 1024;
inline constexpr std::size_t INI_MAX_SECTION_CHARS = 49;
inline constexpr std::size_t INI_MAX_SUBKEY_CHARS = 79;
inline constexpr std::size_t INI_HEADER_SCAN_CHARS = 128;

struct CIniValueLine {
    char16_t szKey[INI_MAX_KEY_CHARS + 1];
    std::uint8_t Data[INI_MAX_VALUE_BYTES];
    std::uint32_t ulDataLength;
    bool bText;                 // a text value, stored as REG_SZ
    std::uint32_t ulFirstValue; // of the first token: the byte or the number
    bool bNumberTooLarge;       // the version section's line failed on a number over 32 bits
};

// bNumbersOnly: the version section's rules (no text, shorter tokens).
bool ParseIniValueLine(const char* pLine, std::size_t cbLine, bool bNumbersOnly,
                       CIniValueLine& value);

// True when the line starts with "[" + name + "]".
bool IsIniSectionHeader(const char* pLine, std::size_t cbLine, const char* pszName);

// A header of a device section: "[" + name + "]" (szSubkey empty) or
// "[" + name + ":" + subkey + "]" within the first 128 characters, with a
// subkey of 1 to 79 characters (as 16-bit characters in szSubkey).
bool MatchIniDeviceHeader(const char* pLine, std::size_t cbLine, const char* pszName,
                          char16_t (&szSubkey)[INI_MAX_SUBKEY_CHARS + 1]);

// A mapping line of the device: its hardware id (compared without regard to
// case), optional blanks or TABs, "=", optional blanks or TABs, then the
// section name up to a TAB, CR, blank, ";" or the end: 1 to 49 characters.
bool ParseIniMappingLine(const char* pLine, std::size_t cbLine, const char* pszHardwareId,
                         char (&szSection)[INI_MAX_SECTION_CHARS + 1]);
