#include "driver/effects/reverb_sets.h"

#include <cmath>
#include <numbers>

namespace {

// The building rule:
//  - Every line keeps its length in time at every rate: the 48 kHz delay plus
//    1.5 samples. A line's taps read the samples Dk + 1 .. Dk + g frames old,
//    and their gains are the Lagrange weights for that length, times the
//    line's loop gain.
//  - The high-pass sections are second-order Butterworth sections by the
//    bilinear transform at ReverbHighPassCutoffHz, halved (the network
//    doubles them again); 48 kHz keeps its measured values.
//  - Early FIR tap k (from 1) is a seeded sign times 0.6 e^(-2 (k-1)/(N-1)).
//    Signs come from a 32-bit linear congruential generator, one seed per
//    set and FIR.
//  - The tone chain is (0.5, 1, 0.5) followed by four pass-through stages.
struct RateRow {
    int number;
    int rate;
    int lineTaps;
    int lineDelays[ReverbLines];
    int firLengths[ReverbEarlyFirs];
};

constexpr RateRow Rows[] = {
    {0, 48000, 2, {599, 871, 778, 1032}, {16, 16, 16, 20, 20, 18, 18}},
    {1, 44100, 2, {550, 800, 715, 948}, {15, 15, 15, 19, 19, 17, 17}},
    {2, 32000, 3, {399, 580, 518, 687}, {10, 10, 10, 13, 13, 12, 12}},
    {16, 96000, 4, {1199, 1743, 1557, 2064}, {34, 34, 34, 42, 42, 38, 38}},
    {17, 88200, 4, {1102, 1602, 1430, 1897}, {32, 32, 32, 40, 40, 36, 36}},
};

constexpr double LoopGains[ReverbLines] = {0.76074, 0.6721, 0.7012, 0.6245};
constexpr int ReferenceRate = 48000;
constexpr int ReferenceDelays[ReverbLines] = {599, 871, 778, 1032};
constexpr double LineLengthExtra = 1.5;
constexpr float Input[8] = {-0.5517f, 0.61895f, 0.5517f,  0.61895f,
                            0.56515f, 0.32965f, 0.56515f, 0.32965f};
constexpr float HighPass48[5] = {0.49066f, -0.98126f, 0.49066f, 0.98102f, -0.4816f};
constexpr float EarlyGains[11] = {1.0f,     1.0f,     0.84066f, 1.0f,     0.84066f, 0.82001f,
                                  0.82001f, 0.90997f, 1.0f,     0.90997f, 1.0f};
constexpr float EarlyMatrix[12] = {0.5f, 0.5f,  0.5f, -0.5f, 0.5f, 0.5f,
                                   0.5f, -0.5f, 0.5f, 0.5f,  0.5f, -0.5f};
constexpr float LeftRow[ReverbEarlyFirs] = {1, 1, 1, 1, 1, 1, 1};
constexpr float RightRow[ReverbEarlyFirs] = {1, 1, -1, 1, -1, 1, -1};
constexpr float Tone[ReverbToneStages][3] = {
    {0.5f, 1.0f, 0.5f}, {1, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 0, 0}};
constexpr float Feedback[ReverbLines][ReverbLines] = {
    {-0.15247f, -0.10034f, 0.2981f, 0.93689f},
    {-0.90576f, 0.21106f, -0.36743f, -0.00787f},
    {0.0163f, 0.8822f, 0.46771f, -0.0517f},
    {-0.39508f, -0.40875f, 0.74658f, -0.34564f},
};
constexpr double FirLead = 0.6;
constexpr double FirDecay = 2.0;

void LineGains(const RateRow& row, int line, float* gains) {
    const double samples =
        (ReferenceDelays[line] + LineLengthExtra) * row.rate / double(ReferenceRate);
    const double u = samples - (row.lineDelays[line] + 1); // 0 .. taps - 1
    for (int i = 0; i < row.lineTaps; ++i) {
        double w = 1.0;
        for (int j = 0; j < row.lineTaps; ++j)
            if (j != i) w *= (u - j) / double(i - j);
        gains[i] = static_cast<float>(LoopGains[line] * w);
    }
}

void HighPass(int rate, float* h) {
    if (rate == ReferenceRate) {
        for (int i = 0; i < 5; ++i) h[i] = HighPass48[i];
        return;
    }
    const double k = std::tan(std::numbers::pi * ReverbHighPassCutoffHz / rate);
    const double norm = 1.0 / (1.0 + std::sqrt(2.0) * k + k * k);
    h[0] = h[2] = static_cast<float>(norm / 2.0);
    h[1] = static_cast<float>(-norm);
    h[3] = static_cast<float>(-(k * k - 1.0) * norm);
    h[4] = static_cast<float>(-(1.0 - std::sqrt(2.0) * k + k * k) * norm / 2.0);
}

void EarlyFir(std::uint32_t seed, int length, float* taps) {
    std::uint32_t state = seed;
    for (int k = 0; k < length; ++k) {
        state = state * 1664525u + 1013904223u;
        const double sign = (state & 0x80000000u) != 0 ? -1.0 : 1.0;
        const double decay = length > 1 ? FirDecay * k / (length - 1) : 0.0;
        taps[k] = static_cast<float>(sign * FirLead * std::exp(-decay));
    }
}

ReverbSet Build(const RateRow& row) {
    ReverbSet set{};
    set.rate = row.rate;
    set.lineTaps = row.lineTaps;
    set.bufferLength = 0;
    for (int k = 0; k < ReverbLines; ++k) {
        set.lineDelays[k] = row.lineDelays[k];
        LineGains(row, k, set.lineGains[k]);
        set.writeSteps[k] = row.lineDelays[k] + row.lineTaps;
        set.bufferLength += set.writeSteps[k];
        for (int j = 0; j < ReverbLines; ++j) set.feedback[k][j] = Feedback[k][j];
    }
    for (int i = 0; i < 8; ++i) set.input[i] = Input[i];
    HighPass(row.rate, set.highPass);
    for (int i = 0; i < 11; ++i) set.earlyGains[i] = EarlyGains[i];
    for (int i = 0; i < 12; ++i) set.earlyMatrix[i] = EarlyMatrix[i];
    set.bufferLength += ReverbLines * ReverbHighPassSlots;
    for (int j = 0; j < ReverbEarlyFirs; ++j) {
        set.firLengths[j] = row.firLengths[j];
        EarlyFir(0xEA51u * 97u + std::uint32_t(row.number) * 8u + std::uint32_t(j),
                 row.firLengths[j], set.firTaps[j]);
        set.leftRow[j] = LeftRow[j];
        set.rightRow[j] = RightRow[j];
        set.bufferLength += 2 * row.firLengths[j] + 1;
    }
    for (int s = 0; s < ReverbToneStages; ++s)
        for (int t = 0; t < 3; ++t) set.tone[s][t] = Tone[s][t];
    set.bufferLength += ReverbLeftToneSlots + ReverbRightToneSlots;
    return set;
}

struct SetTable {
    ReverbSet sets[sizeof(Rows) / sizeof(Rows[0])];
    SetTable() {
        for (std::size_t i = 0; i < sizeof(Rows) / sizeof(Rows[0]); ++i) sets[i] = Build(Rows[i]);
    }
};

} // namespace

const ReverbSet* ReverbSetByNumber(int number) {
    static const SetTable table;
    for (std::size_t i = 0; i < sizeof(Rows) / sizeof(Rows[0]); ++i)
        if (Rows[i].number == number) return &table.sets[i];
    return nullptr;
}

int ReverbSetNumberForRate(int rate) {
    for (const RateRow& row : Rows)
        if (row.rate == rate) return row.number;
    return 1;
}
