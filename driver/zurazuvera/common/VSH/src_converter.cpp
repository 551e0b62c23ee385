#include "driver/zurazuvera/common/VSH/src_converter.h"

#include "driver/zurazuvera/common/VSH/rate_factor.h"
#include "driver/zurazuvera/common/VSH/vsh_assert.h"
#include "driver/zurazuvera/common/VSH/vsh_buffers.h"
#include "sigproc/sigproc.h"

int SRC::Init(int streamRate, int innerRate, int filterKind) {
    Free();
    RateFactor rate;
    if (!ComputeRateFactor(streamRate, innerRate, &rate)) return 0;
    m_nSrcMode = rate.mode;
    m_nSrcFactor = rate.factor;
    m_nFilterKind = filterKind;
    m_nPhase = 0;
    int built = 1;
    if (filterKind == 1) {
        built = m_LinearDown.Init(m_nSrcFactor) && m_LinearUp.Init(m_nSrcFactor);
    } else {
        built = m_PlainDown.Init(m_nSrcFactor) && m_PlainUp.Init(m_nSrcFactor);
    }
    if (built) m_Work = AllocateVshFloats(WorkLength);
    if (!built || !m_Work.IsValid()) {
        Free();
        return 0;
    }
    m_bReady = true;
    return 1;
}

void SRC::Free() {
    m_LinearDown.Free();
    m_LinearUp.Free();
    m_PlainDown.Free();
    m_PlainUp.Free();
    m_Work = CPoolBuffer();
    m_bReady = false;
}

void SRC::Filter(bool down, float* out, const float* in, int len) {
    if (m_nFilterKind == 1) {
        (down ? m_LinearDown : m_LinearUp).Process(out, in, len);
    } else {
        (down ? m_PlainDown : m_PlainUp).Process(out, in, len);
    }
}

void SRC::Down(float* out, const float* in, int len) {
    if (len <= 0) return;
    const int outLen = len / m_nSrcFactor;
    const bool whole = VSH_ASSERT((len % m_nSrcFactor) == 0);
    const bool fits = VSH_ASSERT(len <= WorkLength);
    if (!m_bReady || !whole || !fits) {
        if (outLen > 0) sigZero_32f(out, outLen);
        return;
    }
    float* work = m_Work.Get<float>();
    Filter(true, work, in, len);
    sigSampleDown_32f(work, len, out, &m_nSampleCount, m_nSrcFactor, &m_nPhase);
}

void SRC::Up(float* out, const float* in, int len) {
    if (len <= 0) return;
    const int outLen = len * m_nSrcFactor;
    if (!m_bReady || !VSH_ASSERT(outLen <= WorkLength)) {
        sigZero_32f(out, outLen);
        return;
    }
    float* work = m_Work.Get<float>();
    sigZero_32f(work, outLen);
    sigSampleUp_32f(in, len, work, &m_nSampleCount, m_nSrcFactor, &m_nPhase);
    Filter(false, out, work, outLen);
    sigMulConstInPlace_32f(static_cast<float>(m_nSrcFactor), out, outLen);
}
