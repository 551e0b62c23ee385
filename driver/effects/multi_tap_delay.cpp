#include "driver/effects/multi_tap_delay.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

constexpr float UpperLimit = 0.9999847412109375f; // 1 - 2^-16
constexpr float UpperValue = 0.999969482421875f;  // 32767 / 32768
constexpr float Q15Scale = 32768.0f;
constexpr float Q15Offset = 65536.5f;
constexpr int Q15Bias = 65536;
// The float sum above rounds a few values just under UpperLimit up to 2^15
// past the bias; they must stay at full scale rather than wrap to -32768.
constexpr int Q15Highest = Q15Bias + 32767;
constexpr float OutputScale = 1.0f / 32768.0f;
constexpr int Planes51 = 6;
constexpr int Planes71 = 8;
enum Plane {
    FrontLeft,
    FrontRight,
    FrontCentre,
    LowFrequency,
    BackLeft,
    BackRight,
    SideLeft,
    SideRight
};

// Four consecutive frames of one signal. Each lane is its own frame, so an
// expression on lanes is that expression on each frame, rounded alike.
using Lanes = float __attribute__((vector_size(16)));
using LaneInts = std::int32_t __attribute__((vector_size(16)));
constexpr int LaneCount = 4;

template <class V> V Load(const float* p);
template <> float Load<float>(const float* p) { return *p; }
template <> Lanes Load<Lanes>(const float* p) {
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
void Store(float* p, float v) { *p = v; }
void Store(float* p, Lanes v) { std::memcpy(p, &v, sizeof v); }

// `body(zero, m)` for frame runs starting at m: four frames at a time, the
// rest one by one; zero is 0 of the lane type to use.
template <class Body> void ForFrames(int frames, Body body) {
    int m = 0;
    for (; m + LaneCount <= frames; m += LaneCount) body(Lanes{}, m);
    for (; m < frames; ++m) body(0.0f, m);
}

// sum over t < taps of gains[t] x[-stride t], from 0, in tap order.
template <class V> V TapSum(V zero, const float* x, const float* gains, int taps, int stride) {
    V sum = zero;
    for (int t = 0; t < taps; ++t) sum += gains[t] * Load<V>(x - stride * t);
    return sum;
}

float Quantised(float x) { return static_cast<float>(SaturateQ15(x)) * OutputScale; }

// SaturateQ15 on every lane, then scaled back.
Lanes Quantised(Lanes x) {
    const auto choose = [](LaneInts mask, Lanes yes, Lanes no) {
        return reinterpret_cast<Lanes>((mask & reinterpret_cast<LaneInts>(yes)) |
                                       (~mask & reinterpret_cast<LaneInts>(no)));
    };
    const Lanes zero{};
    x = choose(x != x, zero, x);
    x = choose(x >= UpperLimit, zero + UpperValue, x);
    x = choose(x < -UpperLimit, zero - 1.0f, x);
    LaneInts whole = __builtin_convertvector(Q15Scale * x + Q15Offset, LaneInts);
    whole = whole > Q15Highest ? Q15Highest : whole;
    return __builtin_convertvector(whole - Q15Bias, Lanes) * OutputScale;
}

} // namespace

int SaturateQ15(float x) {
    if (std::isnan(x)) return 0;
    if (x >= UpperLimit) x = UpperValue;
    if (x < -UpperLimit) x = -1.0f;
    const int whole = std::min(static_cast<int>(Q15Scale * x + Q15Offset), Q15Highest);
    return whole - Q15Bias;
}

void CMultiTapDelay::Init() {
    m_CurrentConfiguration = m_PendingConfiguration = 0;
    m_CurrentSet = m_PendingSet = 0;
    UseSet(0);
    ClearMemory();
}

void CMultiTapDelay::SetRate(int rate, int configuration) {
    m_PendingSet = ReverbSetNumberForRate(rate);
    m_PendingConfiguration = configuration;
}

int CMultiTapDelay::IsPending() const {
    return m_PendingSet != m_CurrentSet || m_PendingConfiguration != m_CurrentConfiguration ? 1 : 0;
}

int CMultiTapDelay::IsValid() const {
    return ReverbSetByNumber(m_PendingSet) != nullptr && m_PendingConfiguration >= 0 &&
                   m_PendingConfiguration <= MaxConfiguration
               ? 1
               : 0;
}

void CMultiTapDelay::Apply() {
    if (IsValid() == 0) {
        m_PendingSet = m_CurrentSet;
        m_PendingConfiguration = m_CurrentConfiguration;
        return;
    }
    m_CurrentConfiguration = m_PendingConfiguration;
    m_CurrentSet = m_PendingSet;
    UseSet(m_CurrentSet);
    ClearMemory();
}

void CMultiTapDelay::Reset() {
    if (IsValid() != 0) Apply();
    ClearMemory();
}

void CMultiTapDelay::UseSet(int number) {
    m_pSet = ReverbSetByNumber(number);
    m_BufferLength = m_pSet->bufferLength;
    int start = 0;
    m_RunLimit = RunFrames;
    for (int k = 0; k < ReverbLines; ++k) {
        m_Lines[k].history = m_pSet->writeSteps[k];
        m_Lines[k].start = start;
        start += m_Lines[k].history + WindowSlack;
        // A run may not read a line value it has yet to write.
        m_RunLimit = std::min(m_RunLimit, m_pSet->lineDelays[k] + 1);
    }
    for (int j = 0; j < ReverbEarlyFirs; ++j) {
        m_Firs[j].history = 2 * m_pSet->firLengths[j];
        m_Firs[j].start = start;
        start += m_Firs[j].history + WindowSlack;
    }
}

void CMultiTapDelay::ClearMemory() {
    std::fill_n(m_Memory, MemoryLength, 0.0f);
    for (Window& w : m_Lines) w.write = w.history;
    for (Window& w : m_Firs) w.write = w.history;
    m_HighPass = {};
    std::fill_n(&m_ToneHistory[0][0][0], sizeof m_ToneHistory / sizeof(float), 0.0f);
}

float* CMultiTapDelay::RunStart(Window& window, int frames) {
    float* base = m_Memory + window.start;
    if (window.write + frames > window.history + WindowSlack) {
        std::memmove(base, base + window.write - window.history,
                     static_cast<std::size_t>(window.history) * sizeof(float));
        window.write = window.history;
    }
    return base + window.write;
}

// Tap i of line k reads the value fed Dk + 1 + i frames before.
void CMultiTapDelay::LinesOut(int frames) {
    const ReverbSet& s = *m_pSet;
    for (int k = 0; k < ReverbLines; ++k) {
        const float* fed = m_Memory + m_Lines[k].start + m_Lines[k].write - s.lineDelays[k] - 1;
        float* out = m_LineOut[k];
        ForFrames(frames, [&](auto zero, int m) {
            Store(out + m, TapSum(zero, fed + m, s.lineGains[k], s.lineTaps, 1));
        });
    }
}

// The lines' inputs (into m_Node) and the early FIRs' inputs, from the
// input planes and the lines' outputs.
void CMultiTapDelay::NetworkInputs(const float* const* in, int frames) {
    const ReverbSet& s = *m_pSet;
    const float* g = s.input;
    const float* e = s.earlyGains;
    const float* mx = s.earlyMatrix;
    float* early[ReverbEarlyFirs];
    for (int j = 0; j < ReverbEarlyFirs; ++j) early[j] = RunStart(m_Firs[j], frames);
    ForFrames(frames, [&](auto zero, int m) {
        using V = decltype(zero);
        V x[Planes71];
        for (int c = 0; c < Planes71; ++c) x[c] = Load<V>(in[c] + m);
        const V lf = x[FrontLeft] + x[LowFrequency];
        const V rf = x[FrontRight] + x[LowFrequency];
        const V fc = x[FrontCentre];
        Store(m_Node[0] + m, rf * g[0] + x[BackRight] * g[1]);
        Store(m_Node[1] + m, x[BackLeft] * g[3] + lf * g[2]);
        Store(m_Node[2] + m, x[SideLeft] * g[4] + fc * g[5]);
        Store(m_Node[3] + m, x[SideRight] * g[6] + fc * g[7]);
        V y[ReverbLines];
        for (int k = 0; k < ReverbLines; ++k) y[k] = Load<V>(m_LineOut[k] + m);
        const V gg = lf * e[1] + y[3] * e[2];
        const V ff = rf * e[3] + y[0] * e[4];
        const V ss = x[SideLeft] * e[5];
        const V tt = x[SideRight] * e[6];
        const V hh = x[BackLeft] * e[7] + y[1] * e[8];
        const V kk = x[BackRight] * e[9] + y[2] * e[10];
        Store(early[0] + m, fc * e[0]);
        Store(early[1] + m, mx[0] * gg + mx[1] * ff);
        Store(early[2] + m, mx[2] * gg + mx[3] * ff);
        Store(early[3] + m, mx[4] * ss + mx[5] * tt);
        Store(early[4] + m, mx[6] * ss + mx[7] * tt);
        Store(early[5] + m, mx[8] * hh + mx[9] * kk);
        Store(early[6] + m, mx[10] * hh + mx[11] * kk);
    });
}

// The only recursion shorter than a run: each line's high-pass section,
// frame by frame, the four lines side by side. Then the feedback matrix
// feeds the lines, whose taps read it a run or more later.
void CMultiTapDelay::HighPassAndFeedback(int frames) {
    const ReverbSet& s = *m_pSet;
    const float* h = s.highPass;
    HighPassState& p = m_HighPass;
    for (int m = 0; m < frames; ++m) {
        for (int k = 0; k < ReverbLines; ++k) {
            const float x = m_Node[k][m];
            const float hp = 2.0f * (h[0] * x + h[1] * p.x1[k] + h[2] * p.x2[k] + h[3] * p.y1[k] +
                                     h[4] * p.y2[k]);
            p.x2[k] = p.x1[k];
            p.x1[k] = x;
            p.y2[k] = p.y1[k];
            p.y1[k] = hp;
            m_Node[k][m] = hp + m_LineOut[k][m];
        }
    }
    for (int k = 0; k < ReverbLines; ++k) {
        float* fed = RunStart(m_Lines[k], frames);
        const float* f = s.feedback[k];
        ForFrames(frames, [&](auto zero, int m) {
            using V = decltype(zero);
            V sum = zero;
            for (int j = 0; j < ReverbLines; ++j) sum += f[j] * Load<V>(m_Node[j] + m);
            Store(fed + m, sum);
        });
    }
}

// Tap t of FIR j reads the input 2 (t + 1) frames before; the FIRs' outputs
// summed into each side in FIR order.
void CMultiTapDelay::EarlyFirs(int frames) {
    const ReverbSet& s = *m_pSet;
    const float* early[ReverbEarlyFirs];
    for (int j = 0; j < ReverbEarlyFirs; ++j)
        early[j] = m_Memory + m_Firs[j].start + m_Firs[j].write - 2;
    float* left = m_Tone[0][0] + 2;
    float* right = m_Tone[1][0] + 2;
    ForFrames(frames, [&](auto zero, int m) {
        using V = decltype(zero);
        V sumLeft = zero, sumRight = zero;
        for (int j = 0; j < ReverbEarlyFirs; ++j) {
            const V out = TapSum(zero, early[j] + m, s.firTaps[j], s.firLengths[j], 2);
            sumLeft += out * s.leftRow[j];
            sumRight += out * s.rightRow[j];
        }
        Store(left + m, sumLeft);
        Store(right + m, sumRight);
    });
}

// Five 3-tap stages on the side's sums, each over its input and the two
// inputs before; the last stage's output leaves quantised.
void CMultiTapDelay::ToneAndQuantise(int side, float* out, int frames) {
    float* input = m_Tone[side][0];
    float* output = m_Tone[side][1];
    for (int stage = 0; stage < ReverbToneStages; ++stage) {
        float* history = m_ToneHistory[side][stage];
        input[0] = history[1];
        input[1] = history[0];
        const float* t = m_pSet->tone[stage];
        ForFrames(frames, [&](auto zero, int m) {
            using V = decltype(zero);
            const float* x = input + 2 + m;
            Store(output + 2 + m,
                  t[0] * Load<V>(x) + t[1] * Load<V>(x - 1) + t[2] * Load<V>(x - 2));
        });
        history[0] = input[frames + 1];
        history[1] = input[frames];
        std::swap(input, output);
    }
    ForFrames(frames, [&](auto zero, int m) {
        using V = decltype(zero);
        Store(out + m, Quantised(Load<V>(input + 2 + m)));
    });
}

void CMultiTapDelay::RenderRun(const float* const* in, float* left, float* right, int frames) {
    LinesOut(frames);
    NetworkInputs(in, frames);
    HighPassAndFeedback(frames);
    EarlyFirs(frames);
    ToneAndQuantise(0, left, frames);
    ToneAndQuantise(1, right, frames);
    for (Window& w : m_Lines) w.write += frames;
    for (Window& w : m_Firs) w.write += frames;
}

void CMultiTapDelay::Process(const float* const* input, float* const* output, int frames) {
    if (output == nullptr || output[0] == nullptr || output[1] == nullptr) return;
    if (IsPending() != 0) Apply();
    const int planes = m_CurrentConfiguration == Configuration51   ? Planes51
                       : m_CurrentConfiguration == Configuration71 ? Planes71
                                                                   : 0;
    if (planes > 0) {
        if (input == nullptr) return;
        for (int c = 0; c < planes; ++c)
            if (input[c] == nullptr) return;
    }
    // Planes the configuration does not take are heard as silence.
    static const float silence[RunFrames] = {};
    for (int done = 0; done < frames;) {
        const int run = std::min(frames - done, m_RunLimit);
        const float* in[Planes71];
        for (int c = 0; c < Planes71; ++c) in[c] = c < planes ? input[c] + done : silence;
        RenderRun(in, output[0] + done, output[1] + done, run);
        done += run;
    }
}
