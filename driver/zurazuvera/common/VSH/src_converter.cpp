#include "driver/zurazuvera/common/VSH/src_converter.h"

#include "driver/zurazuvera/common/VSH/rate_factor.h"
#include "driver/zurazuvera/common/VSH/vsh_assert.h"
#include "driver/zurazuvera/common/VSH/vsh_buffers.h"
#include "sigproc/sigproc.h"

#include <algorithm>

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

void SRC::FilterChannels(bool down, SRC* const* converters, float* const* out,
                         const float* const* in, int count, int len) {
    LinearPhaseIIR* linear[MaxChannels] = {};
    float* linearOut[MaxChannels] = {};
    const float* linearIn[MaxChannels] = {};
    IIRFilter* plain[MaxChannels] = {};
    float* plainOut[MaxChannels] = {};
    const float* plainIn[MaxChannels] = {};
    int linearCount = 0;
    int plainCount = 0;
    for (int c = 0; c < count; ++c) {
        SRC& converter = *converters[c];
        if (converter.m_nFilterKind == 1) {
            linear[linearCount] = down ? &converter.m_LinearDown : &converter.m_LinearUp;
            linearOut[linearCount] = out[c];
            linearIn[linearCount++] = in[c];
        } else {
            plain[plainCount] = down ? &converter.m_PlainDown : &converter.m_PlainUp;
            plainOut[plainCount] = out[c];
            plainIn[plainCount++] = in[c];
        }
    }
    LinearPhaseIIR::ProcessChannels(linear, linearOut, linearIn, linearCount, len);
    IIRFilter::ProcessChannels(plain, plainOut, plainIn, plainCount, len);
}

void SRC::Down(float* out, const float* in, int len) {
    SRC* self = this;
    DownChannels(&self, &out, &in, 1, len);
}

void SRC::Up(float* out, const float* in, int len) {
    SRC* self = this;
    UpChannels(&self, &out, &in, 1, len);
}

void SRC::DownChannels(SRC* const* converters, float* const* out, const float* const* in, int count,
                       int len) {
    if (len <= 0) return;
    for (int first = 0; first < count; first += MaxChannels)
        DownChunk(converters + first, out + first, in + first, std::min(count - first, MaxChannels),
                  len);
}

void SRC::UpChannels(SRC* const* converters, float* const* out, const float* const* in, int count,
                     int len) {
    if (len <= 0) return;
    // Converters of one factor share a chunk: their filters run the same length.
    for (int first = 0; first < count;) {
        int last = first + 1;
        while (last < count && last - first < MaxChannels &&
               converters[last]->m_nSrcFactor == converters[first]->m_nSrcFactor)
            ++last;
        UpChunk(converters + first, out + first, in + first, last - first, len);
        first = last;
    }
}

void SRC::DownChunk(SRC* const* converters, float* const* out, const float* const* in, int count,
                    int len) {
    SRC* running[MaxChannels] = {};
    float* work[MaxChannels] = {};
    float* targets[MaxChannels] = {};
    const float* sources[MaxChannels] = {};
    int n = 0;
    for (int c = 0; c < count; ++c) {
        SRC& converter = *converters[c];
        const int outLen = len / converter.m_nSrcFactor;
        const bool whole = VSH_ASSERT((len % converter.m_nSrcFactor) == 0);
        const bool fits = VSH_ASSERT(len <= WorkLength);
        if (!converter.m_bReady || !whole || !fits) {
            if (outLen > 0) sigZero_32f(out[c], outLen);
            continue;
        }
        running[n] = &converter;
        work[n] = converter.m_Work.Get<float>();
        targets[n] = out[c];
        sources[n++] = in[c];
    }
    FilterChannels(true, running, work, sources, n, len);
    for (int k = 0; k < n; ++k) {
        SRC& converter = *running[k];
        sigSampleDown_32f(work[k], len, targets[k], &converter.m_nSampleCount,
                          converter.m_nSrcFactor, &converter.m_nPhase);
    }
}

void SRC::UpChunk(SRC* const* converters, float* const* out, const float* const* in, int count,
                  int len) {
    SRC* running[MaxChannels] = {};
    float* work[MaxChannels] = {};
    float* targets[MaxChannels] = {};
    int n = 0;
    for (int c = 0; c < count; ++c) {
        SRC& converter = *converters[c];
        const int outLen = len * converter.m_nSrcFactor;
        if (!converter.m_bReady || !VSH_ASSERT(outLen <= WorkLength)) {
            sigZero_32f(out[c], outLen);
            continue;
        }
        float* line = converter.m_Work.Get<float>();
        sigZero_32f(line, outLen);
        sigSampleUp_32f(in[c], len, line, &converter.m_nSampleCount, converter.m_nSrcFactor,
                        &converter.m_nPhase);
        running[n] = &converter;
        work[n] = line;
        targets[n++] = out[c];
    }
    if (n == 0) return;
    const int factor = running[0]->m_nSrcFactor;
    FilterChannels(false, running, targets, work, n, len * factor);
    for (int k = 0; k < n; ++k)
        sigMulConstInPlace_32f(static_cast<float>(factor), targets[k], len * factor);
}
