// Signals and checks shared by the tests of the headphone virtualizer.
#pragma once

#include "driver/common/sigproc_pool_hooks.h"
#include "sigproc/sigproc_host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <vector>

namespace vshtest {

inline std::vector<float> Noise(std::size_t length, unsigned seed, float level = 0.5f) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> sample(-level, level);
    std::vector<float> signal(length);
    for (float& s : signal) s = sample(rng);
    return signal;
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

inline bool IsSubnormal(float value) {
    return value != 0.0f && std::fabs(value) < std::numeric_limits<float>::min();
}

inline int CountSubnormals(const std::vector<float>& signal) {
    int count = 0;
    for (float s : signal) count += IsSubnormal(s) ? 1 : 0;
    return count;
}

inline bool AllFinite(const std::vector<float>& signal) {
    for (float s : signal)
        if (!std::isfinite(s)) return false;
    return true;
}

inline double Peak(const std::vector<float>& signal, std::size_t from = 0) {
    double peak = 0.0;
    for (std::size_t i = from; i < signal.size(); ++i)
        peak = std::max(peak, std::fabs(double(signal[i])));
    return peak;
}

// Routes the signal primitives' memory through the pool for the test, so
// that its ledger and fault injection reach them too.
class PoolHooksScope {
public:
    PoolHooksScope() : previous_(&sigCurrentMemoryHooks()) { InstallSigprocPoolHooks(); }
    ~PoolHooksScope() { sigSetMemoryHooks(previous_); }
    PoolHooksScope(const PoolHooksScope&) = delete;
    PoolHooksScope& operator=(const PoolHooksScope&) = delete;

private:
    const sigMemoryHooks* previous_;
};

} // namespace vshtest
