// The N3W8 chip's six control registers and the model's cache of them. The
// chip takes whole 16-bit writes only, so a masked write merges into the
// cached value; property handlers, the worker, power changes and the stream
// engines all write, and one lock over merge, send and cache keeps a bit one
// caller set from being lost to another's merge.
#pragma once

#include "driver/common/mutex_lock.h"
#include "driver/usbstream/chip_registers.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unknown.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <span>

inline constexpr std::uint32_t N3W8RegisterCount = 6;
inline constexpr std::size_t N3W8InputReportBytes = 3;
// Settle time of the chip's reset bits (register 5) before they are raised.
inline constexpr std::chrono::milliseconds N3W8ResetSettleTime{1};

class CN3W8Registers final : public IChipRegisters {
public:
    struct Entry {
        std::uint16_t value = 0;
        std::uint16_t flags = 0;
    };
    static constexpr std::uint16_t Unwritten = 0x1;      // cleared by a write
    static constexpr std::uint16_t RestoreAtReset = 0x2; // written back by ResetRegisters

    // `device` answers IUsbDevice; it must outlive the registers.
    explicit CN3W8Registers(kernel::IUnknown* device);

    // The power-on values, before anything was sent.
    void Load(const std::array<Entry, N3W8RegisterCount>& entries);

    // Mask 0 sends nothing; 0xFFFF sends the value; any other mask merges the
    // value's masked bits into the cached ones. STATUS_UNSUCCESSFUL for an
    // index past the last register; the cache changes only when the chip
    // took the write.
    kernel::NTSTATUS WriteRegister(std::uint32_t index, std::uint16_t value,
                                   std::uint16_t mask) override;
    kernel::NTSTATUS ReadRegister(std::uint32_t index, std::uint16_t* value);
    Entry GetEntry(std::uint32_t index);

    // The chip's 3-byte input report (its state bits in the first byte); a
    // failed read, or an answer without a byte, is a failure.
    kernel::NTSTATUS ReadInputReport(std::span<std::uint8_t, N3W8InputReportBytes> report);

    // Pulses the reset bits of register 5, then writes back every register
    // marked for it; the first failure ends it.
    kernel::NTSTATUS ResetRegisters();

private:
    kernel::NTSTATUS SendRegister(std::uint32_t index, std::uint16_t value);
    // A class request to the register interface; *transferred (when given)
    // gets the bytes the device moved.
    kernel::NTSTATUS SendReportRequest(bool in, std::uint8_t request, std::uint16_t value,
                                       std::span<std::uint8_t> report, std::uint32_t* transferred);

    kernel::IUnknown* m_pDevice;
    CMutexLock m_Lock;
    std::array<Entry, N3W8RegisterCount> m_Cache{};
};
