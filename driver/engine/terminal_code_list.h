// The terminal codes a terminal allows (one to five) and the current one,
// which only a listed code can become. Terminal items and terminal-type
// selections both keep one.
#pragma once

#include "platform/kernel/status.h"

#include <algorithm>
#include <cstdint>

inline constexpr std::uint32_t MaxTerminalCodes = 5;

class CTerminalCodeList {
public:
    // The first code becomes current.
    kernel::NTSTATUS Store(std::uint32_t count, const std::uint32_t* codes) {
        if (codes == nullptr || count == 0 || count > MaxTerminalCodes)
            return kernel::STATUS_INVALID_PARAMETER;
        std::copy_n(codes, count, m_Codes);
        m_ulCount = count;
        m_ulCurrent = codes[0];
        return kernel::STATUS_SUCCESS;
    }

    // Refused for a code not listed (and so for an empty list).
    kernel::NTSTATUS Select(std::uint32_t code) {
        if (!Lists(code)) return kernel::STATUS_INVALID_PARAMETER;
        m_ulCurrent = code;
        return kernel::STATUS_SUCCESS;
    }

    // Refused when the room (in codes) is below the count.
    kernel::NTSTATUS Copy(std::uint32_t room, std::uint32_t* codes) const {
        if (codes == nullptr || room < m_ulCount) return kernel::STATUS_INVALID_PARAMETER;
        std::copy_n(m_Codes, m_ulCount, codes);
        return kernel::STATUS_SUCCESS;
    }

    std::uint32_t Count() const { return m_ulCount; }
    std::uint32_t Current() const { return m_ulCurrent; }
    bool Lists(std::uint32_t code) const {
        return std::find(m_Codes, m_Codes + m_ulCount, code) != m_Codes + m_ulCount;
    }
    // The code at the index; 0 past the list.
    std::uint32_t At(std::uint32_t index) const { return index < m_ulCount ? m_Codes[index] : 0; }

private:
    std::uint32_t m_Codes[MaxTerminalCodes] = {};
    std::uint32_t m_ulCount = 0;
    std::uint32_t m_ulCurrent = 0;
};
