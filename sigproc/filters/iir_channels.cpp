// Several independent IIR channels filtered side by side. The transposed
// direct form is one long chain of dependent double operations per channel,
// so one channel leaves the processor waiting most of the time; here up to
// eight channels of the same order share a step, one lane of a vector of
// doubles each. A lane does exactly the one-channel kernel's arithmetic, in
// its order (pairs folded together, every stored value rounded to single
// precision where that kernel stores it), and lanes never meet: every channel
// gets the bits sigIirProcess_32f gives it alone. The delay words travel from
// step to step as the doubles of their rounded floats and go back to the
// records at the end of the call.
#include "sigproc/filters/iir.h"
#include "sigproc/filters/iir_lanes.h"

#include "sigproc/sigproc.h"

// The kernels keep vectors wider than the baseline's registers, but every
// helper is inlined into a build that has them, so no call crosses the ABI
// gcc warns about.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

template <int Lanes> struct LaneTypes;
template <> struct LaneTypes<2> {
    using Doubles = double __attribute__((vector_size(16)));
    using Floats = float __attribute__((vector_size(8)));
};
template <> struct LaneTypes<4> {
    using Doubles = double __attribute__((vector_size(32)));
    using Floats = float __attribute__((vector_size(16)));
};
template <> struct LaneTypes<8> {
    using Doubles = double __attribute__((vector_size(64)));
    using Floats = float __attribute__((vector_size(32)));
};

constexpr int MaxLanes = 8;
constexpr int MinLaneOrder = 2;
constexpr int MaxLaneOrder = 4;

template <int Lanes, int Order> class LaneKernel {
    using Doubles = typename LaneTypes<Lanes>::Doubles;
    using Floats = typename LaneTypes<Lanes>::Floats;

public:
    explicit LaneKernel(sigIirState* const* states) : m_states(states) {
        for (int lane = 0; lane < Lanes; ++lane) {
            const float* taps = states[lane]->tapsArea();
            const float* delay = states[lane]->delayArea();
            for (int i = 0; i <= Order; ++i) {
                m_b[i][lane] = taps[i];
                m_a[i][lane] = i == 0 ? 0.0f : taps[Order + i];
                m_d[i][lane] = delay[i]; // d[Order] is the record's zero word
            }
        }
    }

    void run(const float* const* src, float* const* dst, int len) {
        int i = 0;
        for (; i + 1 < len; i += 2) pairStep(src, dst, i);
        if (i < len) singleStep(src, dst, i);
        for (int lane = 0; lane < Lanes; ++lane) {
            float* delay = m_states[lane]->delayArea();
            for (int j = 0; j < Order; ++j) delay[j] = static_cast<float>(m_d[j][lane]);
        }
    }

private:
    // Vectors travel by reference: wide vectors by value would change the
    // calling convention between instruction sets.
    static void store(Doubles& word, const Doubles& value) {
        word = __builtin_convertvector(__builtin_convertvector(value, Floats), Doubles);
    }

    static void gather(Doubles& x, const float* const* src, int i) {
#pragma GCC unroll 8
        for (int lane = 0; lane < Lanes; ++lane) x[lane] = src[lane][i];
    }

    static void scatter(float* const* dst, int i, const Doubles& y) {
        const Floats narrow = __builtin_convertvector(y, Floats);
#pragma GCC unroll 8
        for (int lane = 0; lane < Lanes; ++lane) dst[lane][i] = narrow[lane];
    }

    // The same sums, in the same order, as the one-channel pair step.
    void pairStep(const float* const* src, float* const* dst, int i) {
        Doubles x0, x1;
        gather(x0, src, i);
        gather(x1, src, i + 1);
        const Doubles y0 = m_b[0] * x0 + m_d[0];
        const Doubles y1 = (m_b[1] * x0 + (m_b[0] * x1 + m_d[1])) - m_a[1] * y0;
        for (int j = 0; j + 2 <= Order; ++j) {
            store(m_d[j],
                  (((m_b[j + 1] * x1 - m_a[j + 1] * y1) + m_b[j + 2] * x0) - m_a[j + 2] * y0) +
                      m_d[j + 2]);
        }
        store(m_d[Order - 1], m_b[Order] * x1 - m_a[Order] * y1);
        scatter(dst, i, y0);
        scatter(dst, i + 1, y1);
    }

    void singleStep(const float* const* src, float* const* dst, int i) {
        Doubles x;
        gather(x, src, i);
        const Doubles y = m_b[0] * x + m_d[0];
        for (int j = 0; j < Order; ++j)
            store(m_d[j], (m_b[j + 1] * x - m_a[j + 1] * y) + m_d[j + 1]);
        scatter(dst, i, y);
    }

    sigIirState* const* m_states;
    Doubles m_b[Order + 1];
    Doubles m_a[Order + 1];
    Doubles m_d[Order + 1];
};

template <int Lanes>
void runGroup(const float* const* src, float* const* dst, int len, sigIirState* const* states) {
    switch (states[0]->order) {
    case 2:
        LaneKernel<Lanes, 2>(states).run(src, dst, len);
        break;
    case 3:
        LaneKernel<Lanes, 3>(states).run(src, dst, len);
        break;
    default:
        LaneKernel<Lanes, 4>(states).run(src, dst, len);
        break;
    }
}

bool runsInLanes(const sigIirState* state) {
    return state->id == sigIirIdDirect && state->order >= MinLaneOrder &&
           state->order <= MaxLaneOrder;
}

bool sameKernel(const sigIirState* a, const sigIirState* b) {
    return runsInLanes(b) && b->order == a->order;
}

// Channels first..first+count-1 share a kernel: the widest groups first.
[[gnu::always_inline]] inline void runChannels(const float* const* src, float* const* dst, int len,
                                               sigIirState* const* states, int count) {
    int c = 0;
    for (; count - c >= MaxLanes; c += MaxLanes)
        runGroup<MaxLanes>(src + c, dst + c, len, states + c);
    if (count - c >= 4) {
        runGroup<4>(src + c, dst + c, len, states + c);
        c += 4;
    }
    if (count - c >= 2) {
        runGroup<2>(src + c, dst + c, len, states + c);
        c += 2;
    }
    if (c < count) sigIirProcess_32f_generic(src[c], dst[c], len, states[c]);
}

void runChannelsSse2(const float* const* src, float* const* dst, int len,
                     sigIirState* const* states, int count) {
    runChannels(src, dst, len, states, count);
}
[[gnu::flatten]] SIG_TARGET_AVX2 void runChannelsAvx2(const float* const* src, float* const* dst,
                                                      int len, sigIirState* const* states,
                                                      int count) {
    runChannels(src, dst, len, states, count);
}
[[gnu::flatten]] SIG_TARGET_AVX512 void runChannelsAvx512(const float* const* src,
                                                          float* const* dst, int len,
                                                          sigIirState* const* states, int count) {
    runChannels(src, dst, len, states, count);
}

} // namespace

const sigWideVariants<sigIirLaneRun> sigIirLaneRuns{runChannelsSse2, runChannelsAvx2,
                                                    runChannelsAvx512};

int sigIirProcessChannels_32f(const float* const* src, float* const* dst, int len,
                              sigIirState* const* states, int count) {
    if (src == nullptr || dst == nullptr || states == nullptr) return sigErrNullPtr;
    for (int c = 0; c < count; ++c)
        if (src[c] == nullptr || dst[c] == nullptr || states[c] == nullptr) return sigErrNullPtr;
    if (count <= 0) return sigErrChannelCount;
    if (len <= 0) return sigErrLength;
    for (int c = 0; c < count; ++c)
        if (states[c]->id != sigIirIdDirect && states[c]->id != sigIirIdBiquad)
            return sigErrStateMismatch;

    sigIirLaneRun* const runLanes = sigIirLaneRuns.select();
    for (int first = 0; first < count;) {
        if (!runsInLanes(states[first])) {
            sigIirProcess_32f_generic(src[first], dst[first], len, states[first]);
            ++first;
            continue;
        }
        int last = first + 1;
        while (last < count && sameKernel(states[first], states[last])) ++last;
        runLanes(src + first, dst + first, len, states + first, last - first);
        first = last;
    }
    return sigOk;
}
