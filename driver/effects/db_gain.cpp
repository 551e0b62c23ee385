#include "driver/effects/db_gain.h"

#include <array>
#include <cfloat>
#include <cmath>

namespace {

constexpr int TableSteps = 200;
constexpr float ExponentLimit = 39.0f;

using PowerTable = std::array<double, TableSteps + 1>;

// base^(k/200) for k = 0..200, built once on first use (never on a packet).
PowerTable BuildTable(double base) {
    PowerTable table{};
    for (int k = 0; k <= TableSteps; ++k) table[k] = std::pow(base, double(k) / TableSteps);
    return table;
}

const PowerTable& TableOf(int base) {
    static const PowerTable ten = BuildTable(10.0);
    static const PowerTable two = BuildTable(2.0);
    return base == 10 ? ten : two;
}

// base^n for a whole n >= 0: by repeated multiplication for ten, exactly for two.
double WholePower(int base, int n) {
    if (base == 2) return std::ldexp(1.0, n);
    double power = 1.0;
    for (int i = 0; i < n; ++i) power *= 10.0;
    return power;
}

// Rounds half away from zero (fractions here are never negative).
int RoundStep(double fraction) { return static_cast<int>(fraction * TableSteps + 0.5); }

} // namespace

float GainFromDb(float base, float x) {
    if (base != 10.0f && base != 2.0f) return 0.0f;
    if (std::isnan(x)) return 0.0f;
    const int b = static_cast<int>(base);
    const double e = std::fmax(-ExponentLimit, std::fmin(ExponentLimit, x));
    const int n = static_cast<int>(e); // toward zero
    const PowerTable& table = TableOf(b);
    double result = 0.0;
    if (e >= 0.0)
        result = table[RoundStep(e - n)] * WholePower(b, n);
    else
        result = table[RoundStep(e - n + 1)] / WholePower(b, 1 - n);
    return static_cast<float>(std::fmin(result, double(FLT_MAX)));
}
