// The reverberator's network written out the plain way, for tests that
// check the real one bit for bit: a delay line per memory, one frame at a
// time, in the same float arithmetic.
#pragma once

#include "driver/effects/multi_tap_delay.h"
#include "driver/effects/reverb_sets.h"

#include <array>
#include <deque>

class ReferenceReverb {
public:
    explicit ReferenceReverb(const ReverbSet& s) : m_S(s) {
        for (int k = 0; k < 4; ++k) m_Lines[k].assign(s.lineDelays[k] + s.lineTaps + 1, 0.0f);
        for (int j = 0; j < 7; ++j) m_Firs[j].assign(2 * s.firLengths[j] + 1, 0.0f);
    }
    void Frame(const float* in, float* left, float* right) {
        const ReverbSet& s = m_S;
        const float lf = in[0] + in[3], rf = in[1] + in[3], fc = in[2];
        float y[4];
        for (int k = 0; k < 4; ++k) {
            float sum = 0.0f;
            for (int i = 0; i < s.lineTaps; ++i)
                sum += s.lineGains[k][i] * m_Lines[k][s.lineDelays[k] + i];
            y[k] = sum;
        }
        const float* g = s.input;
        const float lineIn[4] = {rf * g[0] + in[5] * g[1], in[4] * g[3] + lf * g[2],
                                 in[6] * g[4] + fc * g[5], in[7] * g[6] + fc * g[7]};
        float node[4];
        for (int k = 0; k < 4; ++k) {
            Hp& p = m_Hp[k];
            const float* h = s.highPass;
            const float out =
                2.0f * (h[0] * lineIn[k] + h[1] * p.x1 + h[2] * p.x2 + h[3] * p.y1 + h[4] * p.y2);
            p = {lineIn[k], p.x1, out, p.y1};
            node[k] = out + y[k];
        }
        const float* e = s.earlyGains;
        const float* m = s.earlyMatrix;
        const float gg = lf * e[1] + y[3] * e[2], ff = rf * e[3] + y[0] * e[4];
        const float ss = in[6] * e[5], tt = in[7] * e[6];
        const float hh = in[4] * e[7] + y[1] * e[8], kk = in[5] * e[9] + y[2] * e[10];
        const float early[7] = {fc * e[0],
                                m[0] * gg + m[1] * ff,
                                m[2] * gg + m[3] * ff,
                                m[4] * ss + m[5] * tt,
                                m[6] * ss + m[7] * tt,
                                m[8] * hh + m[9] * kk,
                                m[10] * hh + m[11] * kk};
        float sumLeft = 0.0f, sumRight = 0.0f;
        for (int j = 0; j < 7; ++j) {
            m_Firs[j].push_front(early[j]);
            m_Firs[j].pop_back();
            float out = 0.0f;
            for (int t = 0; t < s.firLengths[j]; ++t)
                out += s.firTaps[j][t] * m_Firs[j][2 * (t + 1)];
            sumLeft += out * s.leftRow[j];
            sumRight += out * s.rightRow[j];
        }
        *left = SaturateQ15(Tone(m_ToneLeft, sumLeft)) / 32768.0f;
        *right = SaturateQ15(Tone(m_ToneRight, sumRight)) / 32768.0f;
        for (int k = 0; k < 4; ++k) {
            float fed = 0.0f;
            for (int j = 0; j < 4; ++j) fed += s.feedback[k][j] * node[j];
            m_Lines[k].push_front(fed); // index 0: written one frame ago
            m_Lines[k].pop_back();
        }
    }

private:
    struct Hp {
        float x1, x2, y1, y2;
    };
    struct Stage {
        float x1, x2;
    };
    float Tone(std::array<Stage, 5>& chain, float x) {
        for (int st = 0; st < 5; ++st) {
            const float* t = m_S.tone[st];
            const float out = t[0] * x + t[1] * chain[st].x1 + t[2] * chain[st].x2;
            chain[st] = {x, chain[st].x1};
            x = out;
        }
        return x;
    }
    const ReverbSet& m_S;
    std::deque<float> m_Lines[4];
    std::deque<float> m_Firs[7];
    Hp m_Hp[4] = {};
    std::array<Stage, 5> m_ToneLeft{}, m_ToneRight{};
};
