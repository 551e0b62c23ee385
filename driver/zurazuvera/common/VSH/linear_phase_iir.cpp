#include "driver/zurazuvera/common/VSH/linear_phase_iir.h"

#include "driver/zurazuvera/common/VSH/vsh_assert.h"
#include "driver/zurazuvera/common/VSH/vsh_buffers.h"
#include "sigproc/sigproc.h"

#include <algorithm>
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
    LinearPhaseIIR* self = this;
    ProcessChannels(&self, &out, &in, 1, len);
}

void LinearPhaseIIR::ProcessChannels(LinearPhaseIIR* const* filters, float* const* out,
                                     const float* const* in, int count, int len) {
    if (len <= 0) return;
    for (int first = 0; first < count; first += MaxChannels)
        ProcessChunk(filters + first, out + first, in + first, std::min(count - first, MaxChannels),
                     len);
}

void LinearPhaseIIR::ProcessChunk(LinearPhaseIIR* const* filters, float* const* out,
                                  const float* const* in, int count, int len) {
    IIRFilter* forward[MaxChannels] = {};
    IIRFilter* backward[MaxChannels] = {};
    const float* sources[MaxChannels] = {};
    float* targets[MaxChannels] = {};
    float* x[MaxChannels] = {};
    float* y[MaxChannels] = {};
    float* z[MaxChannels] = {};
    float* ahead[MaxChannels] = {};
    int running = 0;
    for (int c = 0; c < count; ++c) {
        LinearPhaseIIR& filter = *filters[c];
        if (!VSH_ASSERT(len <= MaxBlock) || !filter.m_Buffers.IsValid()) {
            sigZero_32f(out[c], len);
            continue;
        }
        forward[running] = &filter.m_Forward;
        backward[running] = &filter.m_Backward;
        sources[running] = in[c];
        targets[running] = out[c];
        x[running] = filter.m_Buffers.Get<float>();
        y[running] = x[running] + BufferLength;
        z[running] = y[running] + BufferLength;
        ahead[running] = x[running] + LookAhead;
        ++running;
    }
    if (running == 0) return;
    IIRFilter::ProcessChannels(forward, ahead, sources, running, len);
    for (int k = 0; k < running; ++k) sigFlip_32f(x[k], y[k], len + LookAhead);
    IIRFilter::ProcessChannels(backward, z, y, running, len + LookAhead);
    for (int k = 0; k < running; ++k) {
        sigFlip_32f(z[k] + LookAhead, targets[k], len);
        std::memmove(x[k], x[k] + len, LookAhead * sizeof(float));
    }
}
