// dst[i] = src1[i] ^ src2[i]. Each element is computed in double precision as
// 2^(y * log2 x): the logarithm as a double-double from three table-driven
// reductions and a short polynomial, the exponential from a 128-entry table
// and a polynomial, and the result rounded to single precision once.
#include "sigproc/vector/pow.h"

#include "sigproc/core/dispatch.h"
#include "sigproc/core/fp_control.h"
#include "sigproc/sigproc.h"
#include "sigproc/vector/created_nan.h"
#include "sigproc/vector/pow_tables.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr std::uint64_t kFractionMask = (std::uint64_t{1} << 52) - 1;
constexpr std::uint64_t kExponentMask = std::uint64_t{0x7FF} << 52;

constexpr double kCr = double(sigPowCrNumerator) / 4194304.0; // 1/ln 2 cut to a multiple of 2^-22

// log2(1 + S/Cr) - S = p1 S + p2 S^2 + p3 S^3 + p4 S^4.
constexpr double kP1 = 9.597935033233503e-08;
constexpr double kP2 = -0.3465736568077919;
constexpr double kP3 = 0.16015105075870564;
constexpr double kP4 = -0.08325619496470027;
// 2^t - 1 = q1 t + ... + q5 t^5.
constexpr double kQ1 = 0.6931471805599453;
constexpr double kQ2 = 0.24022650695910072;
constexpr double kQ3 = 0.05550410866482158;
constexpr double kQ4 = 0.009618129107628477;
constexpr double kQ5 = 0.0013333558146428443;

constexpr double kSplitter = 134217729.0;     // 2^27 + 1
constexpr double kShifter = 52776558133248.0; // 3 * 2^44: its ulp is 1/128

// Identifies the calling member to the exception hook.
constexpr char kContext[] = "sigPow_32f_generic";

inline std::uint64_t bitsOf(double v) { return std::bit_cast<std::uint64_t>(v); }
inline double doubleOf(std::uint64_t b) { return std::bit_cast<double>(b); }
inline int exponentOf(double v) { return int((bitsOf(v) >> 52) & 0x7FF) - 1023; }

struct Split {
    double hi;
    double lo;
};

// Veltkamp's split into two halves of 26 bits, whose products are exact.
inline Split split(double v) {
    const double t = v * kSplitter;
    const double hi = t - (t - v);
    return {hi, v - hi};
}

enum class ExponentKind { NotInteger, Odd, Even };

// Infinities and NaN are not integers; zero and every |y| >= 2^24 are even.
ExponentKind kindOf(float y) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(y) & 0x7FFFFFFFu;
    if (bits == 0) return ExponentKind::Even;
    const int exponent = int(bits >> 23) - 127;
    if (exponent == 128 || exponent < 0) return ExponentKind::NotInteger;
    if (exponent >= 24) return ExponentKind::Even;
    const std::uint32_t significand = (bits & 0x7FFFFFu) | 0x800000u;
    const int fractionBits = 23 - exponent;
    if ((significand & ((1u << fractionBits) - 1u)) != 0) return ExponentKind::NotInteger;
    return ((significand >> fractionBits) & 1u) != 0 ? ExponentKind::Odd : ExponentKind::Even;
}

struct Log2 {
    double first; // the first approximation, before the polynomial
    double hi;
    double lo;
};

// log2 |x| for finite x other than 0 and +-1.
Log2 log2Of(double x) {
    const std::uint64_t abits = bitsOf(std::fabs(x));
    const int u = int(abits >> 52) - 1023;
    const double m = doubleOf((abits & kFractionMask) | (std::uint64_t{1023} << 52));

    // Three reductions bring m * T1 * T2 * T3 to within about 2^-16 of Cr. The
    // indices come from the leading fraction bits of each partial product.
    const int f6 = int((abits >> 46) & 63);
    const int i1 = (f6 + 1) >> 1;
    const int e = f6 >= 31 ? u + 1 : u; // L1 carries the matching -1
    const double r1 = m * sigPowT1[i1];
    const int i2 = (int((bitsOf(r1) >> 42) & 63) + 1) >> 1;
    const double r2 = r1 * sigPowT2[i2];
    const int i3 = (int((bitsOf(r2) >> 36) & 255) + 1) >> 1;
    const double r3 = r2 * sigPowT3[i3];
    const double s = r3 - kCr;

    const double lhi = ((e + sigPowL1[i1].hi) + sigPowL2[i2].hi) + sigPowL3[i3].hi;
    const double llo = (sigPowL2[i2].lo + sigPowL3[i3].lo) + sigPowL1[i1].lo;

    // The rounding error of the reduction, m * P - r3, from exact products.
    const double p = (sigPowT1[i1] * sigPowT2[i2]) * sigPowT3[i3];
    const Split ms = split(m);
    const Split ps = split(p);
    const double eps = (((ms.hi * ps.hi - r3) + ms.lo * ps.hi) + ms.hi * ps.lo) + ms.lo * ps.lo;

    const double x0 = lhi + s;
    const double d = s + (lhi - x0);
    const double z = eps + s;
    const double poly = z * (z * (z * (z * kP4 + kP3) + kP2) + kP1);
    const double lo = llo + (d + eps);
    const double a = x0 + poly;
    const double b = lo + a;
    return {x0, b, (poly + (x0 - a)) + (lo + (a - b))};
}

// 2^(y * log2|x|) with the sign s, for x finite, not 0 or +-1, and y finite,
// not 0 (x > 0 or y an integer).
double powMainPath(double x, double y, double s) {
    const Log2 lg = log2Of(x);

    // |y * log2 x| >= 2048 certainly over- or underflows; below 2^-60 the
    // result is 1 to far more than double precision.
    const int scale = exponentOf(y) + exponentOf(lg.first);
    if (scale >= 11) return (y > 0) == (lg.first > 0) ? s * kInf : s * 0.0;
    if (scale <= -62) return s * 1.0;

    // y * log2 x = n/128 + t, with n = k * 128 + j.
    const Split b = split(lg.hi);
    const Split ys = split(y);
    const double m = b.hi * ys.hi;
    const double g = m + kShifter;
    const auto n = static_cast<std::int32_t>(static_cast<std::uint32_t>(bitsOf(g)));
    const int k = n >> 7;
    const int j = n & 127;
    const double t =
        lg.lo * y + ((b.lo * ys.lo + b.lo * ys.hi) + b.hi * ys.lo) + (m - (g - kShifter));

    // 2^(j/128 + t).
    const double q =
        t * (t * (t * (t * (t * kQ5 + kQ4) + kQ3) + kQ2) + kQ1) * sigPowE[j].hi + sigPowE[j].lo;
    const double r = sigPowE[j].hi + q;

    // Times 2^k, exactly, by setting the exponent field.
    const int scaled = k + exponentOf(r);
    if (scaled >= 1024) return s * kInf;
    if (scaled < -1022) return s * 0.0;
    const double result =
        doubleOf((bitsOf(r) & ~kExponentMask) | (std::uint64_t(scaled + 1023) << 52));
    return s * result;
}

struct Element {
    float value;
    bool domain; // a pole or a point outside the domain
};

Element nan() { return {sigCreatedNan, true}; }

// The edges of the domain, tested in order, then the main path.
Element powElement(float xf, float yf) {
    const double x = xf;
    const double y = yf;
    const ExponentKind kind = kindOf(yf);
    const double s = std::signbit(xf) && kind == ExponentKind::Odd ? -1.0 : 1.0;
    const double ax = std::fabs(x);

    if (y == 0.0) return {1.0f, false};
    if (x == 1.0) return {1.0f, false};
    if (std::isnan(x) || std::isnan(y)) return {float(x + y), false};
    if (x == 0.0) {
        if (y > 0.0) return {float(s * 0.0), false};
        return {float(s / 0.0), true};
    }
    if (x == -1.0) {
        if (kind == ExponentKind::Odd) return {-1.0f, false};
        if (kind == ExponentKind::Even || std::isinf(y)) return {1.0f, false};
        return nan();
    }
    if (std::isinf(y) && ax < 1.0)
        return {y > 0.0 ? 0.0f : std::numeric_limits<float>::infinity(), false};
    // A base beyond +-1 meets an infinity (as base or exponent) only here.
    if (std::isinf(x) || std::isinf(y)) {
        if (y < 0.0) return {float(s * 0.0), false};
        return {float(s * (x * x) * y), false};
    }
    if (x < 0.0 && kind == ExponentKind::NotInteger) return nan();
    return {float(powMainPath(x, y, s)), false};
}

// Round to nearest, with no flushing of denormal inputs or results, whatever
// the caller has set; on leaving, the caller's control bits come back and the
// exception flags raised meanwhile stay raised.
class NearestRoundingScope {
public:
    NearestRoundingScope() : saved_(sigFpGetMxcsr()) {
        const std::uint32_t work =
            saved_ & ~(sigMxcsrRounding | sigMxcsrFlushToZero | sigMxcsrDenormalsAreZero);
        if (work != saved_) sigFpRestoreMxcsr(work);
    }
    ~NearestRoundingScope() {
        const std::uint32_t now = sigFpGetMxcsr();
        const std::uint32_t restored = (saved_ & ~sigMxcsrFlags) | (now & sigMxcsrFlags);
        if (restored != now) sigFpRestoreMxcsr(restored);
    }
    NearestRoundingScope(const NearestRoundingScope&) = delete;
    NearestRoundingScope& operator=(const NearestRoundingScope&) = delete;

private:
    std::uint32_t saved_;
};

} // namespace

void sigRaiseFpException(int code, int, const float*, const float*, float*, float*, const void*) {
    // Volatile operands keep the operation from being folded away.
    volatile double a = 0.0;
    volatile double b = 0.0;
    switch (code) {
    case 12:
        a = std::numeric_limits<double>::max();
        b = a;
        break;
    case 17:
        a = 0x1.0000000000001p-1022;
        b = a;
        break;
    case 18:
        a = 1.0;
        b = 0.0;
        break;
    case 19:
        break;
    default:
        return;
    }
    volatile double result = code == 12 || code == 17 ? a * b : a / b;
    (void)result;
}

int sigPow_32f_generic(const float* src1, const float* src2, float* dst, int len) {
    if (len <= 0) return sigErrLength;
    if (src1 == nullptr || src2 == nullptr || dst == nullptr) return sigErrNullPtr;
    NearestRoundingScope rounding;
    int status = sigOk;
    for (int i = 0; i < len; ++i) {
        const Element e = powElement(src1[i], src2[i]);
        dst[i] = e.value;
        if (e.domain) {
            sigRaiseFpException(19, i, src1, src2, dst, dst, kContext);
            status = sigWarnDomain;
        }
    }
    return status;
}

int sigPow_32f(const float* src1, const float* src2, float* dst, int len) {
    return sigDispatch(sigDispatchTable.pow_32f, src1, src2, dst, len);
}
