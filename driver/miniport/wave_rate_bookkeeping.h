// Bytes of the device's running format turned into bytes of a stream's own
// format when the two rates differ, in whole milliseconds, with integer
// arithmetic only: each side's bytes per millisecond and its remainder per
// second, the remainders carried modulo 1000, so that a second of device
// bytes always gives exactly a second of stream bytes.
#pragma once

#include <cstdint>

class CRateBookkeeping {
public:
    // Both sides anew from their bytes per second; nothing carried.
    void SetStream(std::uint32_t bytesPerSecond) {
        m_ulStreamPerMs = bytesPerSecond / 1000;
        m_ulStreamRemainder = bytesPerSecond % 1000;
        m_ulStreamCarry = 0;
    }
    void SetDevice(std::uint32_t bytesPerSecond) {
        m_ulDevicePerMs = bytesPerSecond / 1000;
        m_ulDeviceRemainder = bytesPerSecond % 1000;
        m_ulDeviceCarry = 0;
        m_llAccumulator = 0;
    }

    // The stream bytes of the whole milliseconds the device bytes complete;
    // what is left over waits for the next call. The device's remainder
    // bytes are taken off the accumulator as they fall due, which may leave
    // it below 0.
    std::uint32_t ToStreamBytes(std::uint32_t deviceBytes) {
        if (m_ulDevicePerMs == 0) return 0;
        m_llAccumulator += deviceBytes;
        const std::int64_t perMs = m_ulDevicePerMs;
        const std::int64_t ms = m_llAccumulator > 0 ? m_llAccumulator / perMs : 0;
        const std::uint64_t deviceCarried =
            m_ulDeviceCarry + static_cast<std::uint64_t>(ms) * m_ulDeviceRemainder;
        if (m_llAccumulator > 0) m_llAccumulator %= perMs;
        m_llAccumulator -= static_cast<std::int64_t>(deviceCarried / 1000);
        m_ulDeviceCarry = static_cast<std::uint32_t>(deviceCarried % 1000);
        const std::uint64_t streamCarried =
            m_ulStreamCarry + static_cast<std::uint64_t>(ms) * m_ulStreamRemainder;
        m_ulStreamCarry = static_cast<std::uint32_t>(streamCarried % 1000);
        return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms) * m_ulStreamPerMs +
                                          streamCarried / 1000);
    }

private:
    std::uint32_t m_ulStreamPerMs = 0;
    std::uint32_t m_ulStreamRemainder = 0;
    std::uint32_t m_ulStreamCarry = 0;
    std::uint32_t m_ulDevicePerMs = 0;
    std::uint32_t m_ulDeviceRemainder = 0;
    std::uint32_t m_ulDeviceCarry = 0;
    std::int64_t m_llAccumulator = 0;
};
