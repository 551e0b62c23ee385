// A device's answers taken from a fuzzer's input. Each answer is a control
// byte and its bytes: 0xFF fails the request; any other value n returns
// min(n, asked) bytes, taken from the input (zeros where it ends). Once the
// input is used up the device answers as a well-behaved one would, which
// the caller decides (Exhausted).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

class CFuzzAnswers {
public:
    static constexpr std::uint8_t Fail = 0xFF;

    explicit CFuzzAnswers(std::span<const std::uint8_t> bytes) : m_Bytes(bytes) {}

    bool Exhausted() const { return m_At >= m_Bytes.size(); }

    // The next byte of the input, 0 past its end.
    std::uint8_t Byte() { return m_At < m_Bytes.size() ? m_Bytes[m_At++] : 0; }

    // What is left of the input.
    std::span<const std::uint8_t> Rest() const {
        return m_Bytes.subspan(std::min(m_At, m_Bytes.size()));
    }

    // Answers a request for `asked` bytes into `buffer`: false when the
    // request fails, else true with *moved the bytes returned.
    bool Answer(void* buffer, std::uint32_t asked, std::uint32_t* moved) {
        const std::uint8_t control = Byte();
        *moved = 0;
        if (control == Fail) return false;
        *moved = std::min<std::uint32_t>(control, asked);
        if (*moved == 0) return true;
        auto* out = static_cast<std::uint8_t*>(buffer);
        const std::size_t available = std::min<std::size_t>(*moved, m_Bytes.size() - m_At);
        if (available != 0) std::memcpy(out, m_Bytes.data() + m_At, available);
        std::memset(out + available, 0, *moved - available);
        m_At += available;
        return true;
    }

private:
    std::span<const std::uint8_t> m_Bytes;
    std::size_t m_At = 0;
};
