#include "driver/effects/multi_tap_delay.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float UpperLimit = 0.9999847412109375f; // 1 - 2^-16
constexpr float UpperValue = 0.999969482421875f;  // 32767 / 32768
constexpr float Q15Scale = 32768.0f;
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

} // namespace

int SaturateQ15(float x) {
    if (std::isnan(x)) return 0;
    if (x >= UpperLimit) x = UpperValue;
    if (x < -UpperLimit) x = -1.0f;
    const int whole = static_cast<int>(Q15Scale * x + 65536.5f);
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(whole & 0xFFFF));
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
    int offset = 0;
    for (int k = 0; k < ReverbLines; ++k) {
        m_Layout.lineStart[k] = offset;
        offset += m_pSet->writeSteps[k];
    }
    m_Layout.highPassStart = offset;
    offset += ReverbLines * ReverbHighPassSlots;
    for (int j = 0; j < ReverbEarlyFirs; ++j) {
        m_Layout.firStart[j] = offset;
        offset += 2 * m_pSet->firLengths[j] + 1;
    }
    m_Layout.toneStart = offset;
}

void CMultiTapDelay::ClearMemory() {
    std::fill_n(m_Memory, m_BufferLength, 0.0f);
    m_Position = 0;
}

// The slot written `offset` frames ago relative to this frame's position
// (offset -1 is the slot that becomes offset 0 in the next frame).
float& CMultiTapDelay::At(int offset) {
    int index = m_Position - offset;
    if (index < 0) index += m_BufferLength;
    if (index >= m_BufferLength) index -= m_BufferLength;
    return m_Memory[index];
}

// Five 3-tap stages, each reading its input and the two slots after it and
// writing its output over the second, where the next stage takes it.
float CMultiTapDelay::Tone(int start, float input) {
    At(start) = input;
    int stage = start;
    for (const float* taps : m_pSet->tone) {
        const float out = taps[0] * At(stage) + taps[1] * At(stage + 1) + taps[2] * At(stage + 2);
        stage += 2;
        At(stage) = out;
    }
    return At(stage);
}

void CMultiTapDelay::Frame(const float* in, float* left, float* right) {
    const ReverbSet& s = *m_pSet;
    const float lf = in[FrontLeft] + in[LowFrequency];
    const float rf = in[FrontRight] + in[LowFrequency];
    const float fc = in[FrontCentre];
    float y[ReverbLines];
    for (int k = 0; k < ReverbLines; ++k) {
        float sum = 0.0f;
        const int first = m_Layout.lineStart[k] + s.lineDelays[k];
        for (int i = 0; i < s.lineTaps; ++i) sum += s.lineGains[k][i] * At(first + i);
        y[k] = sum;
    }
    const float* g = s.input;
    const float lineIn[ReverbLines] = {
        rf * g[0] + in[BackRight] * g[1], in[BackLeft] * g[3] + lf * g[2],
        in[SideLeft] * g[4] + fc * g[5], in[SideRight] * g[6] + fc * g[7]};
    float node[ReverbLines];
    for (int k = 0; k < ReverbLines; ++k) {
        const int base = m_Layout.highPassStart + k * ReverbHighPassSlots;
        const float* h = s.highPass;
        At(base) = lineIn[k];
        const float hp = 2.0f * (h[0] * At(base) + h[1] * At(base + 1) + h[2] * At(base + 2) +
                                 h[3] * At(base + 3) + h[4] * At(base + 4));
        At(base + 2) = hp;
        node[k] = hp + y[k];
    }
    const float* e = s.earlyGains;
    const float* m = s.earlyMatrix;
    const float gg = lf * e[1] + y[3] * e[2];
    const float ff = rf * e[3] + y[0] * e[4];
    const float ss = in[SideLeft] * e[5];
    const float tt = in[SideRight] * e[6];
    const float hh = in[BackLeft] * e[7] + y[1] * e[8];
    const float kk = in[BackRight] * e[9] + y[2] * e[10];
    const float early[ReverbEarlyFirs] = {fc * e[0],
                                          m[0] * gg + m[1] * ff,
                                          m[2] * gg + m[3] * ff,
                                          m[4] * ss + m[5] * tt,
                                          m[6] * ss + m[7] * tt,
                                          m[8] * hh + m[9] * kk,
                                          m[10] * hh + m[11] * kk};
    float sumLeft = 0.0f, sumRight = 0.0f;
    for (int j = 0; j < ReverbEarlyFirs; ++j) {
        const int base = m_Layout.firStart[j];
        At(base) = early[j];
        float out = 0.0f;
        for (int t = 0; t < s.firLengths[j]; ++t) out += s.firTaps[j][t] * At(base + 2 * (t + 1));
        sumLeft += out * s.leftRow[j];
        sumRight += out * s.rightRow[j];
    }
    *left = static_cast<float>(SaturateQ15(Tone(m_Layout.toneStart, sumLeft))) * OutputScale;
    *right =
        static_cast<float>(SaturateQ15(Tone(m_Layout.toneStart + ReverbLeftToneSlots, sumRight))) *
        OutputScale;
    for (int k = 0; k < ReverbLines; ++k) {
        float fed = 0.0f;
        for (int j = 0; j < ReverbLines; ++j) fed += s.feedback[k][j] * node[j];
        At(m_Layout.lineStart[k] - 1) = fed;
    }
    if (++m_Position == m_BufferLength) m_Position = 0;
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
    for (int i = 0; i < frames; ++i) {
        float frame[Planes71] = {};
        for (int c = 0; c < planes; ++c) frame[c] = input[c][i];
        Frame(frame, &output[0][i], &output[1][i]);
    }
}
