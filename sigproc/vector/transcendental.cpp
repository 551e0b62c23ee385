// Results are formed in double precision and rounded to single once.
#include "sigproc/vector/transcendental.h"

#include "sigproc/sigproc.h"
#include "sigproc/vector/created_nan.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

constexpr std::uint32_t kPositiveQuietNanBits = 0x7FC00000u;
constexpr std::uint32_t kSignBit = 0x80000000u;
constexpr float kInf = std::numeric_limits<float>::infinity();

inline std::uint32_t bitsOf(float f) { return std::bit_cast<std::uint32_t>(f); }
inline float floatOf(std::uint32_t b) { return std::bit_cast<float>(b); }
inline bool isQuietNanPattern(std::uint32_t b) { return (b & 0x7FC00000u) == 0x7FC00000u; }

// ---- exponential

// Screening limits of the four-at-a-time path, as bit patterns compared
// unsigned: from -87.3365478515625 down, and from 88.72283935546875 up, the
// result is 0 or infinity (or the NaN such a pattern is).
constexpr std::uint32_t kNegativeLimitBits = 0xC2AEAC50u;
constexpr std::uint32_t kPositiveLimitBits = 0x42B17218u;
constexpr double kShortPathOverflow = 88.72284;

constexpr double kLog2e = 1.4426950408889634;
constexpr double kLn2 = 0.6931471805599453;
constexpr double kTwo52 = 4503599627370496.0;

struct Reduced {
    int k;      // x * log2(e) rounded to an integer
    double num; // numerator and denominator of the [3/3] Pade form of e^r
    double den;
};

Reduced reduce(float xf) {
    const double x = xf;
    const double shift = std::signbit(xf) ? -kTwo52 : kTwo52;
    const double t = x * kLog2e + shift;
    const double k = t - shift;
    const double r = x - k * kLn2;
    const double r2 = r * r;
    const double even = 12.0 * (r2 + 10.0);
    const double odd = r * (r2 + 60.0);
    return {static_cast<int>(k), even + odd, even - odd};
}

// 2^k by the exponent field: the screening keeps the sum off the sign bit.
float scaleByPowerOfTwo(float mantissa, int k) {
    const std::uint32_t step = static_cast<std::uint32_t>(k < 0 ? -k : k) << 23;
    const std::uint32_t b = bitsOf(mantissa);
    return floatOf(k >= 0 ? b + step : b - step);
}

// Four elements share one division: each quotient is its numerator times the
// reciprocal of all four denominators times the other three.
void expFour(float* v, const std::array<int, 4>& at) {
    std::array<Reduced, 4> e;
    for (int i = 0; i < 4; ++i) e[i] = reduce(v[at[i]]);
    const double d01 = e[0].den * e[1].den;
    const double d23 = e[2].den * e[3].den;
    const double q = 1.0 / (d01 * d23);
    const std::array<double, 4> others{e[1].den * d23, e[0].den * d23, d01 * e[3].den,
                                       d01 * e[2].den};
    for (int i = 0; i < 4; ++i) {
        const float mantissa = static_cast<float>(e[i].num * q * others[i]);
        v[at[i]] = scaleByPowerOfTwo(mantissa, e[i].k);
    }
}

inline float expSingle(float x) { return static_cast<float>(std::exp(double(x))); }

// Screens one element; returns false when it needs evaluating.
bool screen(float& x) {
    const std::uint32_t b = bitsOf(x);
    if ((b & ~kSignBit) < 0x00800000u) {
        x = 1.0f;
        return true;
    }
    if ((b & kSignBit) != 0) {
        if (b < kNegativeLimitBits) return false;
        x = isQuietNanPattern(b) ? sigCreatedNan : 0.0f;
        return true;
    }
    if (b < kPositiveLimitBits) return false;
    x = isQuietNanPattern(b) ? floatOf(kPositiveQuietNanBits) : kInf;
    return true;
}

} // namespace

int sigSqrtInPlace_32f_generic(float* srcDst, int len) {
    if (srcDst == nullptr) return sigErrNullPtr;
    if (len <= 0) return sigErrLength;
    int status = sigOk;
    for (int i = 0; i < len; ++i) {
        const float x = srcDst[i];
        if (x > 0.0f) {
            srcDst[i] = static_cast<float>(std::sqrt(double(x)));
        } else if (x < 0.0f) {
            srcDst[i] = sigCreatedNan;
            status = sigWarnSqrtNegative;
        }
        // +-0 and NaN stay as they are.
    }
    return status;
}

// The status names the first exceptional element in index order.
int sigLnInPlace_32f_generic(float* srcDst, int len) {
    if (srcDst == nullptr) return sigErrNullPtr;
    if (len <= 0) return sigErrLength;
    int status = sigOk;
    for (int i = 0; i < len; ++i) {
        const std::uint32_t b = bitsOf(srcDst[i]);
        if ((b & kSignBit) != 0) {
            srcDst[i] = sigCreatedNan;
            if (status == sigOk) status = sigWarnLnNegative;
        } else if (isQuietNanPattern(b)) {
            srcDst[i] = floatOf(kPositiveQuietNanBits);
        } else if (b == 0) {
            srcDst[i] = -kInf;
            if (status == sigOk) status = sigWarnLnZero;
        } else {
            srcDst[i] = static_cast<float>(std::log(double(srcDst[i])));
        }
    }
    return status;
}

// Short vectors take the double exponential element by element. Longer ones
// are scanned from the end: special inputs are settled at once, ordinary ones
// gathered and evaluated four at a time, and up to three left over at the
// front again with the double exponential.
int sigExpInPlace_32f_generic(float* srcDst, int len) {
    if (srcDst == nullptr) return sigErrNullPtr;
    if (len <= 0) return sigErrLength;
    if (len < 4) {
        for (int i = 0; i < len; ++i)
            srcDst[i] = double(srcDst[i]) > kShortPathOverflow ? kInf : expSingle(srcDst[i]);
        return sigOk;
    }
    std::array<int, 4> gathered{};
    std::size_t count = 0;
    for (int i = len - 1; i >= 0; --i) {
        if (screen(srcDst[i])) continue;
        gathered[count++] = i;
        if (count == 4) {
            expFour(srcDst, gathered);
            count = 0;
        }
    }
    for (std::size_t c = 0; c < count; ++c) srcDst[gathered[c]] = expSingle(srcDst[gathered[c]]);
    return sigOk;
}
