// The floating-point state of one pass of DSP work: the caller's state is
// saved, the vector unit is set to flush denormal results to zero and to
// round to nearest for the pass, and both are given back when the scope ends.
// When the kernel cannot save the state the pass must not run: Active() is
// false and nothing is changed or restored.
#pragma once

#include "platform/kernel/floating_state.h"

#include <cstdint>

class CFloatPass {
public:
    CFloatPass();
    ~CFloatPass();
    CFloatPass(const CFloatPass&) = delete;
    CFloatPass& operator=(const CFloatPass&) = delete;

    bool Active() const { return m_Save.saved; }

    // The control and status register of the vector unit.
    static constexpr std::uint32_t FlushToZero = 0x8000;
    static constexpr std::uint32_t RoundingControl = 0x6000; // 0 = to nearest

private:
    kernel::FloatingSave m_Save;
    std::uint32_t m_CallerControl = 0;
};
