#include "driver/effects/float_pass.h"

#include "platform/kernel/debug_print.h"

#include <xmmintrin.h>

CFloatPass::CFloatPass() {
    if (!kernel::succeeded(kernel::saveFloatingPointState(m_Save))) {
        kernel::debugPrint("Save FPU error\n");
        return;
    }
    m_CallerControl = _mm_getcsr();
    _mm_setcsr((m_CallerControl | FlushToZero) & ~RoundingControl);
}

CFloatPass::~CFloatPass() {
    if (!Active()) return;
    _mm_setcsr(m_CallerControl);
    kernel::restoreFloatingPointState(m_Save);
}
