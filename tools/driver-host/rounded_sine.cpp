#include "tools/driver-host/rounded_sine.h"

#include <cmath>
#include <numbers>

namespace driverhost {
namespace {

// The approximation is within about 1e-15 of the sine (the anchors within
// an ulp, the series' remainders below 2e-15, a few roundings); a scaled
// value further than this fraction of the scale from a half rounds as the
// library's would.
constexpr double trustedFraction = 1e-12;

} // namespace

RoundedSine::RoundedSine() {
    for (int k = 0; k < anchors; ++k) {
        const double angle = 2 * std::numbers::pi * k / anchors;
        m_sin[static_cast<std::size_t>(k)] = std::sin(angle);
        m_cos[static_cast<std::size_t>(k)] = std::cos(angle);
    }
}

std::int64_t RoundedSine::operator()(double turns, double scale) const {
    const double scaled = turns * anchors; // exact
    const int k = static_cast<int>(scaled);
    if (k >= 0 && k < anchors) {
        // sin(a + d) = sin a cos d + cos a sin d, with |d| below 2 pi / anchors;
        // multiplications only, as the library calls cost no more than this.
        constexpr double radiansPerAnchor = 2 * std::numbers::pi / anchors;
        const double d = (scaled - k) * radiansPerAnchor;
        const double d2 = d * d;
        const double sinD = d * (1 - d2 * (1.0 / 6) * (1 - d2 * (1.0 / 20)));
        const double cosD = 1 - d2 * 0.5 * (1 - d2 * (1.0 / 12) * (1 - d2 * (1.0 / 30)));
        const auto at = static_cast<std::size_t>(k);
        const double value = scale * (m_sin[at] * cosD + m_cos[at] * sinD);
        // The nearest whole number, and how far the value lies from a half.
        const auto nearest = static_cast<std::int64_t>(value + (value < 0 ? -0.5 : 0.5));
        if (0.5 - std::abs(value - static_cast<double>(nearest)) > scale * trustedFraction)
            return nearest;
    }
    return std::llround(scale * std::sin(2 * std::numbers::pi * turns));
}

} // namespace driverhost
