// Signals, streaming and checks shared by the tests of the headphone
// virtualizer; the noise planes come from test_planes.h.
#pragma once

#include "driver/common/sigproc_pool_hooks.h"
#include "driver/tests/test_planes.h"
#include "platform/kernel/pool.h"
#include "sigproc/sigproc_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace vshtest {

using Planes = TestPlanes;

// `channels` (up to 8) planes of seeded noise in [-0.5, 0.5).
inline Planes Noise(int channels, int length, std::uint32_t seed) {
    return NoisePlanes(length, seed, 0.5f, channels);
}

// One plane of seeded noise.
inline std::vector<float> Noise(int length, std::uint32_t seed) {
    return std::move(NoisePlanes(length, seed, 0.5f, 1)[0]);
}

// Splits `total` into random call lengths of 1 .. maxCall.
inline std::vector<int> RandomCalls(int total, int maxCall, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> length(1, maxCall);
    std::vector<int> calls;
    for (int done = 0; done < total;) {
        const int n = std::min(length(rng), total - done);
        calls.push_back(n);
        done += n;
    }
    return calls;
}

// `total` split into calls of `call` samples.
inline std::vector<int> Even(int total, int call) { return std::vector<int>(total / call, call); }

// The planes through `process(planes, channels, frames)` in place, in the
// given call lengths. Each call gets an array of exactly the stream's
// planes, so a read beyond them is caught by the sanitizer build.
template <typename Process>
Planes InCalls(Planes planes, const std::vector<int>& calls, Process process) {
    int at = 0;
    for (int n : calls) {
        auto p = std::make_unique<float*[]>(planes.size());
        for (std::size_t c = 0; c < planes.size(); ++c) p[c] = planes[c].data() + at;
        process(p.get(), static_cast<int>(planes.size()), n);
        at += n;
    }
    return planes;
}

inline bool IsSubnormal(float value) {
    return value != 0.0f && std::fabs(value) < std::numeric_limits<float>::min();
}

inline int CountSubnormals(const std::vector<float>& signal) {
    return static_cast<int>(std::count_if(signal.begin(), signal.end(), IsSubnormal));
}

inline bool AllFinite(const std::vector<float>& signal) {
    return std::all_of(signal.begin(), signal.end(), [](float s) { return std::isfinite(s); });
}

inline double Peak(const std::vector<float>& signal, std::size_t from = 0) {
    double peak = 0.0;
    for (std::size_t i = from; i < signal.size(); ++i)
        peak = std::max(peak, std::fabs(double(signal[i])));
    return peak;
}

// Index of the sample of largest magnitude.
inline std::ptrdiff_t PeakIndex(const std::vector<float>& signal) {
    return std::max_element(signal.begin(), signal.end(),
                            [](float a, float b) { return std::fabs(a) < std::fabs(b); }) -
           signal.begin();
}

// The two ears (planes 0 and 1) are finite and their peaks add up to at
// most `bound`.
inline void ExpectQuietEars(const Planes& out, double bound = 0.0) {
    EXPECT_TRUE(AllFinite(out[0]) && AllFinite(out[1]));
    EXPECT_LE(Peak(out[0]) + Peak(out[1]), bound);
}

// Neither ear holds a subnormal sample.
inline void ExpectNoSubnormalEars(const Planes& out) {
    EXPECT_EQ(CountSubnormals(out[0]) + CountSubnormals(out[1]), 0);
}

// `cos(2 pi cycles n)` for n from `from` on.
inline std::vector<float> Cosine(double cyclesPerSample, int from, int length) {
    std::vector<float> tone(length);
    for (int j = 0; j < length; ++j)
        tone[j] = float(std::cos(2 * 3.14159265358979323846 * cyclesPerSample * (from + j)));
    return tone;
}

// Pool requests `build` makes when none is refused.
template <typename Build> std::uint64_t PoolRequestsOf(Build build) {
    const std::uint64_t before = kernel::poolRequestCount();
    build();
    return kernel::poolRequestCount() - before;
}

// Runs `attempt(n)` with the pool's n-th request from then refused, for
// every n from `first` to `last`, and checks that nothing is left live.
template <typename Attempt>
void WithEachRequestRefused(std::uint64_t first, std::uint64_t last, Attempt attempt) {
    for (std::uint64_t failing = first; failing <= last; ++failing) {
        SCOPED_TRACE(failing);
        attempt(failing);
        kernel::clearPoolFaults();
        EXPECT_EQ(kernel::poolLiveBlocks(), 0u);
    }
}

// Routes the signal primitives' memory through the pool for the test, so
// that its ledger and fault injection reach them too.
using PoolHooksScope = CSigprocPoolHooks;

} // namespace vshtest
