#include "sigproc/fft/trig_tables.h"

#include "sigproc/fft/bit_reverse.h"
#include "sigproc/fft/nearest_rounding.h"

#include <cmath>
#include <cstddef>
#include <numbers>

namespace {

inline void storeCosNegSin(float* at, const sigFftSine& sine, std::int64_t k, int q) {
    float c;
    float s;
    sine.cosSin(k, q, c, s);
    at[0] = c;
    at[1] = -s;
}

} // namespace

const std::array<float, 257>& sigSinQuarter1024_32f() {
    // Records built at the same time on several threads are safe: a local
    // static is initialised once, and the others wait for it (sigproc must
    // never be built with -fno-threadsafe-statics).
    static const std::array<float, 257> table = [] {
        sigNearestRounding nearest;
        std::array<float, 257> values{};
        sigFftBuildSine(values.data(), 10);
        return values;
    }();
    return table;
}

sigFftSine sigFftStaticSine() { return {sigSinQuarter1024_32f().data(), 10}; }

void sigFftSine::cosSin(std::int64_t k, int q, float& c, float& s) const {
    const std::int64_t quarterLength = (std::int64_t{1} << order) / 4;
    const std::int64_t p = k << (order - q);
    const float* t = quarter;
    if (p <= quarterLength) {
        s = t[p];
        c = t[quarterLength - p];
    } else if (p <= 2 * quarterLength) {
        const std::int64_t e = p - quarterLength; // sin(x) = cos(x - pi/2)
        s = t[quarterLength - e];
        c = -t[e];
    } else if (p <= 3 * quarterLength) {
        const std::int64_t e = p - 2 * quarterLength; // sin(x) = -sin(x - pi)
        s = -t[e];
        c = -t[quarterLength - e];
    } else {
        const std::int64_t e = p - 3 * quarterLength; // sin(x) = -cos(x - 3pi/2)
        s = -t[quarterLength - e];
        c = t[e];
    }
}

void sigFftBuildSine(float* table, int t) {
    const std::int64_t quarterLength = (std::int64_t{1} << t) / 4;
    const double step = 2.0 * std::numbers::pi / static_cast<double>(std::int64_t{1} << t);
    for (std::int64_t k = 0; k <= quarterLength / 2; ++k) {
        table[k] = static_cast<float>(std::sin(static_cast<double>(k) * step));
    }
    for (std::int64_t k = quarterLength / 2 + 1; k < quarterLength; ++k) {
        table[k] = static_cast<float>(std::cos(static_cast<double>(quarterLength - k) * step));
    }
    table[quarterLength] = 1.0f;
}

void sigFftBuildTwiddleGroups(float* groups, int q, const sigFftSine& sine) {
    const std::int64_t last = (std::int64_t{1} << q) / 4;
    for (std::int64_t i = 0; i <= last; ++i, groups += 6) {
        storeCosNegSin(groups, sine, i, q);
        storeCosNegSin(groups + 2, sine, 2 * i, q);
        storeCosNegSin(groups + 4, sine, 3 * i, q);
    }
}

void sigFftBuildRotation(float* table, int q, const sigFftSine& sine) {
    const std::int64_t count = (std::int64_t{1} << q) / 4;
    for (std::int64_t k = 0; k < count; ++k) storeCosNegSin(table + 2 * k, sine, k, q);
}

void sigFftBuildRealSplit(float* table, int n, const sigFftSine& sine) {
    const std::int64_t count = (std::int64_t{1} << n) / 4;
    for (std::int64_t k = 0; k < count; ++k) {
        float c;
        float s;
        sine.cosSin(k, n, c, s);
        table[2 * k] = 0.5f * c;
        table[2 * k + 1] = 0.5f - 0.5f * s;
    }
}

void sigFftBuildLevelMatrix(float* matrix, int m, int a, const sigFftSine& sine, float* scratch) {
    const std::int64_t rows = std::int64_t{1} << a;
    const std::int64_t rowLength = std::int64_t{1} << (m - a);
    float* vectors[4];
    for (int u = 0; u < 4; ++u) vectors[u] = scratch + 2 * rows * u;
    auto* pairs = reinterpret_cast<std::int32_t*>(scratch + 8 * rows);
    sigFftBuildPairTable(pairs, a);

    for (std::int64_t g = 0; g < rowLength / 4; ++g) {
        for (int u = 0; u < 4; ++u) {
            const std::int64_t column = 4 * g + u;
            for (std::int64_t j = 0; j < rows; ++j)
                storeCosNegSin(vectors[u] + 2 * j, sine, column * j, m);
            sigFftBitRevInPlace_32fc(vectors[u], a, pairs);
        }
        for (std::int64_t c = 0; c < rows; ++c) {
            for (int u = 0; u < 4; ++u) {
                *matrix++ = vectors[u][2 * c];
                *matrix++ = vectors[u][2 * c + 1];
            }
        }
    }
}
