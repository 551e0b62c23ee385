// The sample-rate converter between a stream rate and the internal rate of
// the block process, by an integer factor: Down filters and keeps every
// factor-th sample, Up inserts factor - 1 zeros after each sample, filters
// and restores the level. The filter is a LinearPhaseIIR (kind 1) or a plain
// IIR (kind 0).
#pragma once

#include "driver/common/pool_buffer.h"
#include "driver/zurazuvera/common/VSH/iir_filter.h"
#include "driver/zurazuvera/common/VSH/linear_phase_iir.h"

class SRC {
public:
    static constexpr int WorkLength = 4096;

    // 1 when the rates have a supported factor and every filter and the work
    // buffer exist; 0 otherwise, with nothing left allocated.
    int Init(int streamRate, int innerRate, int filterKind);
    void Free();

    int Factor() const { return m_nSrcFactor; }
    // len samples to len / factor; len must be a multiple of the factor.
    void Down(float* out, const float* in, int len);
    // len samples to len x factor.
    void Up(float* out, const float* in, int len);
    // Down and Up of channel c through converters[c], in[c] to out[c], with
    // the channels' filters run side by side. Channels must not share buffers.
    static void DownChannels(SRC* const* converters, float* const* out, const float* const* in,
                             int count, int len);
    static void UpChannels(SRC* const* converters, float* const* out, const float* const* in,
                           int count, int len);

private:
    static constexpr int MaxChannels = IIRFilter::MaxChannels;
    static void DownChunk(SRC* const* converters, float* const* out, const float* const* in,
                          int count, int len);
    static void UpChunk(SRC* const* converters, float* const* out, const float* const* in,
                        int count, int len);
    // Each converter's filter of the direction, the linear-phase ones side by
    // side and the plain ones side by side.
    static void FilterChannels(bool down, SRC* const* converters, float* const* out,
                               const float* const* in, int count, int len);

    int m_nSrcMode = 0;
    int m_nSrcFactor = 1;
    int m_nSampleCount = 0;
    int m_nPhase = 0;
    LinearPhaseIIR m_LinearDown;
    LinearPhaseIIR m_LinearUp;
    IIRFilter m_PlainDown;
    IIRFilter m_PlainUp;
    CPoolBuffer m_Work;
    int m_nFilterKind = 1;
    bool m_bReady = false;
};
