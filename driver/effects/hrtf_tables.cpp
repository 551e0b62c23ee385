#include "driver/effects/hrtf_tables.h"

#include <algorithm>
#include <cmath>

namespace {

// The generating rule. Every filter sums to its target, 16350 plus a seeded
// offset of at most +-40 (a gain of about 0.5 at low frequencies).
//  - Facing ear: close to a single tap; the first tap carries the target
//    less a seeded amount, taps 1..24 are small seeded values that shrink
//    every six taps.
//  - Far ear: a smooth pulse (k + 1) r^k scaled to the target plus small
//    seeded values; r is larger, so the pulse wider and the ear darker, for
//    the rear and side directions. The front centre has two facing-ear
//    filters.
//  - Whatever the taps miss of the target is spread evenly over taps 4..24.
// Seeded values come from a 32-bit linear congruential generator with one
// seed per table and direction. Quoted measurements stand for the first four
// taps of the 44100 Hz front pair.
constexpr int TargetSum = 16350;
constexpr int TargetJitter = 40;
constexpr int FixedPrefix = 4;
constexpr int FarJitter = 48;
constexpr int FacingLead = 16300;
constexpr int FacingLeadJitter = 60;
constexpr int FacingTailJitter = 64;
constexpr int Q16 = 65536;

class Lcg {
public:
    explicit Lcg(std::uint32_t seed) : m_State(seed) {}
    // A value in -range..range.
    int Jitter(int range) {
        m_State = m_State * 1664525u + 1013904223u;
        return static_cast<int>((m_State >> 8) % static_cast<std::uint32_t>(2 * range + 1)) - range;
    }

private:
    std::uint32_t m_State;
};

using Taps = std::array<int, HrtfTaps>;
using Prefix = std::array<int, FixedPrefix>;

struct Direction {
    int degrees;
    int farDelay44, farDelay48;
    int pulseRatio44, pulseRatio48; // r of the far-ear pulse in Q16; 0: a facing-ear filter
};

// One entry per row pair.
constexpr Direction Directions[HrtfRows / 2] = {
    {30, 11, 12, 29491, 31457},  // r 0.45, 0.48
    {0, 0, 0, 0, 0},             // centre: both ears alike
    {150, 13, 14, 49152, 50463}, // r 0.75, 0.77
    {99, 28, 31, 47841, 49152},  // r 0.73, 0.75
};

constexpr Prefix QuotedFacing44Front = {16374, 49, -17, 37};
constexpr Prefix QuotedFar44Front = {4240, 3662, -1259, 1129};

void SpreadToTarget(Taps& taps, int target) {
    int sum = 0;
    for (int t : taps) sum += t;
    const int spread = HrtfTaps - FixedPrefix;
    const int residual = target - sum;
    const int each = residual / spread;
    const int rest = residual % spread; // same sign as residual
    for (int k = FixedPrefix; k < HrtfTaps; ++k) taps[k] += each;
    for (int k = 0; k < (rest < 0 ? -rest : rest); ++k) taps[FixedPrefix + k] += rest < 0 ? -1 : 1;
}

Taps FacingFilter(Lcg& lcg, int target, const Prefix* quoted) {
    Taps taps{};
    taps[0] = FacingLead + lcg.Jitter(FacingLeadJitter);
    for (int k = 1; k < HrtfTaps; ++k) taps[k] = lcg.Jitter(FacingTailJitter >> (k / 6));
    if (quoted != nullptr) std::copy(quoted->begin(), quoted->end(), taps.begin());
    SpreadToTarget(taps, target);
    return taps;
}

Taps FarFilter(Lcg& lcg, int target, int ratio, const Prefix* quoted) {
    std::array<std::int64_t, HrtfTaps> pulse{};
    std::int64_t power = Q16, total = 0;
    for (int k = 0; k < HrtfTaps; ++k) {
        pulse[k] = (k + 1) * power;
        total += pulse[k];
        power = power * ratio / Q16;
    }
    Taps taps{};
    for (int k = 0; k < HrtfTaps; ++k)
        taps[k] = static_cast<int>(pulse[k] * target / total) + lcg.Jitter(FarJitter);
    if (quoted != nullptr) std::copy(quoted->begin(), quoted->end(), taps.begin());
    SpreadToTarget(taps, target);
    return taps;
}

HrtfTable BuildTable(bool rate48) {
    HrtfTable table{};
    for (int pair = 0; pair < HrtfRows / 2; ++pair) {
        const Direction& d = Directions[pair];
        Lcg lcg(0x5EED0000u + (rate48 ? 0x100u : 0u) + static_cast<std::uint32_t>(pair));
        const bool quoted = !rate48 && pair == 0;
        const int ratio = rate48 ? d.pulseRatio48 : d.pulseRatio44;
        const Taps facing = FacingFilter(lcg, TargetSum + lcg.Jitter(TargetJitter),
                                         quoted ? &QuotedFacing44Front : nullptr);
        const int farTarget = TargetSum + lcg.Jitter(TargetJitter);
        const Taps far =
            ratio == 0 ? FacingFilter(lcg, farTarget, nullptr)
                       : FarFilter(lcg, farTarget, ratio, quoted ? &QuotedFar44Front : nullptr);
        HrtfRow row{};
        row[HrtfRowDirection] = static_cast<std::int16_t>(d.degrees);
        row[HrtfRowFarDelay] = static_cast<std::int16_t>(rate48 ? d.farDelay48 : d.farDelay44);
        for (int k = 0; k < HrtfTaps; ++k) {
            row[HrtfRowFarTaps + k] = static_cast<std::int16_t>(far[k]);
            row[HrtfRowFacingTaps + k] = static_cast<std::int16_t>(facing[k]);
        }
        table[2 * pair] = row;
        table[2 * pair + 1] = row;
    }
    return table;
}

int RoundToGrid(float value, int step) {
    const float half = 0.5f * static_cast<float>(step);
    return static_cast<int>((value + (value >= 0.0f ? half : -half)) / static_cast<float>(step)) *
           step;
}

float Sanitised(float value, float limit) {
    if (std::isnan(value)) return 0.0f;
    return std::clamp(value, -limit, limit);
}

void CopyEar(const HrtfRow& row, int tapsAt, int delayAt, HrtfPair* ear) {
    std::copy(row.begin() + tapsAt, row.begin() + tapsAt + HrtfTaps, ear->begin());
    (*ear)[HrtfTaps] = row[delayAt];
}

} // namespace

const HrtfTable* HrtfTableForRate(int rate) {
    static const HrtfTable table44 = BuildTable(false);
    static const HrtfTable table48 = BuildTable(true);
    if (rate == 44100) return &table44;
    if (rate == 48000) return &table48;
    return nullptr;
}

void QuantizeDirection(float azimuth, float elevation, int* quantAzimuth, int* quantElevation) {
    const float az = Sanitised(azimuth, 180.0f);
    const int el = RoundToGrid(Sanitised(elevation, 90.0f), 6);
    int qaz = 0;
    if (el != 90 && el != -90) {
        const int magnitude = el < 0 ? -el : el;
        qaz = RoundToGrid(az, magnitude > 60 ? 12 : magnitude > 30 ? 6 : 3);
        if (qaz < -177) qaz += 360;
    }
    if (quantAzimuth != nullptr) *quantAzimuth = qaz;
    if (quantElevation != nullptr) *quantElevation = el;
}

bool LookupHrtfPair(int row, int rate, float azimuth, float elevation, HrtfPair* left,
                    HrtfPair* right) {
    if (row < 0 || row >= HrtfRows || left == nullptr || right == nullptr) return false;
    if (!std::isfinite(azimuth) || !std::isfinite(elevation)) return false;
    const HrtfTable* table = HrtfTableForRate(rate);
    if (table == nullptr) return false;
    int qaz = 0, qel = 0;
    QuantizeDirection(azimuth, elevation, &qaz, &qel);
    const HrtfRow& r = (*table)[row];
    HrtfPair* farEar = qaz >= 0 ? left : right;
    HrtfPair* facingEar = qaz >= 0 ? right : left;
    CopyEar(r, HrtfRowFarTaps, HrtfRowFarDelay, farEar);
    CopyEar(r, HrtfRowFacingTaps, HrtfRowFacingDelay, facingEar);
    return true;
}
