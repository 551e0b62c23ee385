// Double-precision references for the FFTs' tests, and a specification
// owned for the life of a test.
#pragma once

#include "sigproc/fft/real_fft.h"
#include "sigproc/sigproc.h"
#include "testkit/guarded_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

namespace fftref {

using Spectrum = std::vector<std::complex<double>>;

// One bin of the transform of complex input, by the definition (O(N)).
inline std::complex<double> dftBin(const Spectrum& x, std::size_t k) {
    const std::size_t n = x.size();
    std::complex<double> sum = 0.0;
    for (std::size_t i = 0; i < n; ++i)
        sum += x[i] * std::polar(1.0, -2.0 * std::numbers::pi * double((k * i) % n) / double(n));
    return sum;
}

// The transform of complex input, by the definition (O(N^2)).
inline Spectrum naiveDft(const Spectrum& x) {
    const std::size_t n = x.size();
    std::vector<std::complex<double>> root(n);
    for (std::size_t j = 0; j < n; ++j)
        root[j] = std::polar(1.0, -2.0 * std::numbers::pi * double(j) / double(n));
    Spectrum spectrum(n);
    for (std::size_t k = 0; k < n; ++k) {
        // Written out: the library's complex product checks for infinities at every term.
        double re = 0.0, im = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const std::complex<double> w = root[(k * i) % n];
            re += x[i].real() * w.real() - x[i].imag() * w.imag();
            im += x[i].real() * w.imag() + x[i].imag() * w.real();
        }
        spectrum[k] = {re, im};
    }
    return spectrum;
}

// X[k] = sum x[n] exp(-2*pi*i*k*n/N) of real input, by the definition.
inline Spectrum naiveDft(const std::vector<double>& x) {
    return naiveDft(Spectrum(x.begin(), x.end()));
}

// The same spectrum by an iterative radix-2 transform in double, for lengths
// where the definition is too slow. Its twiddles come straight from std::polar,
// so it shares nothing with the code under test.
inline Spectrum referenceFft(Spectrum a) {
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (std::size_t len = 2; len <= n; len *= 2) {
        std::vector<std::complex<double>> w(len / 2);
        for (std::size_t k = 0; k < len / 2; ++k)
            w[k] = std::polar(1.0, -2.0 * std::numbers::pi * double(k) / double(len));
        for (std::size_t start = 0; start < n; start += len) {
            for (std::size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> t = w[k] * a[start + k + len / 2];
                a[start + k + len / 2] = a[start + k] - t;
                a[start + k] += t;
            }
        }
    }
    return a;
}

inline Spectrum referenceFft(const std::vector<double>& x) {
    return referenceFft(Spectrum(x.begin(), x.end()));
}

// The circular convolution of two real signals, through the reference transform.
inline std::vector<double> circularConvolution(const std::vector<double>& x,
                                               const std::vector<double>& h) {
    const Spectrum spectrumX = referenceFft(x), spectrumH = referenceFft(h);
    Spectrum conjugateProduct(x.size());
    for (std::size_t k = 0; k < x.size(); ++k)
        conjugateProduct[k] = std::conj(spectrumX[k] * spectrumH[k]);
    const Spectrum back =
        referenceFft(conjugateProduct); // the inverse, conjugated and n times too large
    std::vector<double> y(x.size());
    for (std::size_t i = 0; i < y.size(); ++i) y[i] = back[i].real() / double(x.size());
    return y;
}

// The packed layout of a real signal's spectrum: DC, Nyquist, then (re, im) of bins 1 .. N/2-1.
inline std::vector<double> pack(const Spectrum& spectrum) {
    const std::size_t n = spectrum.size();
    if (n == 1) return {spectrum[0].real()};
    std::vector<double> packed(n);
    packed[0] = spectrum[0].real();
    packed[1] = spectrum[n / 2].real();
    for (std::size_t k = 1; k < n / 2; ++k) {
        packed[2 * k] = spectrum[k].real();
        packed[2 * k + 1] = spectrum[k].imag();
    }
    return packed;
}

// y[n] = sum X[k] exp(+2*pi*i*k*n/N) of the real signal whose packed spectrum is given.
inline std::vector<double> naiveInverse(const std::vector<double>& packed) {
    const std::size_t n = packed.size();
    std::vector<double> y(n);
    for (std::size_t i = 0; i < n; ++i) {
        double sum = packed[0];
        if (n >= 2) sum += (i % 2 == 0 ? 1.0 : -1.0) * packed[1];
        for (std::size_t k = 1; k < n / 2; ++k) {
            const double angle = 2.0 * std::numbers::pi * double((k * i) % n) / double(n);
            sum += 2.0 * (packed[2 * k] * std::cos(angle) - packed[2 * k + 1] * std::sin(angle));
        }
        y[i] = sum;
    }
    return y;
}

inline std::vector<float> randomSignal(std::size_t n, std::uint32_t seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> x(n);
    for (float& v : x) v = uniform(generator);
    return x;
}

inline std::vector<double> widen(const std::vector<float>& v) { return {v.begin(), v.end()}; }

inline double euclideanNorm(const std::vector<double>& v) {
    double sum = 0.0;
    for (double d : v) sum += d * d;
    return std::sqrt(sum);
}

inline double largestMagnitude(const std::vector<double>& v) {
    double largest = 0.0;
    for (double d : v) largest = std::max(largest, std::fabs(d));
    return largest;
}

// The largest difference between the packed spectrum of a unit impulse at
// `delay` and its exact spectrum, exp(-2*pi*i*k*delay/n).
inline double impulseSpectrumError(const std::vector<float>& packed, std::size_t delay) {
    const std::size_t n = packed.size();
    double worst = std::fabs(packed[0] - 1.0);
    worst = std::max(worst, std::fabs(packed[1] - (delay % 2 == 0 ? 1.0 : -1.0)));
    for (std::size_t k = 1; k < n / 2; ++k) {
        const double angle = -2.0 * std::numbers::pi * double((k * delay) % n) / double(n);
        worst = std::max(worst, std::fabs(packed[2 * k] - std::cos(angle)));
        worst = std::max(worst, std::fabs(packed[2 * k + 1] - std::sin(angle)));
    }
    return worst;
}

// Error bound of a transform of the given order: rounding grows with the
// number of passes, about one per order, and a pass errs by well under one
// unit in the last place of the largest value that flows through it.
inline double tolerance(int order, double largest) { return (order + 1) * FLT_EPSILON * largest; }

// The largest difference between a result and its reference.
inline double largestError(const std::vector<float>& result, const std::vector<double>& reference) {
    double worst = 0.0;
    for (std::size_t i = 0; i < result.size(); ++i)
        worst = std::max(worst, std::fabs(result[i] - reference[i]));
    return worst;
}

// A record made by an allocate-and-build operation and freed at scope end.
template <typename Spec, int (*InitAlloc)(Spec**, int, int, int), int (*Free)(Spec*)>
class OwnedRecord {
public:
    OwnedRecord(int order, int flag) { status_ = InitAlloc(&spec_, order, flag, 0); }
    ~OwnedRecord() {
        if (status_ == sigOk) Free(spec_);
    }
    OwnedRecord(const OwnedRecord&) = delete;
    OwnedRecord& operator=(const OwnedRecord&) = delete;
    int status() const { return status_; }
    Spec* get() const { return spec_; }

private:
    Spec* spec_ = nullptr;
    int status_;
};

using OwnedSpec = OwnedRecord<sigFftSpec_R_32f, sigFftInitAlloc_R_32f, sigFftFree_R_32f>;

struct Sizes {
    int spec = -1, init = -1, work = -1;
    bool operator==(const Sizes&) const = default;
};

using SizeQuery = int (*)(int order, int flag, int hint, int* spec, int* init, int* work);

inline Sizes queriedSizes(SizeQuery query, int order, int flag) {
    Sizes s;
    EXPECT_EQ(query(order, flag, 0, &s.spec, &s.init, &s.work), sigOk) << order;
    return s;
}

// A record built with hint 7 into guarded caller buffers of exactly the
// queried sizes, starting `misalign` bytes past a 64-byte boundary.
template <typename Spec, SizeQuery Query,
          int (*Init)(Spec**, int, int, int, unsigned char*, unsigned char*)>
class BuiltRecord {
public:
    BuiltRecord(int order, int flag, std::size_t misalign = 0)
        : sizes_(queriedSizes(Query, order, flag)), spec_(std::size_t(sizes_.spec), misalign),
          init_(std::size_t(sizes_.init > 0 ? sizes_.init : 1), misalign) {
        status_ = Init(&record_, order, flag, 7, spec_.bytes(),
                       sizes_.init > 0 ? init_.bytes() : nullptr);
    }
    int status() const { return status_; }
    Spec* record() const { return record_; }
    unsigned char* buffer() { return spec_.bytes(); }
    bool guardsIntact() const { return spec_.guardsIntact() && init_.guardsIntact(); }
    const Sizes& sizes() const { return sizes_; }

private:
    Sizes sizes_;
    testkit::GuardedBuffer<unsigned char> spec_;
    testkit::GuardedBuffer<unsigned char> init_;
    Spec* record_ = nullptr;
    int status_;
};

inline constexpr int kFlags[] = {sigFftScaleFwd, sigFftScaleInv, sigFftScaleBothSqrt,
                                 sigFftScaleNone};

inline double forwardScale(int flag, int order) {
    if (flag == sigFftScaleFwd) return std::ldexp(1.0, -order);
    if (flag == sigFftScaleBothSqrt) return 1.0 / std::sqrt(std::ldexp(1.0, order));
    return 1.0;
}

inline double inverseScale(int flag, int order) {
    if (flag == sigFftScaleInv) return std::ldexp(1.0, -order);
    if (flag == sigFftScaleBothSqrt) return 1.0 / std::sqrt(std::ldexp(1.0, order));
    return 1.0;
}

} // namespace fftref
