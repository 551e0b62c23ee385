// A block-wise forward-backward IIR filter: each block is filtered forward,
// then backward over itself and a look-ahead of L = 64 samples, so the result
// is close to linear phase and delayed by L samples. Both directions keep
// their delay lines from block to block.
#pragma once

#include "driver/common/pool_buffer.h"
#include "driver/zurazuvera/common/VSH/iir_filter.h"

class LinearPhaseIIR {
public:
    static constexpr int LookAhead = 64;
    static constexpr int MaxBlock = 1024;
    static constexpr int BufferLength = LookAhead + MaxBlock;

    // The three buffers and the filters of the factor; 1 when both directions
    // run, 0 otherwise (the object then outputs silence).
    int Init(int factor);
    // Replaces both filters by cleared ones of the factor.
    int SetFilter(int factor);
    void Free();

    // len samples, 1..MaxBlock; a longer block fails its check and gives
    // silence rather than overrunning the buffers.
    void Process(float* out, const float* in, int len);
    // Channel c through filters[c], in[c] to out[c], as Process would, with
    // the channels' filters run side by side. Channels must not share buffers.
    static void ProcessChannels(LinearPhaseIIR* const* filters, float* const* out,
                                const float* const* in, int count, int len);

private:
    static constexpr int MaxChannels = IIRFilter::MaxChannels;
    static void ProcessChunk(LinearPhaseIIR* const* filters, float* const* out,
                             const float* const* in, int count, int len);

    IIRFilter m_Forward;
    IIRFilter m_Backward;
    CPoolBuffer m_Buffers; // X, Y and Z of BufferLength floats each
};
