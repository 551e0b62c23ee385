#include "driver/effects/src_coefficients.h"

#include <cmath>
#include <numbers>

namespace {

// The generating rule. Every table comes from one prototype low-pass: an
// ideal low-pass whose edge is the Nyquist frequency of the lower of the two
// rates, at the rate where both meet, under a Kaiser window of beta 8 (about
// 80 dB of stop-band attenuation), computed in double and rounded once.
//  - Factor 2 and factor 4: the prototype itself (66 and 132 taps, edge at
//    1/4 and 1/8 of the higher rate), scaled so that its taps sum to 1.001.
//    Zero-stuffing takes 1/k of the gain; the stage multiplies it back.
//  - Rational: 3200 taps at 160 x 44100 Hz and 3528 taps at 147 x 48000 Hz
//    (both 7056000 Hz, edge at 1/320 of it), split by phase: row p, tap j is
//    prototype tap 160 j + p (resp. 147 j + p), tap 0 on the newest input.
//    Every row is scaled to sum 1, so no phase changes the DC level and a
//    constant input leaves the stage without ripple.
constexpr double KaiserBeta = 8.0;
constexpr double FactorTableSum = 1.001;

// The zeroth-order modified Bessel function of the first kind, by its series.
double BesselI0(double x) {
    const double quarterSquare = 0.25 * x * x;
    double term = 1.0;
    double sum = 1.0;
    for (int k = 1; k < 100 && term > sum * 1e-17; ++k) {
        term *= quarterSquare / (static_cast<double>(k) * k);
        sum += term;
    }
    return sum;
}

// Tap n of a windowed-sinc low-pass of `length` taps whose edge lies at
// `cutoff` cycles per sample.
double PrototypeTap(int n, int length, double cutoff) {
    const double centre = 0.5 * (length - 1);
    const double x = n - centre;
    const double sinc =
        x == 0.0 ? 2.0 * cutoff
                 : std::sin(2.0 * std::numbers::pi * cutoff * x) / (std::numbers::pi * x);
    const double ratio = x / centre;
    const double window =
        BesselI0(KaiserBeta * std::sqrt(1.0 - ratio * ratio)) / BesselI0(KaiserBeta);
    return sinc * window;
}

template <int Length> std::array<float, Length> FactorTable(int factor) {
    const double cutoff = 0.5 / factor;
    std::array<double, Length> taps{};
    double sum = 0.0;
    for (int n = 0; n < Length; ++n) {
        taps[n] = PrototypeTap(n, Length, cutoff);
        sum += taps[n];
    }
    std::array<float, Length> table{};
    for (int n = 0; n < Length; ++n)
        table[n] = static_cast<float>(taps[n] * (FactorTableSum / sum));
    return table;
}

template <int Phases, int Taps> std::array<std::array<float, Taps>, Phases> PolyphaseTable() {
    constexpr int Length = Phases * Taps;
    constexpr double Cutoff = 1.0 / 320.0;
    std::array<std::array<float, Taps>, Phases> table{};
    for (int p = 0; p < Phases; ++p) {
        std::array<double, Taps> row{};
        double sum = 0.0;
        for (int j = 0; j < Taps; ++j) {
            row[j] = PrototypeTap(Phases * j + p, Length, Cutoff);
            sum += row[j];
        }
        for (int j = 0; j < Taps; ++j) table[p][j] = static_cast<float>(row[j] / sum);
    }
    return table;
}

} // namespace

const Src2xTable& Src2xCoefficients() {
    static const Src2xTable table = FactorTable<Src2xTaps>(2);
    return table;
}

const Src4xTable& Src4xCoefficients() {
    static const Src4xTable table = FactorTable<Src4xTaps>(4);
    return table;
}

const SrcFirUpTable& SrcFirUpCoefficients() {
    static const SrcFirUpTable table = PolyphaseTable<SrcFirUpPhases, SrcFirUpTaps>();
    return table;
}

const SrcFirDownTable& SrcFirDownCoefficients() {
    static const SrcFirDownTable table = PolyphaseTable<SrcFirDownPhases, SrcFirDownTaps>();
    return table;
}
