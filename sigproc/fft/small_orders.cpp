// The sums are formed in double and rounded once, when they are stored.
#include "sigproc/fft/small_orders.h"

namespace {

// 1/sqrt(2) and sqrt(2) as the single-precision constants of the closed forms.
constexpr double kHalfRoot2 = 0.70710677f;
constexpr double kRoot2 = 1.4142135f;

template <int N> struct Values { double v[N]; };

template <int N> Values<N> load(const float* src) {
    Values<N> x;
    for (int i = 0; i < N; ++i) x.v[i] = src[i];
    return x;
}

template <int N> void store(const Values<N>& y, float* dst, double scale) {
    for (int i = 0; i < N; ++i) dst[i] = static_cast<float>(scale * y.v[i]);
}

Values<2> twoPoint(const double* x) {
    return {{x[0] + x[1], x[0] - x[1]}};
}

Values<4> fourPointFwd(const double* x) {
    return {{x[0] + x[1] + x[2] + x[3], x[0] - x[1] + x[2] - x[3], x[0] - x[2], x[3] - x[1]}};
}

// p: DC, Nyquist, Re X1, Im X1.
Values<4> fourPointInv(const double* p) {
    const double even = p[0] + p[1];
    const double odd = p[0] - p[1];
    return {{even + 2 * p[2], odd - 2 * p[3], even - 2 * p[2], odd + 2 * p[3]}};
}

Values<8> eightPointFwd(const double* x) {
    const double c = kHalfRoot2;
    const double d04 = x[0] - x[4], d26 = x[2] - x[6];
    const double s04 = x[0] + x[4], s26 = x[2] + x[6];
    const double s15 = x[1] + x[5], s37 = x[3] + x[7];
    const double d15 = x[1] - x[5], d37 = x[3] - x[7];
    const double sumOdd = -d15 - d37; // feeds both imaginary parts
    return {{
        s04 + s26 + s15 + s37, // X0
        s04 + s26 - s15 - s37, // X4
        d04 + c * (d15 - d37), // Re X1
        -d26 + c * sumOdd,     // Im X1
        s04 - s26,             // Re X2
        s37 - s15,             // Im X2
        d04 + c * (d37 - d15), // Re X3
        d26 + c * sumOdd,      // Im X3
    }};
}

// p: X0, X4, then (re, im) of X1, X2, X3.
Values<8> eightPointInv(const double* p) {
    const double r = kRoot2;
    const double even = p[0] + p[1];
    const double odd = p[0] - p[1];
    const double a1 = p[2], b1 = p[3], a2 = p[4], b2 = p[5], a3 = p[6], b3 = p[7];
    return {{
        even + 2 * (a1 + a2 + a3),
        odd + r * (a1 - b1) - 2 * b2 - r * (a3 + b3),
        even - 2 * b1 - 2 * a2 + 2 * b3,
        odd - r * (a1 + b1) + 2 * b2 + r * (a3 - b3),
        even - 2 * a1 + 2 * a2 - 2 * a3,
        odd + r * (b1 - a1) - 2 * b2 + r * (a3 + b3),
        even + 2 * b1 - 2 * a2 - 2 * b3,
        odd + r * (a1 + b1) + 2 * b2 + r * (b3 - a3),
    }};
}

template <int N, typename Kernel>
void run(const float* src, float* dst, double scale, Kernel kernel) {
    const Values<N> x = load<N>(src);
    store(kernel(x.v), dst, scale);
}

template <bool Inverse> void smallTransform(const float* src, float* dst, int order, float scale) {
    switch (order) {
    case 0:
        dst[0] = static_cast<float>(static_cast<double>(scale) * src[0]);
        break;
    case 1:
        run<2>(src, dst, scale, twoPoint);
        break;
    case 2:
        run<4>(src, dst, scale, Inverse ? fourPointInv : fourPointFwd);
        break;
    default:
        run<8>(src, dst, scale, Inverse ? eightPointInv : eightPointFwd);
        break;
    }
}

} // namespace

void sigFftSmallFwd_R_32f(const float* src, float* dst, int order, float scale) {
    smallTransform<false>(src, dst, order, scale);
}

void sigFftSmallInv_R_32f(const float* src, float* dst, int order, float scale) {
    smallTransform<true>(src, dst, order, scale);
}
