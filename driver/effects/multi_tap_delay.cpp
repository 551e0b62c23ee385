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

// Rows become columns: four runs of four frames of four signals become
// four frames of the four signals.
void Transpose(Lanes (&v)[4]) {
    const Lanes t0 = __builtin_shufflevector(v[0], v[1], 0, 4, 1, 5);
    const Lanes t1 = __builtin_shufflevector(v[0], v[1], 2, 6, 3, 7);
    const Lanes t2 = __builtin_shufflevector(v[2], v[3], 0, 4, 1, 5);
    const Lanes t3 = __builtin_shufflevector(v[2], v[3], 2, 6, 3, 7);
    v[0] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
    v[1] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
    v[2] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
    v[3] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
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
// frame by frame, the four lines side by side in the lanes of one register. Then the feedback
// matrix feeds the lines, whose taps read it a run or more later.
void CMultiTapDelay::HighPassAndFeedback(int frames) {
    const ReverbSet& s = *m_pSet;
    static_assert(ReverbLines == LaneCount, "a line per lane");
    const float* h = s.highPass;
    Lanes x1 = Load<Lanes>(m_HighPass.x1), x2 = Load<Lanes>(m_HighPass.x2);
    Lanes y1 = Load<Lanes>(m_HighPass.y1), y2 = Load<Lanes>(m_HighPass.y2);
    // One frame of the four lines, lane k being line k.
    const auto step = [&](Lanes x, Lanes lineOut) {
        const Lanes hp = 2.0f * (h[0] * x + h[1] * x1 + h[2] * x2 + h[3] * y1 + h[4] * y2);
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = hp;
        return hp + lineOut;
    };
    int m = 0;
    for (; m + LaneCount <= frames; m += LaneCount) {
        Lanes in[ReverbLines], out[ReverbLines];
        for (int k = 0; k < ReverbLines; ++k) {
            in[k] = Load<Lanes>(m_Node[k] + m);
            out[k] = Load<Lanes>(m_LineOut[k] + m);
        }
        Transpose(in);
        Transpose(out);
        for (int i = 0; i < LaneCount; ++i) in[i] = step(in[i], out[i]);
        Transpose(in);
        for (int k = 0; k < ReverbLines; ++k) Store(m_Node[k] + m, in[k]);
    }
    for (; m < frames; ++m) {
        const Lanes node =
            step(Lanes{m_Node[0][m], m_Node[1][m], m_Node[2][m], m_Node[3][m]},
                 Lanes{m_LineOut[0][m], m_LineOut[1][m], m_LineOut[2][m], m_LineOut[3][m]});
        for (int k = 0; k < ReverbLines; ++k) m_Node[k][m] = node[k];
    }
    Store(m_HighPass.x1, x1);
    Store(m_HighPass.x2, x2);
    Store(m_HighPass.y1, y1);
    Store(m_HighPass.y2, y2);
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
    // Sixteen frames at a time first: four sums in flight per FIR, where one
    // alone would wait on each addition.
    int m = 0;
    for (; m + 4 * LaneCount <= frames; m += 4 * LaneCount) {
        Lanes left0{}, left1{}, left2{}, left3{};
        Lanes right0{}, right1{}, right2{}, right3{};
        for (int j = 0; j < ReverbEarlyFirs; ++j) {
            const float* x = early[j] + m;
            const float* taps = s.firTaps[j];
            Lanes out0{}, out1{}, out2{}, out3{};
            for (int t = 0; t < s.firLengths[j]; ++t, x -= 2) {
                const float g = taps[t];
                out0 += g * Load<Lanes>(x);
                out1 += g * Load<Lanes>(x + LaneCount);
                out2 += g * Load<Lanes>(x + 2 * LaneCount);
                out3 += g * Load<Lanes>(x + 3 * LaneCount);
            }
            const float l = s.leftRow[j], r = s.rightRow[j];
            left0 += out0 * l;
            left1 += out1 * l;
            left2 += out2 * l;
            left3 += out3 * l;
            right0 += out0 * r;
            right1 += out1 * r;
            right2 += out2 * r;
            right3 += out3 * r;
        }
        Store(left + m, left0);
        Store(left + m + LaneCount, left1);
        Store(left + m + 2 * LaneCount, left2);
        Store(left + m + 3 * LaneCount, left3);
        Store(right + m, right0);
        Store(right + m + LaneCount, right1);
        Store(right + m + 2 * LaneCount, right2);
        Store(right + m + 3 * LaneCount, right3);
    }
    ForFrames(frames - m, [&, m](auto zero, int rest) {
        const int at = m + rest;
        using V = decltype(zero);
        V sumLeft = zero, sumRight = zero;
        for (int j = 0; j < ReverbEarlyFirs; ++j) {
            const V out = TapSum(zero, early[j] + at, s.firTaps[j], s.firLengths[j], 2);
            sumLeft += out * s.leftRow[j];
            sumRight += out * s.rightRow[j];
        }
        Store(left + at, sumLeft);
        Store(right + at, sumRight);
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
