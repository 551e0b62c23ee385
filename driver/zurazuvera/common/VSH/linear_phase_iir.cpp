#include "driver/zurazuvera/common/VSH/linear_phase_iir.h"

#include "driver/zurazuvera/common/VSH/vsh_assert.h"
#include "driver/zurazuvera/common/VSH/vsh_buffers.h"
#include "sigproc/sigproc.h"

#include <cstring>

int LinearPhaseIIR::Init(int factor) {
    if (!m_Buffers.IsValid()) m_Buffers = AllocateVshFloats(3 * BufferLength);
    if (!m_Buffers.IsValid()) return 0;
    std::memset(m_Buffers.Get(), 0, m_Buffers.Size());
    return SetFilter(factor);
}

int LinearPhaseIIR::SetFilter(int factor) {
    const int forward = m_Forward.Init(factor);
    const int backward = m_Backward.Init(factor);
    return forward && backward ? 1 : 0;
}

void LinearPhaseIIR::Free() {
    m_Forward.Free();
    m_Backward.Free();
    m_Buffers = CPoolBuffer();
}

void LinearPhaseIIR::Process(float* out, const float* in, int len) {
    if (len <= 0) return;
    if (!VSH_ASSERT(len <= MaxBlock) || !m_Buffers.IsValid()) {
        sigZero_32f(out, len);
        return;
    }
    float* x = m_Buffers.Get<float>();
    float* y = x + BufferLength;
    float* z = y + BufferLength;
    m_Forward.Process(x + LookAhead, in, len);
    sigFlip_32f(x, y, len + LookAhead);
    m_Backward.Process(z, y, len + LookAhead);
    sigFlip_32f(z + LookAhead, out, len);
    std::memmove(x, x + len, LookAhead * sizeof(float));
}
