// One pass over the taps serves a group of outputs whose sums sit side by side
// in registers of doubles: each tap is loaded and widened once per pass, and
// the additions of independent outputs overlap. The vectors run across
// outputs, never across taps, so each sum keeps the scalar order.
#include "sigproc/filters/fir_dot_lanes.h"

#include <immintrin.h>

#include <cstring>

// The helpers take vectors wider than the baseline's registers, but they are
// always inlined into a build that has them, so no call crosses the ABI gcc
// warns about.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

// Width doubles to a register: the tap in every lane, and Width consecutive
// floats widened exactly. Spelled out per width: gcc drops the vector size of
// a typedef that depends on a template parameter, and splits the eight-lane
// widening in two unless told the instruction.
template <int Width> struct DotLanes;
template <> struct DotLanes<2> {
    using D = double __attribute__((vector_size(16)));
    using F = float __attribute__((vector_size(8)));
    [[gnu::always_inline]] static void splat(double c, D& out) { out = D{c, c}; }
    [[gnu::always_inline]] static void widen(const float* p, D& out) {
        F f;
        std::memcpy(&f, p, sizeof f);
        out = __builtin_convertvector(f, D);
    }
    [[gnu::always_inline]] static void narrow(const D& sums, float* y) {
        const F f = __builtin_convertvector(sums, F);
        std::memcpy(y, &f, sizeof f);
    }
};
template <> struct DotLanes<4> {
    using D = double __attribute__((vector_size(32)));
    using F = float __attribute__((vector_size(16)));
    [[gnu::always_inline]] static void splat(double c, D& out) { out = D{c, c, c, c}; }
    [[gnu::always_inline]] static void widen(const float* p, D& out) {
        F f;
        std::memcpy(&f, p, sizeof f);
        out = __builtin_convertvector(f, D);
    }
    [[gnu::always_inline]] static void narrow(const D& sums, float* y) {
        const F f = __builtin_convertvector(sums, F);
        std::memcpy(y, &f, sizeof f);
    }
};
// Inlined only into the AVX-512 build, which flattens its calls into itself.
// The masked widening with every lane set: gcc 12's header for the plain one
// trips its own uninitialised-use warning.
template <> struct DotLanes<8> {
    using D = double __attribute__((vector_size(64)));
    using F = float __attribute__((vector_size(32)));
    // Vectors pass by reference here: a baseline caller may not pass a
    // 512-bit vector by value to a function of this set.
    SIG_TARGET_AVX512 static void splat(double c, D& out) { out = _mm512_set1_pd(c); }
    SIG_TARGET_AVX512 static void widen(const float* p, D& out) {
        out = _mm512_maskz_cvtps_pd(0xFF, _mm256_loadu_ps(p));
    }
    SIG_TARGET_AVX512 static void narrow(const D& sums, float* y) {
        const F f = __builtin_convertvector(sums, F);
        std::memcpy(y, &f, sizeof f);
    }
};

// The window a group reads, as floats widened at each load or as doubles
// widened beforehand; widening is exact, so both give the same values.
template <typename L> struct FloatWindow {
    const float* p;
    [[gnu::always_inline]] void at(int k, typename L::D& out) const { L::widen(p + k, out); }
};
template <typename L> struct WideWindow {
    const double* p;
    [[gnu::always_inline]] void at(int k, typename L::D& out) const {
        std::memcpy(&out, p + k, sizeof out);
    }
};

// Outputs y[0 .. Width·Regs - 1] in one pass over the taps.
template <int Width, int Regs, typename Window>
[[gnu::always_inline]] inline void dotGroup(const float* t, int tapsLen, Window w, float* y) {
    using L = DotLanes<Width>;
    typename L::D sums[Regs] = {};
    for (int k = 0; k < tapsLen; ++k) {
        typename L::D tap;
        L::splat(t[k], tap);
#pragma GCC unroll 8
        for (int j = 0; j < Regs; ++j) {
            typename L::D x;
            w.at(k + Width * j, x);
            sums[j] += tap * x;
        }
    }
    // Each lane rounded once, by the caller's rounding mode, as a scalar store would.
#pragma GCC unroll 8
    for (int j = 0; j < Regs; ++j) L::narrow(sums[j], y + Width * j);
}

[[gnu::always_inline]] inline void dotSingle(const float* t, int tapsLen, const float* w,
                                             float* y) {
    double sum = 0.0;
    for (int k = 0; k < tapsLen; ++k) sum += static_cast<double>(t[k]) * w[k];
    *y = static_cast<float>(sum);
}

// Doubles on the stack for a group's window: 2 KB holds a 48-output group's
// window for up to 209 taps. A longer window widens at every load instead.
inline constexpr int kWideWindowLen = 256;

// Groups of Width·Regs outputs, then of Width, then one at a time. A group's
// window is widened once when it fits the stack buffer, so the pass over the
// taps only loads, multiplies and adds.
template <int Width, int Regs>
[[gnu::always_inline]] inline void dotRun(const float* t, int tapsLen, const float* w, float* y,
                                          std::int64_t count) {
    using L = DotLanes<Width>;
    constexpr int kGroup = Width * Regs;
    std::int64_t i = 0;
    if (kGroup - 1 + std::int64_t{tapsLen} <= kWideWindowLen) {
        const int span = kGroup - 1 + tapsLen;
        double wide[kWideWindowLen];
        for (; i + kGroup <= count; i += kGroup) {
            for (int m = 0; m < span; ++m) wide[m] = w[i + m];
            dotGroup<Width, Regs>(t, tapsLen, WideWindow<L>{wide}, y + i);
        }
    }
    for (; i + kGroup <= count; i += kGroup)
        dotGroup<Width, Regs>(t, tapsLen, FloatWindow<L>{w + i}, y + i);
    for (; i + Width <= count; i += Width)
        dotGroup<Width, 1>(t, tapsLen, FloatWindow<L>{w + i}, y + i);
    for (; i < count; ++i) dotSingle(t, tapsLen, w + i, y + i);
}

// Sixteen outputs a pass in SSE2's sixteen registers; the wider sets keep
// more sums in flight, 48 (a 1 ms packet at 48 kHz) under AVX-512.
void dotRunSse2(const float* t, int n, const float* w, float* y, std::int64_t count) {
    dotRun<2, 8>(t, n, w, y, count);
}
SIG_TARGET_AVX2 void dotRunAvx2(const float* t, int n, const float* w, float* y,
                                std::int64_t count) {
    dotRun<4, 8>(t, n, w, y, count);
}
[[gnu::flatten]] SIG_TARGET_AVX512 void dotRunAvx512(const float* t, int n, const float* w,
                                                     float* y, std::int64_t count) {
    dotRun<8, 6>(t, n, w, y, count);
}

} // namespace

const sigWideVariants<sigFirDotRun> sigFirDotRuns{dotRunSse2, dotRunAvx2, dotRunAvx512};
