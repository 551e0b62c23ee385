// One body per scan, written on vectors of `Width` lanes. The processor's
// maximum (minimum) gives its second operand unless the first is strictly
// above (below) it, a NaN in either place included: with the candidate first
// and the running value second it is exactly the scalar step.
#include "sigproc/vector/extreme_lanes.h"

#include <immintrin.h>

#include <cstring>

// The helpers take vectors wider than the baseline's registers, but they are
// always inlined into a build that has them, so no call crosses the ABI gcc
// warns about.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

// Spelled out per width: gcc drops the vector size of a typedef that depends
// on a template parameter. The wider sets' steps take their vectors by
// reference and are inlined only into their own builds.
template <int Width> struct ScanLanes;
template <> struct ScanLanes<4> {
    using F = float __attribute__((vector_size(16)));
    [[gnu::always_inline]] static void max(F& running, const F& c) {
        running = _mm_max_ps(c, running);
    }
    [[gnu::always_inline]] static void min(F& running, const F& c) {
        running = _mm_min_ps(c, running);
    }
};
template <> struct ScanLanes<8> {
    using F = float __attribute__((vector_size(32)));
    SIG_TARGET_AVX2 static void max(F& running, const F& c) { running = _mm256_max_ps(c, running); }
    SIG_TARGET_AVX2 static void min(F& running, const F& c) { running = _mm256_min_ps(c, running); }
};
// The masked forms with every lane set: gcc 12's headers for the plain ones
// trip their own uninitialised-use warning.
template <> struct ScanLanes<16> {
    using F = float __attribute__((vector_size(64)));
    SIG_TARGET_AVX512 static void max(F& running, const F& c) {
        running = _mm512_maskz_max_ps(0xFFFF, c, running);
    }
    SIG_TARGET_AVX512 static void min(F& running, const F& c) {
        running = _mm512_maskz_min_ps(0xFFFF, c, running);
    }
};

struct Largest {
    static bool better(float candidate, float running) { return candidate > running; }
    template <typename L> [[gnu::always_inline]] static void step(auto& running, const auto& c) {
        L::max(running, c);
    }
};
struct Smallest {
    static bool better(float candidate, float running) { return candidate < running; }
    template <typename L> [[gnu::always_inline]] static void step(auto& running, const auto& c) {
        L::min(running, c);
    }
};

template <typename Order, int Width>
[[gnu::always_inline]] inline float scan(const float* src, int len) {
    using L = ScanLanes<Width>;
    using F = typename L::F;
    const float first = src[0];
    if (first != first) return first; // nothing replaces a NaN
    F r[4];
    for (F& lanes : r)
        for (int k = 0; k < Width; ++k) lanes[k] = first;
    int i = 0;
    // Four registers in flight hide the latency of the step.
    for (; i + 4 * Width <= len; i += 4 * Width) {
        for (int j = 0; j < 4; ++j) {
            F c;
            std::memcpy(&c, src + i + j * Width, sizeof c);
            Order::template step<L>(r[j], c);
        }
    }
    for (; i + Width <= len; i += Width) {
        F c;
        std::memcpy(&c, src + i, sizeof c);
        Order::template step<L>(r[0], c);
    }
    Order::template step<L>(r[0], r[1]);
    Order::template step<L>(r[2], r[3]);
    Order::template step<L>(r[0], r[2]);
    // Folded to four lanes by the four-lane step, then lane by lane.
    using Four = ScanLanes<4>;
    float lanes[Width];
    std::memcpy(lanes, &r[0], sizeof lanes);
    typename Four::F folded;
    std::memcpy(&folded, lanes, sizeof folded);
    for (int k = 4; k < Width; k += 4) {
        typename Four::F c;
        std::memcpy(&c, lanes + k, sizeof c);
        Order::template step<Four>(folded, c);
    }
    float running = first;
    for (int k = 0; k < 4; ++k)
        if (Order::better(folded[k], running)) running = folded[k];
    for (; i < len; ++i)
        if (Order::better(src[i], running)) running = src[i];
    // `running` has the extreme value; only two zeros can share it with
    // different bits, and then the walk would keep the array's first zero.
    if (running == first) return first;
    if (running != 0.0f) return running;
    int z = 1;
    while (src[z] != 0.0f) ++z;
    return src[z];
}

float maxSse2(const float* s, int n) { return scan<Largest, 4>(s, n); }
[[gnu::flatten]] SIG_TARGET_AVX2 float maxAvx2(const float* s, int n) {
    return scan<Largest, 8>(s, n);
}
[[gnu::flatten]] SIG_TARGET_AVX512 float maxAvx512(const float* s, int n) {
    return scan<Largest, 16>(s, n);
}

float minSse2(const float* s, int n) { return scan<Smallest, 4>(s, n); }
[[gnu::flatten]] SIG_TARGET_AVX2 float minAvx2(const float* s, int n) {
    return scan<Smallest, 8>(s, n);
}
[[gnu::flatten]] SIG_TARGET_AVX512 float minAvx512(const float* s, int n) {
    return scan<Smallest, 16>(s, n);
}

} // namespace

const sigWideVariants<sigExtremeScan> sigMaxScans{maxSse2, maxAvx2, maxAvx512};
const sigWideVariants<sigExtremeScan> sigMinScans{minSse2, minAvx2, minAvx512};
