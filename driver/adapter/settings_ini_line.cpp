#include "driver/adapter/settings_ini_line.h"

#include <cstdint>
#include <cstring>

namespace {

// strchr finds the terminating zero too; a zero byte in a line is never a
// separator.
bool IsIn(char c, const char* pszChars) { return c != '\0' && std::strchr(pszChars, c) != nullptr; }

// Names (keys, sections, subkeys) become zero-terminated strings, so a zero
// byte inside one would name something else.
bool HasZero(const char* p, std::size_t cb) { return std::memchr(p, '\0', cb) != nullptr; }

// A view of one line that never reads past its length.
class CLineCursor {
public:
    CLineCursor(const char* pLine, std::size_t cbLine) : m_pLine(pLine), m_cbLine(cbLine) {}

    bool AtEnd() const { return m_Pos >= m_cbLine; }
    char Peek() const { return AtEnd() ? '\r' : m_pLine[m_Pos]; } // the end reads as CR
    std::size_t Pos() const { return m_Pos; }
    const char* At(std::size_t pos) const { return m_pLine + pos; }
    void Advance() { ++m_Pos; }
    void Skip(const char* pszChars) {
        while (!AtEnd() && IsIn(m_pLine[m_Pos], pszChars)) ++m_Pos;
    }
    void SkipUntil(const char* pszStops) {
        while (!AtEnd() && !IsIn(m_pLine[m_Pos], pszStops)) ++m_Pos;
    }

private:
    const char* m_pLine;
    std::size_t m_cbLine;
    std::size_t m_Pos = 0;
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsHexPrefix(const char* p, std::size_t cb) {
    return cb >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
}

enum class NumberToken { Fits, Wrapped, NotANumber };

// A number token: decimal, or hex after the prefix ("0x" alone is 0); the
// value wraps modulo 2^32 as the format defines, and the result says whether
// it did. NotANumber for any character that is not a digit of the token's base.
NumberToken ParseNumber(const char* p, std::size_t cb, std::uint32_t& value) {
    const bool hex = IsHexPrefix(p, cb);
    const unsigned base = hex ? 16 : 10;
    std::uint32_t total = 0;
    std::uint64_t exact = 0; // up to the first digit that leaves 32 bits
    bool fits = true;
    for (std::size_t i = hex ? 2 : 0; i < cb; ++i) {
        const int digit = HexDigit(p[i]);
        if (digit < 0 || static_cast<unsigned>(digit) >= base) return NumberToken::NotANumber;
        total = total * base + static_cast<unsigned>(digit);
        if (fits) {
            exact = exact * base + static_cast<unsigned>(digit);
            fits = exact <= UINT32_MAX;
        }
    }
    value = total;
    return fits ? NumberToken::Fits : NumberToken::Wrapped;
}

bool Append(CIniValueLine& value, const void* pData, std::size_t cb) {
    if (value.ulDataLength + cb > INI_MAX_VALUE_BYTES) return false;
    std::memcpy(value.Data + value.ulDataLength, pData, cb);
    value.ulDataLength += static_cast<std::uint32_t>(cb);
    return true;
}

// Converts one token and appends it; false when the line must not parse.
bool AppendToken(const char* p, std::size_t cb, bool bNumbersOnly, bool bFirst,
                 CIniValueLine& value) {
    std::uint32_t number = 0;
    if (cb == 4 && IsHexPrefix(p, cb) && HexDigit(p[2]) >= 0 && HexDigit(p[3]) >= 0) {
        const auto byte = static_cast<std::uint8_t>(HexDigit(p[2]) * 16 + HexDigit(p[3]));
        if (bFirst) value.ulFirstValue = byte;
        return !value.bText && Append(value, &byte, 1);
    }
    // In the version section a token that does not start with a digit is the number 0.
    const bool number0 = bNumbersOnly && !(p[0] >= '0' && p[0] <= '9');
    if (number0 || (p[0] >= '0' && p[0] <= '9')) {
        if (!number0) {
            const NumberToken parsed = ParseNumber(p, cb, number);
            if (parsed == NumberToken::NotANumber) return false;
            if (parsed == NumberToken::Wrapped && bNumbersOnly) {
                value.bNumberTooLarge = true;
                return false;
            }
        }
        if (bFirst) value.ulFirstValue = number;
        const std::uint8_t bytes[4] = {
            static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
            static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)};
        return !value.bText && Append(value, bytes, sizeof bytes);
    }
    if (!bFirst) return false; // text stands alone
    value.bText = true;
    for (std::size_t i = 0; i < cb; ++i) {
        const char16_t c = static_cast<unsigned char>(p[i]);
        const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(c),
                                       static_cast<std::uint8_t>(c >> 8)};
        if (!Append(value, bytes, sizeof bytes)) return false;
    }
    return true;
}

} // namespace

bool ParseIniValueLine(const char* pLine, std::size_t cbLine, bool bNumbersOnly,
                       CIniValueLine& value) {
    value.ulDataLength = 0;
    value.bText = false;
    value.ulFirstValue = 0;
    value.bNumberTooLarge = false;
    CLineCursor cursor(pLine, cbLine);
    cursor.Skip(" ");
    if (cursor.Peek() == '\r' || cursor.Peek() == ';') return false;

    const std::size_t keyStart = cursor.Pos();
    cursor.SkipUntil("\t =\r");
    const std::size_t keyChars = cursor.Pos() - keyStart;
    if (keyChars == 0 || keyChars > INI_MAX_KEY_CHARS || HasZero(cursor.At(keyStart), keyChars))
        return false;
    for (std::size_t i = 0; i < keyChars; ++i)
        value.szKey[i] = static_cast<unsigned char>(*cursor.At(keyStart + i));
    value.szKey[keyChars] = u'\0';

    cursor.SkipUntil("=\r"); // whatever stands between the key and "=" is passed over
    if (cursor.Peek() != '=') return false;
    cursor.Advance();

    const std::size_t maxToken = bNumbersOnly ? INI_MAX_VERSION_TOKEN_CHARS : INI_MAX_TOKEN_CHARS;
    bool bFirst = true;
    for (;;) {
        cursor.Skip(" \t,");
        if (cursor.Peek() == '\r' || cursor.Peek() == ';') break;
        const std::size_t tokenStart = cursor.Pos();
        cursor.SkipUntil("\t\r ;,");
        const std::size_t tokenChars = cursor.Pos() - tokenStart;
        if (tokenChars > maxToken ||
            !AppendToken(cursor.At(tokenStart), tokenChars, bNumbersOnly, bFirst, value))
            return false;
        bFirst = false;
    }
    return !bFirst;
}

bool IsIniSectionHeader(const char* pLine, std::size_t cbLine, const char* pszName) {
    const std::size_t nameChars = std::strlen(pszName);
    return cbLine >= nameChars + 2 && pLine[0] == '[' &&
           std::memcmp(pLine + 1, pszName, nameChars) == 0 && pLine[nameChars + 1] == ']';
}

bool MatchIniDeviceHeader(const char* pLine, std::size_t cbLine, const char* pszName,
                          char16_t (&szSubkey)[INI_MAX_SUBKEY_CHARS + 1]) {
    szSubkey[0] = u'\0';
    if (IsIniSectionHeader(pLine, cbLine, pszName)) return true;
    const std::size_t nameChars = std::strlen(pszName);
    const std::size_t scanned = cbLine < INI_HEADER_SCAN_CHARS ? cbLine : INI_HEADER_SCAN_CHARS;
    if (scanned < nameChars + 2 || pLine[0] != '[' ||
        std::memcmp(pLine + 1, pszName, nameChars) != 0 || pLine[nameChars + 1] != ':')
        return false;
    const std::size_t subkeyStart = nameChars + 2;
    const void* pClose = std::memchr(pLine + subkeyStart, ']', scanned - subkeyStart);
    if (pClose == nullptr) return false;
    const std::size_t subkeyChars = static_cast<const char*>(pClose) - (pLine + subkeyStart);
    if (subkeyChars == 0 || subkeyChars > INI_MAX_SUBKEY_CHARS ||
        HasZero(pLine + subkeyStart, subkeyChars))
        return false;
    for (std::size_t i = 0; i < subkeyChars; ++i)
        szSubkey[i] = static_cast<unsigned char>(pLine[subkeyStart + i]);
    szSubkey[subkeyChars] = u'\0';
    return true;
}

bool ParseIniMappingLine(const char* pLine, std::size_t cbLine, const char* pszHardwareId,
                         char (&szSection)[INI_MAX_SECTION_CHARS + 1]) {
    const std::size_t idChars = std::strlen(pszHardwareId);
    if (idChars == 0 || cbLine < idChars) return false;
    for (std::size_t i = 0; i < idChars; ++i) {
        char c = pLine[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != pszHardwareId[i]) return false;
    }
    CLineCursor cursor(pLine + idChars, cbLine - idChars);
    cursor.Skip(" \t");
    if (cursor.Peek() != '=') return false;
    cursor.Advance();
    cursor.Skip(" \t");
    const std::size_t nameStart = cursor.Pos();
    cursor.SkipUntil("\t\r ;");
    const std::size_t nameChars = cursor.Pos() - nameStart;
    if (nameChars == 0 || nameChars > INI_MAX_SECTION_CHARS ||
        HasZero(cursor.At(nameStart), nameChars))
        return false;
    std::memcpy(szSection, cursor.At(nameStart), nameChars);
    szSection[nameChars] = '\0';
    return true;
}
