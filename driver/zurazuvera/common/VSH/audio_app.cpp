#include "driver/zurazuvera/common/VSH/audio_app.h"

#include "driver/zurazuvera/common/VSH/rate_factor.h"
#include "driver/zurazuvera/common/VSH/vsh_assert.h"
#include "driver/zurazuvera/common/VSH/vsh_buffers.h"
#include "sigproc/sigproc.h"

#include <algorithm>
#include <cstring>

namespace {

// The converters' filter: the linear-phase IIR.
constexpr int SrcFilterKind = 1;

// Copies plane i where the source has it and the pointers differ, zeroes
// destination planes beyond the source count.
void CopyPlanes(float* const* dst, int nDst, float* const* src, int nSrc, int len) {
    for (int i = 0; i < nDst; ++i) {
        if (i >= nSrc) {
            sigZero_32f(dst[i], len);
        } else if (dst[i] != src[i]) {
            sigCopy_32f(src[i], dst[i], len);
        }
    }
}

} // namespace

AudioApp::AudioApp(int nInCh, int nOutCh, float gain)
    : m_nInCh(nInCh), m_nOutCh(nOutCh), m_fGain(gain) {}

void AudioApp::ProcessBlock(float* const*, int, float* const*, int, int) {}

void AudioApp::Reset() {}

int AudioApp::SetFormat(int sampleRate, int nInCh, int nOutCh) {
    m_nSampleRate = sampleRate;
    m_nInCh = nInCh;
    m_nOutCh = nOutCh;
    const int built = Setup();
    Reset();
    return built;
}

int AudioApp::Setup() {
    FreeAll();
    RateFactor rate;
    if (!ComputeRateFactor(m_nSampleRate, InnerRate, &rate)) return 0;
    if (m_nInCh < 1 || m_nInCh > MaxChannels || m_nOutCh < 1 || m_nOutCh > m_nInCh) return 0;
    m_nSrcMode = rate.mode;
    m_nSrcFactor = rate.factor;
    m_nRealDataLen = m_nSrcMode == 1    ? m_nSrcFactor * DataLen
                     : m_nSrcMode == -1 ? DataLen / m_nSrcFactor
                                        : DataLen;
    if (!VSH_ASSERT((DataLen % m_nSrcFactor) == 0) ||
        !VSH_ASSERT(m_nRealDataLen <= EachChannelSampleCntMax))
        return 0;
    for (int c = 0; c < MaxChannels; ++c) {
        const bool in = c < m_nInCh;
        if (in) m_InBlocks[c] = AllocateVshFloats(m_nRealDataLen);
        if (c < m_nOutCh) m_OutBlocks[c] = AllocateVshFloats(m_nRealDataLen);
        if (!in) continue;
        m_InnerIn[c] = AllocateVshFloats(DataLen);
        m_InnerOut[c] = AllocateVshFloats(DataLen);
        const bool converter =
            m_nSrcMode == 0 || m_Converters[c].Init(m_nSampleRate, InnerRate, SrcFilterKind);
        if (!converter || !m_InBlocks[c].IsValid() || !m_InnerIn[c].IsValid() ||
            !m_InnerOut[c].IsValid() || (c < m_nOutCh && !m_OutBlocks[c].IsValid())) {
            FreeAll();
            return 0;
        }
        m_InnerInPlanes[c] = m_InnerIn[c].Get<float>();
        m_InnerOutPlanes[c] = m_InnerOut[c].Get<float>();
    }
    m_nPos = 0;
    m_bReady = true;
    return 1;
}

void AudioApp::FreeAll() {
    for (int c = 0; c < MaxChannels; ++c) {
        m_InBlocks[c] = CPoolBuffer();
        m_OutBlocks[c] = CPoolBuffer();
        m_Converters[c].Free();
        m_InnerIn[c] = CPoolBuffer();
        m_InnerOut[c] = CPoolBuffer();
        m_InnerInPlanes[c] = nullptr;
        m_InnerOutPlanes[c] = nullptr;
    }
    m_nPos = 0;
    m_bReady = false;
}

void AudioApp::Process(float* const* out, int nOutCh, float* const* in, int nInCh, int frames) {
    if (!m_bReady || frames <= 0 || out == nullptr || in == nullptr) return;
    nInCh = std::clamp(nInCh, 0, m_nInCh);
    nOutCh = std::clamp(nOutCh, 0, m_nOutCh);
    m_nCallInCh = nInCh;
    m_nCallOutCh = nOutCh;
    const float offset = m_fGain * 1e-10f;
    for (int done = 0; done < frames;) {
        const int chunk = std::min(frames - done, m_nRealDataLen - m_nPos);
        for (int c = 0; c < nInCh; ++c) {
            float* block = InBlock(c) + m_nPos;
            if (in[c] == nullptr) {
                sigSet_32f(offset, block, chunk);
                continue;
            }
            for (int j = 0; j < chunk; ++j) block[j] = in[c][done + j] + offset;
        }
        for (int c = 0; c < nOutCh; ++c)
            std::memcpy(out[c] + done, OutBlock(c) + m_nPos, chunk * sizeof(float));
        done += chunk;
        m_nPos += chunk;
        if (m_nPos == m_nRealDataLen) {
            RunBlock();
            m_nPos = 0;
        }
    }
}

void AudioApp::RunBlock() {
    const int nIn = m_nCallInCh;
    const int nOut = m_nCallOutCh;
    SRC* converters[MaxChannels] = {};
    float* inBlocks[MaxChannels] = {};
    float* outBlocks[MaxChannels] = {};
    for (int c = 0; c < MaxChannels; ++c) {
        converters[c] = &m_Converters[c];
        inBlocks[c] = InBlock(c);
        outBlocks[c] = OutBlock(c);
    }
    if (m_nSrcMode == -1)
        SRC::UpChannels(converters, m_InnerInPlanes, inBlocks, nIn, m_nRealDataLen);
    if (m_nSrcMode == 1)
        SRC::DownChannels(converters, m_InnerInPlanes, inBlocks, nIn, m_nRealDataLen);
    if (m_nSrcMode == 0) CopyPlanes(m_InnerInPlanes, nIn, inBlocks, nIn, DataLen);
    ProcessBlock(m_InnerOutPlanes, nOut, m_InnerInPlanes, nIn, DataLen);
    if (m_nSrcMode == -1) SRC::DownChannels(converters, outBlocks, m_InnerOutPlanes, nOut, DataLen);
    if (m_nSrcMode == 1) SRC::UpChannels(converters, outBlocks, m_InnerOutPlanes, nOut, DataLen);
    if (m_nSrcMode == 0) CopyPlanes(outBlocks, nOut, m_InnerOutPlanes, nOut, DataLen);
}
