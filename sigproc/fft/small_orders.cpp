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

Values<2> twoPoint(const double* x) { return {{x[0] + x[1], x[0] - x[1]}}; }

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

// The complex transforms of 2, 4 and 8 points; values are (re, im) pairs.
struct Complex {
    double re, im;
    Complex operator+(Complex o) const { return {re + o.re, im + o.im}; }
    Complex operator-(Complex o) const { return {re - o.re, im - o.im}; }
    Complex turnedNegI() const { return {im, -re}; } // times -i
};

Complex at(const double* x, int k) { return {x[2 * k], x[2 * k + 1]}; }

template <int N> void put(Values<N>& y, int k, Complex v) {
    y.v[2 * k] = v.re;
    y.v[2 * k + 1] = v.im;
}

struct Four {
    Complex x[4];
};

// The 4-point transform of a, b, c, d, the forward direction.
Four fourPoint(Complex a, Complex b, Complex c, Complex d) {
    const Complex sumAc = a + c, diffAc = a - c;
    const Complex sumBd = b + d, diffBd = (b - d).turnedNegI();
    return {{sumAc + sumBd, diffAc + diffBd, sumAc - sumBd, diffAc - diffBd}};
}

Values<4> twoPointComplex(const double* x) {
    Values<4> y;
    put(y, 0, at(x, 0) + at(x, 1));
    put(y, 1, at(x, 0) - at(x, 1));
    return y;
}

Values<8> fourPointComplex(const double* x) {
    const Four f = fourPoint(at(x, 0), at(x, 1), at(x, 2), at(x, 3));
    Values<8> y;
    for (int k = 0; k < 4; ++k) put(y, k, f.x[k]);
    return y;
}

// Two 4-point halves joined by the turns 1, w, -i, -i*w, w = exp(-i*pi/4).
Values<16> eightPointComplex(const double* x) {
    const double c = kHalfRoot2;
    const Four even = fourPoint(at(x, 0), at(x, 2), at(x, 4), at(x, 6));
    const Four odd = fourPoint(at(x, 1), at(x, 3), at(x, 5), at(x, 7));
    const Complex o1 = odd.x[1], o3 = odd.x[3];
    const Complex turned[4] = {
        odd.x[0],
        {c * (o1.re + o1.im), c * (o1.im - o1.re)},
        odd.x[2].turnedNegI(),
        {c * (o3.im - o3.re), -c * (o3.re + o3.im)},
    };
    Values<16> y;
    for (int k = 0; k < 4; ++k) {
        put(y, k, even.x[k] + turned[k]);
        put(y, k + 4, even.x[k] - turned[k]);
    }
    return y;
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

void sigFftSmallFwd_C_32fc(const float* src, float* dst, int order, float scale) {
    switch (order) {
    case 0:
        run<2>(src, dst, scale, [](const double* x) { return Values<2>{{x[0], x[1]}}; });
        break;
    case 1:
        run<4>(src, dst, scale, twoPointComplex);
        break;
    case 2:
        run<8>(src, dst, scale, fourPointComplex);
        break;
    default:
        run<16>(src, dst, scale, eightPointComplex);
        break;
    }
}

void sigFftSmallFwd_R_32f(const float* src, float* dst, int order, float scale) {
    smallTransform<false>(src, dst, order, scale);
}

void sigFftSmallInv_R_32f(const float* src, float* dst, int order, float scale) {
    smallTransform<true>(src, dst, order, scale);
}
