// A device model's chip registers as a stream engine writes them: the
// engine tells the chip what the stream now carries. The model owns the
// registers and outlives its engines.
#pragma once

#include "platform/kernel/status.h"

#include <cstdint>

class IChipRegisters {
public:
    // Writes the value's bits under the mask into the register.
    virtual kernel::NTSTATUS WriteRegister(std::uint32_t index, std::uint16_t value,
                                           std::uint16_t mask) = 0;

protected:
    ~IChipRegisters() = default;
};
