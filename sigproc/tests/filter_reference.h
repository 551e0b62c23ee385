// Reference filters for the filter tests, computed the plain way in double.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace filter_reference {

inline std::vector<float> randomSignal(std::size_t count, std::uint32_t seed,
                                       float amplitude = 1.0f) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-amplitude, amplitude);
    std::vector<float> v(count);
    for (float& x : v) x = dist(rng);
    return v;
}

// y[n] = sum over j of c[j]·x[n - j], inputs before the signal taken from
// `past` (newest first) and then 0; summed in double, oldest term first.
inline std::vector<float> convolve(const std::vector<float>& c, const std::vector<float>& x,
                                   const std::vector<float>& past = {}) {
    const auto sample = [&](std::int64_t i) -> double {
        if (i >= 0) return x[static_cast<std::size_t>(i)];
        const auto back = static_cast<std::size_t>(-i - 1);
        return back < past.size() ? past[back] : 0.0;
    };
    std::vector<float> y(x.size());
    for (std::size_t n = 0; n < x.size(); ++n) {
        double sum = 0.0;
        for (std::size_t j = c.size(); j-- > 0;) {
            sum += static_cast<double>(c[j]) *
                   sample(static_cast<std::int64_t>(n) - static_cast<std::int64_t>(j));
        }
        y[n] = static_cast<float>(sum);
    }
    return y;
}

// The multi-rate filter by its definition: x up-sampled by `up` with zeros
// (sample i at position i·up + upPhase, the samples before it from `past`,
// newest first), convolved with c (summed in double, oldest sample first),
// and every down-th value kept from position downPhase on. x holds whole
// iterations of `down` samples; each gives `up` outputs.
inline std::vector<float> multiRate(const std::vector<float>& c, int up, int upPhase, int down,
                                    int downPhase, const std::vector<float>& x,
                                    const std::vector<float>& past = {}) {
    const auto u = static_cast<std::size_t>(up);
    const std::size_t front = (past.size() + 1) * u;
    std::vector<double> upsampled(front + x.size() * u, 0.0);
    for (std::size_t i = 0; i < x.size(); ++i) upsampled[front + i * u + upPhase] = x[i];
    for (std::size_t p = 0; p < past.size(); ++p)
        upsampled[front - (p + 1) * u + upPhase] = past[p];

    const std::size_t outputs = x.size() / static_cast<std::size_t>(down) * u;
    std::vector<float> y(outputs);
    for (std::size_t o = 0; o < outputs; ++o) {
        const auto n =
            static_cast<std::int64_t>(front + o * static_cast<std::size_t>(down)) + downPhase;
        double sum = 0.0;
        for (std::size_t k = c.size(); k-- > 0;) {
            const std::int64_t at = n - static_cast<std::int64_t>(k);
            if (at >= 0) sum += static_cast<double>(c[k]) * upsampled[static_cast<std::size_t>(at)];
        }
        y[o] = static_cast<float>(sum);
    }
    return y;
}

// The difference equation a0·y[n] = sum b[k]·x[n-k] - sum over k >= 1 of a[k]·y[n-k],
// from rest, in double throughout.
inline std::vector<double> differenceEquation(const std::vector<float>& b,
                                              const std::vector<float>& a,
                                              const std::vector<float>& x) {
    std::vector<double> y(x.size());
    for (std::size_t n = 0; n < x.size(); ++n) {
        double acc = 0.0;
        for (std::size_t k = 0; k < b.size() && k <= n; ++k) acc += double{b[k]} * x[n - k];
        for (std::size_t k = 1; k < a.size() && k <= n; ++k) acc -= double{a[k]} * y[n - k];
        y[n] = acc / a[0];
    }
    return y;
}

} // namespace filter_reference
