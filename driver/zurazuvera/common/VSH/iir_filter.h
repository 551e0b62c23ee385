// A third-order IIR filter of the sample-rate converter, its coefficients
// chosen by the conversion factor. Only factors 1 and 2 have a set; any
// other leaves the object without a state, and its output is silence.
#pragma once

struct sigIirState;

class IIRFilter {
public:
    static constexpr int Order = 3;
    // Channels filtered side by side in one pass; more are run in turns.
    static constexpr int MaxChannels = 8;

    IIRFilter() = default;
    ~IIRFilter() { Free(); }
    IIRFilter(const IIRFilter&) = delete;
    IIRFilter& operator=(const IIRFilter&) = delete;

    // The coefficient set of the factor, on a cleared delay line; 1 when the
    // filter runs, 0 for a factor without a set or when memory is short.
    int Init(int factor);
    void Free();
    bool HasState() const { return m_pState != nullptr; }

    // len samples; in place allowed. Without a state the output is zeros.
    void Process(float* out, const float* in, int len);
    // Channel c through filters[c], in[c] to out[c], as Process would, but
    // the channels' filters run side by side. Channels must not share buffers.
    static void ProcessChannels(IIRFilter* const* filters, float* const* out,
                                const float* const* in, int count, int len);
    int LastStatus() const { return m_nStatus; }

    // b0..b3 then a0..a3 of the factor, or null.
    static const float* Coefficients(int factor);

private:
    int m_nStatus = 0;
    sigIirState* m_pState = nullptr;
};
