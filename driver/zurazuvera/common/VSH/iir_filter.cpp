#include "driver/zurazuvera/common/VSH/iir_filter.h"

#include "driver/zurazuvera/common/VSH/vsh_buffers.h"
#include "sigproc/sigproc.h"

#include <algorithm>

namespace {

constexpr int SetLength = 2 * (IIRFilter::Order + 1);

// A symmetric cubic smoother for factor 1 and a third-order low-pass at a
// quarter of the stream rate for factor 2; both have a DC gain of one.
constexpr float FactorOneSet[SetLength] = {
    1.0f / 6.0f, 0.5f, 0.5f, 1.0f / 6.0f, 1.0f, -0.0f, 1.0f / 3.0f, -0.0f,
};
constexpr float FactorTwoSet[SetLength] = {
    0.063855924f, 0.19156778f, 0.19156778f, 0.063855924f,
    1.0f,         -0.9657797f, 0.58264416f, -0.10601705f,
};

} // namespace

const float* IIRFilter::Coefficients(int factor) {
    if (factor == 1) return FactorOneSet;
    if (factor == 2) return FactorTwoSet;
    return nullptr;
}

int IIRFilter::Init(int factor) {
    Free();
    const float* taps = Coefficients(factor);
    if (taps == nullptr) return 0;
    sigIirState* state = nullptr;
    m_nStatus = sigIirInitAlloc_32f(&state, taps, Order, nullptr);
    if (m_nStatus != sigOk) return 0;
    m_pState = state;
    return 1;
}

void IIRFilter::Free() {
    if (m_pState != nullptr) sigIirFree_32f(m_pState);
    m_pState = nullptr;
}

void IIRFilter::Process(float* out, const float* in, int len) {
    IIRFilter* self = this;
    ProcessChannels(&self, &out, &in, 1, len);
}

void IIRFilter::ProcessChannels(IIRFilter* const* filters, float* const* out,
                                const float* const* in, int count, int len) {
    if (len <= 0) return;
    for (int first = 0; first < count; first += MaxChannels) {
        const int chunk = std::min(count - first, MaxChannels);
        sigIirState* states[MaxChannels] = {};
        const float* sources[MaxChannels] = {};
        float* targets[MaxChannels] = {};
        int running = 0;
        for (int c = first; c < first + chunk; ++c) {
            if (filters[c]->m_pState == nullptr) {
                sigZero_32f(out[c], len);
                continue;
            }
            states[running] = filters[c]->m_pState;
            sources[running] = in[c];
            targets[running++] = out[c];
        }
        if (running == 0) continue;
        const int status = sigIirProcessChannels_32f(sources, targets, len, states, running);
        for (int c = first; c < first + chunk; ++c)
            if (filters[c]->m_pState != nullptr) filters[c]->m_nStatus = status;
        for (int k = 0; k < running; ++k) FlushSubnormals(targets[k], len);
    }
}
