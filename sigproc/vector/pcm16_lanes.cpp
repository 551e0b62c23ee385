// One body per conversion, written on vectors of `Width` lanes; every lane
// takes the same operations in the same order, so each instruction set's
// build gives the same bits. What remains after the full vectors goes through
// the four-lane body, the last few samples on a zero-padded copy (a small
// copy keeps the wide builds from realigning the stack on every call).
#include "sigproc/vector/pcm16_lanes.h"

#include "sigproc/sigproc.h"

#include <immintrin.h>

#include <cstring>

// The helpers below take and return vectors wider than the baseline's
// registers, but they are always inlined into a build that has them, so no
// call crosses the ABI gcc warns about. For the same reason the bits are
// reinterpreted with the builtin, never with std::bit_cast, which an
// unoptimised build calls as a baseline function.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

// 16-bit samples widened to 32-bit lanes.
template <typename S, typename I>
[[gnu::always_inline]] inline void loadWidened(const std::int16_t* p, I& out) {
    S x;
    std::memcpy(&x, p, sizeof x);
    out = __builtin_convertvector(x, I);
}

// The vector types of each width and the steps that need the set's own
// instructions. Spelled out per width: gcc drops the vector size of a typedef
// that depends on a template parameter. The wider sets' helpers take their
// vectors by reference (a baseline caller may not pass them by value) and are
// inlined only into their own builds, which flatten their calls.
template <int Width> struct LaneTypes;
template <> struct LaneTypes<4> {
    using F = float __attribute__((vector_size(16)));
    using I = std::int32_t __attribute__((vector_size(16)));
    using S = std::int16_t __attribute__((vector_size(8)));
    static constexpr bool kRoundsToEven = false; // SSE2 has no rounding instruction
    [[gnu::always_inline]] static void clamp(F& c, float low, float high) {
        c = _mm_max_ps(_mm_set1_ps(low), _mm_min_ps(_mm_set1_ps(high), c));
    }
    [[gnu::always_inline]] static void loadWide(const std::int16_t* p, I& out) {
        loadWidened<S>(p, out);
    }
};
template <> struct LaneTypes<8> {
    using F = float __attribute__((vector_size(32)));
    using I = std::int32_t __attribute__((vector_size(32)));
    using S = std::int16_t __attribute__((vector_size(16)));
    static constexpr bool kRoundsToEven = true;
    SIG_TARGET_AVX2 static void clamp(F& c, float low, float high) {
        c = _mm256_max_ps(_mm256_set1_ps(low), _mm256_min_ps(_mm256_set1_ps(high), c));
    }
    SIG_TARGET_AVX2 static void roundToEven(F& c) {
        c = _mm256_round_ps(c, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    }
    [[gnu::always_inline]] static void loadWide(const std::int16_t* p, I& out) {
        loadWidened<S>(p, out);
    }
};
template <> struct LaneTypes<16> {
    using F = float __attribute__((vector_size(64)));
    using I = std::int32_t __attribute__((vector_size(64)));
    using S = std::int16_t __attribute__((vector_size(32)));
    static constexpr bool kRoundsToEven = true;
    // The masked forms with every lane set: gcc 12's headers for the plain
    // ones trip their own uninitialised-use warning.
    SIG_TARGET_AVX512 static void clamp(F& c, float low, float high) {
        c = _mm512_maskz_max_ps(0xFFFF, _mm512_set1_ps(low),
                                _mm512_maskz_min_ps(0xFFFF, _mm512_set1_ps(high), c));
    }
    SIG_TARGET_AVX512 static void roundToEven(F& c) {
        c = _mm512_maskz_roundscale_ps(0xFFFF, c, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    }
    // gcc splits the generic sixteen-lane widening in two.
    SIG_TARGET_AVX512 static void loadWide(const std::int16_t* p, I& out) {
        out = reinterpret_cast<I>(_mm512_maskz_cvtepi16_epi32(
            0xFFFF, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))));
    }
};

template <int Width> struct Lanes : LaneTypes<Width> {
    using LaneTypes<Width>::kRoundsToEven;
    using LaneTypes<Width>::loadWide;
    using F = typename LaneTypes<Width>::F;
    using I = typename LaneTypes<Width>::I;
    using S = typename LaneTypes<Width>::S;

    // Bitwise select: a where the mask is all ones, b where it is 0.
    [[gnu::always_inline]] static F select(I mask, F a, F b) {
        return __builtin_bit_cast(F, (mask & __builtin_bit_cast(I, a)) |
                                         (~mask & __builtin_bit_cast(I, b)));
    }

    // The value clamped to the 16-bit bounds, 0 for a NaN. The processor's
    // minimum and maximum return their second operand where the first is not
    // below or above it, so once the NaNs are gone they clamp as comparisons
    // would.
    [[gnu::always_inline]] static F saturate(F y) {
        F c = select(y == y, y, F{});
        LaneTypes<Width>::clamp(c, -32768.0f, 32767.0f);
        return c;
    }
};

// Each rounding takes the saturated value c and gives the integer, from its
// truncation t and the exact remainder c - t (same sign as c, magnitude below
// 1). Comparisons give all-ones lanes, so `up & (negative | 1)` is one step
// away from zero where the value rounds up and 0 elsewhere.
template <typename L> struct Truncation {
    typename L::I t;
    typename L::F rest;
    typename L::F magnitude;
    typename L::I negative;

    [[gnu::always_inline]] explicit Truncation(typename L::F c)
        : t(__builtin_convertvector(c, typename L::I)),
          rest(c - __builtin_convertvector(t, typename L::F)),
          magnitude(__builtin_bit_cast(typename L::F,
                                       __builtin_bit_cast(typename L::I, rest) & 0x7FFFFFFF)),
          negative(rest < 0.0f) {}
};

struct TowardZero {
    template <typename L> [[gnu::always_inline]] static typename L::I round(typename L::F c) {
        return __builtin_convertvector(c, typename L::I);
    }
};

// The wider sets round to nearest even in one instruction whose mode is
// given in the instruction, not read from the caller's MXCSR; it is exact, so
// it gives what the comparisons give. It can be inlined only into a build of
// its set, so those builds flatten their whole call tree into themselves.
struct NearestEven {
    template <typename L> [[gnu::always_inline]] static typename L::I round(typename L::F c) {
        if constexpr (L::kRoundsToEven) {
            typename L::F rounded = c;
            L::roundToEven(rounded);
            return __builtin_convertvector(rounded, typename L::I);
        } else {
            const Truncation<L> v(c);
            const typename L::I odd = -(v.t & 1); // all ones for an odd value
            const typename L::I up = (v.magnitude > 0.5f) | ((v.magnitude == 0.5f) & odd);
            return v.t + (up & (v.negative | 1));
        }
    }
};

struct NearestAway {
    template <typename L> [[gnu::always_inline]] static typename L::I round(typename L::F c) {
        const Truncation<L> v(c);
        const typename L::I up = v.magnitude >= 0.5f;
        return v.t + (up & (v.negative | 1));
    }
};

template <typename Rounding, int Width>
[[gnu::always_inline]] inline void to16Block(const float* src, std::int16_t* dst, float m) {
    using L = Lanes<Width>;
    typename L::F x;
    std::memcpy(&x, src, sizeof x);
    const typename L::S out =
        __builtin_convertvector(Rounding::template round<L>(L::saturate(x * m)), typename L::S);
    std::memcpy(dst, &out, sizeof out);
}

// Up to three samples, element by element: a call to memcpy here would make
// the wide builds save their vectors and realign the stack on every call.
template <typename T> [[gnu::always_inline]] inline void copyFew(const T* from, T* to, int count) {
    if (count > 0) to[0] = from[0];
    if (count > 1) to[1] = from[1];
    if (count > 2) to[2] = from[2];
}

template <typename Rounding, int Width>
[[gnu::always_inline]] inline void to16(const float* src, std::int16_t* dst, int len, float m) {
    int i = 0;
#pragma GCC unroll 2
    for (; i + Width <= len; i += Width) to16Block<Rounding, Width>(src + i, dst + i, m);
    for (; i + 4 <= len; i += 4) to16Block<Rounding, 4>(src + i, dst + i, m);
    if (i == len) return;
    float in[4] = {};
    std::int16_t out[4];
    copyFew(src + i, in, len - i);
    to16Block<Rounding, 4>(in, out, m);
    copyFew(out, dst + i, len - i);
}

template <int Width>
[[gnu::always_inline]] inline void from16Block(const std::int16_t* src, float* dst, float m) {
    using L = Lanes<Width>;
    // Widened to 32 bits first: gcc converts 16-bit lanes to float one by one.
    typename L::I wide;
    L::loadWide(src, wide);
    const typename L::F y = __builtin_convertvector(wide, typename L::F) * m;
    std::memcpy(dst, &y, sizeof y);
}

template <int Width>
[[gnu::always_inline]] inline void from16(const std::int16_t* src, float* dst, int len, float m) {
    int i = 0;
#pragma GCC unroll 2
    for (; i + Width <= len; i += Width) from16Block<Width>(src + i, dst + i, m);
    for (; i + 4 <= len; i += 4) from16Block<4>(src + i, dst + i, m);
    if (i == len) return;
    std::int16_t in[4] = {};
    float out[4];
    copyFew(src + i, in, len - i);
    from16Block<4>(in, out, m);
    copyFew(out, dst + i, len - i);
}

// The builds: 4, 8 and 16 lanes.
int towardZeroSse2(const float* s, std::int16_t* d, int n, float m) {
    to16<TowardZero, 4>(s, d, n, m);
    return sigOk;
}
[[gnu::flatten]] SIG_TARGET_AVX2 int towardZeroAvx2(const float* s, std::int16_t* d, int n,
                                                    float m) {
    to16<TowardZero, 8>(s, d, n, m);
    return sigOk;
}
[[gnu::flatten]] SIG_TARGET_AVX512 int towardZeroAvx512(const float* s, std::int16_t* d, int n,
                                                        float m) {
    to16<TowardZero, 16>(s, d, n, m);
    return sigOk;
}

int nearestEvenSse2(const float* s, std::int16_t* d, int n, float m) {
    to16<NearestEven, 4>(s, d, n, m);
    return sigOk;
}
[[gnu::flatten]] SIG_TARGET_AVX2 int nearestEvenAvx2(const float* s, std::int16_t* d, int n,
                                                     float m) {
    to16<NearestEven, 8>(s, d, n, m);
    return sigOk;
}
[[gnu::flatten]] SIG_TARGET_AVX512 int nearestEvenAvx512(const float* s, std::int16_t* d, int n,
                                                         float m) {
    to16<NearestEven, 16>(s, d, n, m);
    return sigOk;
}

int nearestAwaySse2(const float* s, std::int16_t* d, int n, float m) {
    to16<NearestAway, 4>(s, d, n, m);
    return sigOk;
}
[[gnu::flatten]] SIG_TARGET_AVX2 int nearestAwayAvx2(const float* s, std::int16_t* d, int n,
                                                     float m) {
    to16<NearestAway, 8>(s, d, n, m);
    return sigOk;
}
[[gnu::flatten]] SIG_TARGET_AVX512 int nearestAwayAvx512(const float* s, std::int16_t* d, int n,
                                                         float m) {
    to16<NearestAway, 16>(s, d, n, m);
    return sigOk;
}

int from16sSse2(const std::int16_t* s, float* d, int n, float m) {
    from16<4>(s, d, n, m);
    return sigOk;
}
[[gnu::flatten]] SIG_TARGET_AVX2 int from16sAvx2(const std::int16_t* s, float* d, int n, float m) {
    from16<8>(s, d, n, m);
    return sigOk;
}
[[gnu::flatten]] SIG_TARGET_AVX512 int from16sAvx512(const std::int16_t* s, float* d, int n,
                                                     float m) {
    from16<16>(s, d, n, m);
    return sigOk;
}

} // namespace

const sigWideVariants<sigTo16sLoop> sigTo16sTowardZero{towardZeroSse2, towardZeroAvx2,
                                                       towardZeroAvx512};
const sigWideVariants<sigTo16sLoop> sigTo16sNearestEven{nearestEvenSse2, nearestEvenAvx2,
                                                        nearestEvenAvx512};
const sigWideVariants<sigTo16sLoop> sigTo16sNearestAway{nearestAwaySse2, nearestAwayAvx2,
                                                        nearestAwayAvx512};
const sigWideVariants<sigFrom16sLoop> sigFrom16sScaled{from16sSse2, from16sAvx2, from16sAvx512};
