// The complex bins of packed spectrum products, every instruction set's build
// against the scalar definition kept here, bit for bit, at every bin count up
// to 35, unaligned starts, and with the output over either source.
#include "sigproc/fft/mul_pack_lanes.h"
#include "testkit/float_bits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

using testkit::bitsOf;

// Bin k: (ar·br - ai·bi, ar·bi + ai·br) in double, each rounded to float.
std::vector<float> referenceBins(const float* a, const float* b, int bins) {
    std::vector<float> out(std::size_t(2 * bins));
    for (int k = 0; k < bins; ++k) {
        const double ar = a[2 * k], ai = a[2 * k + 1], br = b[2 * k], bi = b[2 * k + 1];
        const double arbr = ar * br, aibi = ai * bi, arbi = ar * bi, aibr = ai * br;
        out[std::size_t(2 * k)] = static_cast<float>(arbr - aibi);
        out[std::size_t(2 * k + 1)] = static_cast<float>(arbi + aibr);
    }
    return out;
}

// Magnitudes from subnormal to near overflow, both zeros, infinities, NaNs,
// and pairs whose products cancel to the last bit.
std::vector<float> awkward(std::size_t count, std::mt19937& rng) {
    std::uniform_real_distribution<float> mantissa(-1.0f, 1.0f);
    std::uniform_int_distribution<int> exponent(-140, 120);
    std::uniform_int_distribution<int> kind(0, 19);
    std::vector<float> v(count);
    for (std::size_t i = 0; i < count; ++i) {
        v[i] = std::ldexp(mantissa(rng), exponent(rng));
        switch (kind(rng)) {
        case 0:
            v[i] = -0.0f;
            break;
        case 1:
            v[i] = 0.0f;
            break;
        case 2:
            v[i] = testkit::kInfinity;
            break;
        case 3:
            v[i] = testkit::kQuietNan;
            break;
        case 4:
            if (i > 0) v[i] = v[i - 1];
            break;
        default:
            break;
        }
    }
    return v;
}

// Bits equal, or both NaN (which of two NaN operands a product carries is
// the processor's business, and the reference's operand order the compiler's).
void expectSame(const std::vector<float>& got, const std::vector<float>& want, const char* what) {
    for (std::size_t i = 0; i < want.size(); ++i) {
        if (std::isnan(got[i]) && std::isnan(want[i])) continue;
        ASSERT_EQ(bitsOf(got[i]), bitsOf(want[i])) << what << ", element " << i;
    }
}

TEST(MulPackLanes, EveryBuildGivesTheScalarBitsAtEveryCountAndStart) {
    std::mt19937 rng(11);
    for (sigWideIsa isa : {sigWideIsa::baseline, sigWideIsa::avx2, sigWideIsa::avx512}) {
        if (!sigWideIsaSupported(isa)) continue;
        SCOPED_TRACE(static_cast<int>(isa));
        sigMulPackBins* run = sigMulPackBinRuns.of(isa);
        for (int round = 0; round < 4; ++round)
            for (int start = 0; start < 4; ++start)
                for (int bins = 0; bins <= 35; ++bins) {
                    SCOPED_TRACE(testing::Message() << "start " << start << " bins " << bins);
                    const std::size_t len = std::size_t(start + 2 * bins) + 1;
                    const std::vector<float> a = awkward(len, rng), b = awkward(len, rng);
                    const std::vector<float> want =
                        referenceBins(a.data() + start, b.data() + start, bins);
                    // Apart, then over the first and over the second source.
                    std::vector<float> out(len, 99.0f);
                    run(a.data() + start, b.data() + start, out.data() + start, bins);
                    expectSame({out.begin() + start, out.end() - 1}, want, "apart");
                    EXPECT_EQ(bitsOf(out.back()), bitsOf(99.0f)) << "written past the end";
                    std::vector<float> overA = a;
                    run(overA.data() + start, b.data() + start, overA.data() + start, bins);
                    expectSame({overA.begin() + start, overA.end() - 1}, want, "over a");
                    std::vector<float> overB = b;
                    run(a.data() + start, overB.data() + start, overB.data() + start, bins);
                    expectSame({overB.begin() + start, overB.end() - 1}, want, "over b");
                }
    }
}

} // namespace
