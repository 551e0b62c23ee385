// Float to integer PCM with a power-of-two scale, rounding and saturation.
//
// The scaled value y = x * 2^-n is held in the 80-bit extended format, where
// it is exact for every float and every scale factor that can give a result
// other than saturation or zero; the rounding sums y +- 0.5 are formed there
// too, so a tie is always detected exactly. Results never depend on the
// caller's rounding mode.
#include "sigproc/vector/convert.h"

#include "sigproc/core/dispatch.h"
#include "sigproc/sigproc.h"

#include <bit>
#include <cmath>
#include <limits>

static_assert(std::numeric_limits<long double>::digits == 64,
              "the conversions need the 80-bit extended format");

std::int32_t sigTruncToInt32(long double value) {
    if (!(value > -2147483649.0L && value < 2147483648.0L)) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

namespace {

struct Range {
    long double min;
    long double max;
};

constexpr Range k16Bit{-32768.0L, 32767.0L};
constexpr Range k24Bit{-8388608.0L, 8388607.0L};
constexpr Range k32Bit{-2147483648.0L, 2147483647.0L};

// Round mode 0.
struct TowardZero {
    static std::int32_t apply(long double y, Range r) {
        if (y > r.max) return static_cast<std::int32_t>(r.max);
        if (y < r.min) return static_cast<std::int32_t>(r.min);
        if (std::isnan(y)) return 0;
        return sigTruncToInt32(y);
    }
};

// Round mode 1: add one half away from zero, truncate, and step a tie that
// landed on an odd value back toward zero.
struct NearestEven {
    static std::int32_t apply(long double y, Range r) {
        if (y > r.max) return static_cast<std::int32_t>(r.max);
        if (y < r.min) return static_cast<std::int32_t>(r.min);
        if (std::isnan(y)) return 0;
        const bool positive = y >= 0; // -0.0 counts as positive
        const long double sum = positive ? y + 0.5L : y - 0.5L;
        std::int32_t t = sigTruncToInt32(sum);
        if ((t & 1) != 0 && static_cast<long double>(t) == sum) t += positive ? -1 : 1;
        return t;
    }
};

// Any other round mode. A NaN passes the bound tests and truncates to INT32_MIN.
struct NearestAway {
    static std::int32_t apply(long double y, Range r) {
        if (y >= r.max) return static_cast<std::int32_t>(r.max);
        if (y <= r.min) return static_cast<std::int32_t>(r.min);
        return sigTruncToInt32(y >= 0 ? y + 0.5L : y - 0.5L);
    }
};

inline void store(std::int16_t* dst, int i, std::int32_t v) {
    dst[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(v));
}
inline void store(std::int32_t* dst, int i, std::int32_t v) { dst[i] = v; }
inline void store(unsigned char* dst, int i, std::int32_t v) {
    const auto bits = static_cast<std::uint32_t>(v);
    unsigned char* sample = dst + std::size_t(3) * static_cast<std::size_t>(i);
    sample[0] = static_cast<unsigned char>(bits);
    sample[1] = static_cast<unsigned char>(bits >> 8);
    sample[2] = static_cast<unsigned char>(bits >> 16);
}

template <typename Rounding, typename Out>
void convertUnscaled(const float* src, Out* dst, int len, Range range) {
    for (int i = 0; i < len; ++i) store(dst, i, Rounding::apply(src[i], range));
}

template <typename Rounding, typename Out>
void convertScaled(const float* src, Out* dst, int len, long double multiplier, Range range) {
    for (int i = 0; i < len; ++i) store(dst, i, Rounding::apply(multiplier * src[i], range));
}

template <typename Rounding, typename Out>
void convert(const float* src, Out* dst, int len, int scaleFactor, long double multiplier,
             Range range) {
    if (scaleFactor == 0)
        convertUnscaled<Rounding>(src, dst, len, range);
    else
        convertScaled<Rounding>(src, dst, len, multiplier, range);
}

// 2^-n in the extended format, as repeated halving or doubling of 1 would give
// it: exact down to 2^-16445, 0 below, +infinity from 2^16384 up.
long double extendedMultiplier(int scaleFactor) {
    constexpr std::int64_t kBeyondRange = 20000; // past both ends of the extended range
    std::int64_t exponent = -std::int64_t{scaleFactor};
    if (exponent > kBeyondRange) exponent = kBeyondRange;
    if (exponent < -kBeyondRange) exponent = -kBeyondRange;
    return std::ldexp(1.0L, static_cast<int>(exponent));
}

template <typename Out>
int convertWithMode(const float* src, Out* dst, int len, int roundMode, int scaleFactor,
                    Range range) {
    if (src == nullptr || dst == nullptr) return sigErrNullPtr;
    if (len < 1) return sigErrLength;
    const long double multiplier = extendedMultiplier(scaleFactor);
    switch (roundMode) {
    case 0: convert<TowardZero>(src, dst, len, scaleFactor, multiplier, range); break;
    case 1: convert<NearestEven>(src, dst, len, scaleFactor, multiplier, range); break;
    default: convert<NearestAway>(src, dst, len, scaleFactor, multiplier, range); break;
    }
    return sigOk;
}

} // namespace

int sigConvertScaled_32f16s_generic(const float* src, std::int16_t* dst, int len, int roundMode,
                                    int scaleFactor) {
    return convertWithMode(src, dst, len, roundMode, scaleFactor, k16Bit);
}

int sigConvertScaled_32f32s_generic(const float* src, std::int32_t* dst, int len, int roundMode,
                                    int scaleFactor) {
    return convertWithMode(src, dst, len, roundMode, scaleFactor, k32Bit);
}

// Always rounds to nearest with ties to even. The multiplier is the float
// whose exponent field is 127 - n, n clamped to [-127, 127]: 2^-n, or +0.0 at 127.
int sigConvertScaled_32f24s_generic(const float* src, unsigned char* dst, int len,
                                    int scaleFactor) {
    if (src == nullptr || dst == nullptr) return sigErrNullPtr;
    if (len < 1) return sigErrLength;
    const int n = scaleFactor > 127 ? 127 : (scaleFactor < -127 ? -127 : scaleFactor);
    const float multiplier = std::bit_cast<float>(static_cast<std::uint32_t>(127 - n) << 23);
    convert<NearestEven>(src, dst, len, n, multiplier, k24Bit);
    return sigOk;
}

int sigConvertScaled_32f16s(const float* src, std::int16_t* dst, int len, int roundMode,
                            int scaleFactor) {
    return sigDispatch<decltype(sigConvertScaled_32f16s_generic)>(
        sigDispatchTable[sigGroupConvertScaled_32f16s], src, dst, len, roundMode, scaleFactor);
}

int sigConvertScaled_32f32s(const float* src, std::int32_t* dst, int len, int roundMode,
                            int scaleFactor) {
    return sigDispatch<decltype(sigConvertScaled_32f32s_generic)>(
        sigDispatchTable[sigGroupConvertScaled_32f32s], src, dst, len, roundMode, scaleFactor);
}

int sigConvertScaled_32f24s(const float* src, unsigned char* dst, int len, int scaleFactor) {
    return sigDispatch<decltype(sigConvertScaled_32f24s_generic)>(
        sigDispatchTable[sigGroupConvertScaled_32f24s], src, dst, len, scaleFactor);
}
