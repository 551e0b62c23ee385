// Float to integer PCM with a power-of-two scale, rounding and saturation.
//
// The scaled value y = x * 2^-n must be exact, and so must the rounding sums
// y +- 0.5, so that a tie is always detected exactly and results never depend
// on the caller's rounding mode. For the scale factors callers use, double is
// wide enough for all of that (a float times 2^-n with |n| <= 300 stays a
// normal double, and the sums span at most 33 significant bits where they
// matter); beyond them the work moves to the 80-bit extended format, which
// covers every factor the way repeated halving or doubling in it would.
#include "sigproc/vector/convert.h"

#include "sigproc/core/dispatch.h"
#include "sigproc/sigproc.h"
#include "sigproc/vector/pcm16_lanes.h"

#include <cmath>
#include <limits>

static_assert(std::numeric_limits<long double>::digits == 64,
              "the conversions need the 80-bit extended format");

namespace {

struct Range {
    double min;
    double max;
};

constexpr Range k16Bit{-32768.0, 32767.0};
constexpr Range k24Bit{-8388608.0, 8388607.0};
constexpr Range k32Bit{-2147483648.0, 2147483647.0};

// The value clamped to the bounds, and 0 for a NaN. Written as selects rather
// than branches so that the element loops vectorise.
template <typename Wide> Wide saturate(Wide y, Range r) {
    Wide c = y > Wide(r.max) ? Wide(r.max) : y;
    c = c < Wide(r.min) ? Wide(r.min) : c;
    return y == y ? c : Wide(0);
}

// Round mode 0: saturate, a NaN gives 0, anything else truncates.
struct TowardZero {
    template <typename Wide> static std::int32_t apply(Wide y, Range r) {
        return static_cast<std::int32_t>(saturate(y, r));
    }
};

// Round mode 1: saturate (a NaN gives 0), add one half away from zero,
// truncate, and step a tie that landed on an odd value back toward zero. A
// saturated value stays put: the bounds are integers, so the sum never ties.
struct NearestEven {
    template <typename Wide> static std::int32_t apply(Wide y, Range r) {
        const Wide c = saturate(y, r);
        const bool positive = c >= 0; // -0.0 counts as positive
        const Wide sum = positive ? c + Wide(0.5) : c - Wide(0.5);
        std::int32_t t = static_cast<std::int32_t>(sum);
        const bool tie = (t & 1) != 0 && static_cast<Wide>(t) == sum;
        return tie ? t + (positive ? -1 : 1) : t;
    }
};

// Any other round mode: ties away from zero. A NaN is not caught by the bound
// tests and truncates to INT32_MIN, as an out-of-range conversion gives it.
struct NearestAway {
    template <typename Wide> static std::int32_t apply(Wide y, Range r) {
        const Wide c = saturate(y, r);
        const std::int32_t t = static_cast<std::int32_t>(c >= 0 ? c + Wide(0.5) : c - Wide(0.5));
        return y == y ? t : std::numeric_limits<std::int32_t>::min();
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
    for (int i = 0; i < len; ++i) store(dst, i, Rounding::apply(double{src[i]}, range));
}

template <typename Rounding, typename Wide, typename Out>
void convertScaled(const float* src, Out* dst, int len, Wide multiplier, Range range) {
    for (int i = 0; i < len; ++i) store(dst, i, Rounding::apply(multiplier * Wide{src[i]}, range));
}

// Factors within which every scaled float and its rounding sums are exact in double.
constexpr int kDoubleExactFactor = 300;

// 2^-n in the extended format, as repeated halving or doubling of 1 would give
// it: exact down to 2^-16445, 0 below, +infinity from 2^16384 up.
long double extendedMultiplier(int scaleFactor) {
    constexpr std::int64_t kBeyondRange = 20000; // past both ends of the extended range
    std::int64_t exponent = -std::int64_t{scaleFactor};
    if (exponent > kBeyondRange) exponent = kBeyondRange;
    if (exponent < -kBeyondRange) exponent = -kBeyondRange;
    return std::ldexp(1.0L, static_cast<int>(exponent));
}

// Picks the loop once per call: unscaled, scaled in double, or scaled in the extended format.
template <typename Rounding, typename Out>
void convert(const float* src, Out* dst, int len, int scaleFactor, Range range) {
    if (scaleFactor == 0)
        convertUnscaled<Rounding>(src, dst, len, range);
    else if (scaleFactor >= -kDoubleExactFactor && scaleFactor <= kDoubleExactFactor)
        convertScaled<Rounding>(src, dst, len, std::ldexp(1.0, -scaleFactor), range);
    else
        convertScaled<Rounding>(src, dst, len, extendedMultiplier(scaleFactor), range);
}

template <typename Out>
int convertWithMode(const float* src, Out* dst, int len, int roundMode, int scaleFactor,
                    Range range) {
    if (src == nullptr || dst == nullptr) return sigErrNullPtr;
    if (len < 1) return sigErrLength;
    switch (roundMode) {
    case 0:
        convert<TowardZero>(src, dst, len, scaleFactor, range);
        break;
    case 1:
        convert<NearestEven>(src, dst, len, scaleFactor, range);
        break;
    default:
        convert<NearestAway>(src, dst, len, scaleFactor, range);
        break;
    }
    return sigOk;
}

} // namespace

// By conversion, which truncates, never by the rounding mode.
std::int32_t sigTruncToInt32(long double value) {
    if (!(value > -2147483649.0L && value < 2147483648.0L))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

// Factors whose multiplier is a normal float take the single-precision vector
// loops, which give what the double forms below give; the rest keep those.
int sigConvertScaled_32f16s_generic(const float* src, std::int16_t* dst, int len, int roundMode,
                                    int scaleFactor) {
    if (scaleFactor < sigPcm16MinFactor || scaleFactor > sigPcm16MaxFactor)
        return convertWithMode(src, dst, len, roundMode, scaleFactor, k16Bit);
    if (src == nullptr || dst == nullptr) return sigErrNullPtr;
    if (len < 1) return sigErrLength;
    const sigWideVariants<sigTo16sLoop>& loop = roundMode == 0   ? sigTo16sTowardZero
                                                : roundMode == 1 ? sigTo16sNearestEven
                                                                 : sigTo16sNearestAway;
    return loop.select()(src, dst, len,
                         sigScaleMultiplier(scaleFactor, sigPcm16MinFactor, sigPcm16MaxFactor));
}

int sigConvertScaled_32f32s_generic(const float* src, std::int32_t* dst, int len, int roundMode,
                                    int scaleFactor) {
    return convertWithMode(src, dst, len, roundMode, scaleFactor, k32Bit);
}

// Always rounds to nearest with ties to even. The factor is clamped to
// [-127, 127], so any factor from 127 up multiplies by +0.0.
int sigConvertScaled_32f24s_generic(const float* src, unsigned char* dst, int len,
                                    int scaleFactor) {
    if (src == nullptr || dst == nullptr) return sigErrNullPtr;
    if (len < 1) return sigErrLength;
    if (scaleFactor == 0) {
        convertUnscaled<NearestEven>(src, dst, len, k24Bit);
    } else {
        const double multiplier = sigScaleMultiplier(scaleFactor, -127, 127);
        convertScaled<NearestEven>(src, dst, len, multiplier, k24Bit);
    }
    return sigOk;
}

int sigConvertScaled_32f16s(const float* src, std::int16_t* dst, int len, int roundMode,
                            int scaleFactor) {
    return sigDispatch(sigDispatchTable.convertScaled_32f16s, src, dst, len, roundMode,
                       scaleFactor);
}

int sigConvertScaled_32f32s(const float* src, std::int32_t* dst, int len, int roundMode,
                            int scaleFactor) {
    return sigDispatch(sigDispatchTable.convertScaled_32f32s, src, dst, len, roundMode,
                       scaleFactor);
}

int sigConvertScaled_32f24s(const float* src, unsigned char* dst, int len, int scaleFactor) {
    return sigDispatch(sigDispatchTable.convertScaled_32f24s, src, dst, len, scaleFactor);
}
