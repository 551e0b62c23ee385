// The generic transforms' vector builds: every instruction set this machine
// runs gives the bits of the scalar passes and of the scalar bin split and
// merge, and whole transforms at every order give the same bits whichever
// build runs them (so the accuracy tests of the machine's build hold for
// each). No transform allocates once its caller supplies the work buffer the
// size query asks for, at level 0 and at the fastest level.
#include "sigproc/core/cpu.h"
#include "sigproc/core/dispatch.h"
#include "sigproc/core/wide_isa.h"
#include "sigproc/fft/bit_reverse.h"
#include "sigproc/fft/bit_reverse_tiled.h"
#include "sigproc/fft/column_sweep.h"
#include "sigproc/fft/complex_fft.h"
#include "sigproc/fft/complex_math.h"
#include "sigproc/fft/complex_passes.h"
#include "sigproc/fft/plane_fft.h"
#include "sigproc/fft/real_fft.h"
#include "sigproc/fft/real_split.h"
#include "sigproc/sigproc.h"
#include "sigproc/tests/fft_reference.h"
#include "testkit/alloc_hooks.h"
#include "testkit/float_bits.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace {

using testkit::bitsOf;

constexpr sigWideIsa kIsas[] = {sigWideIsa::baseline, sigWideIsa::avx2, sigWideIsa::avx512};

std::vector<float> randomFloats(std::size_t count, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> v(count);
    for (float& x : v) x = uniform(rng);
    return v;
}

void expectSameBits(const std::vector<float>& expected, const std::vector<float>& actual,
                    const char* what, int order, sigWideIsa isa) {
    ASSERT_EQ(expected.size(), actual.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(bitsOf(expected[i]), bitsOf(actual[i]))
            << what << " order " << order << " build " << static_cast<int>(isa) << " at " << i;
    }
}

// Runs the library's loops with one build for the life of the object.
class IsaScope {
public:
    explicit IsaScope(sigWideIsa isa) : previous_(sigWideIsaInUse.load()) {
        sigWideIsaInUse.store(static_cast<int>(isa));
    }
    ~IsaScope() { sigWideIsaInUse.store(previous_); }
    IsaScope(const IsaScope&) = delete;
    IsaScope& operator=(const IsaScope&) = delete;

private:
    int previous_;
};

using ComplexSpec = fftref::OwnedRecord<sigFftSpec_C_32fc, sigFftInitAlloc_C_32fc_generic,
                                        sigFftFree_C_32fc_generic>;

// The passes in planes against the scalar passes, on bit-reversed input and
// through the pair table from natural order, both directions.
TEST(FftWideBuilds, PlanePassesGiveTheScalarPassesBits) {
    for (int q = sigFftPlaneMinComplexOrder; q <= sigFftPlaneMaxComplexOrder; ++q) {
        ComplexSpec spec(q, sigFftScaleNone);
        ASSERT_EQ(spec.status(), sigOk);
        const float* twiddles = spec.get()->table<float>(spec.get()->twiddles);
        const std::int32_t* pairs = spec.get()->table<std::int32_t>(spec.get()->bitRev);
        const std::vector<float> natural = randomFloats(std::size_t{2} << q, 10 + q);
        std::vector<float> reversed(natural.size());
        sigFftBitRevCopy_32fc(natural.data(), reversed.data(), q, pairs);
        for (const bool inverse : {false, true}) {
            std::vector<float> expected = reversed;
            (inverse ? sigFftPassesInv_32fc : sigFftPassesFwd_32fc)(expected.data(), q, twiddles);
            for (const sigWideIsa isa : kIsas) {
                if (!sigWideIsaSupported(isa)) continue;
                const sigFftPlaneBuild& build = *sigFftPlaneBuilds.of(isa);
                auto* run = inverse ? build.complexInverse : build.complexForward;
                std::vector<float> inPlace = reversed;
                run(inPlace.data(), inPlace.data(), q, true, twiddles);
                expectSameBits(expected, inPlace, "bit-reversed input", q, isa);
                std::vector<float> fromNatural(natural.size());
                run(natural.data(), fromNatural.data(), q, false, twiddles);
                expectSameBits(expected, fromNatural, "natural input", q, isa);
            }
        }
    }
}

// Eight columns side by side in planes against each column through the scalar
// passes, both directions.
TEST(FftWideBuilds, ColumnPassesGiveTheScalarPassesBits) {
    constexpr std::size_t lanes = sigFftColumnLanes;
    for (int q = sigFftPlaneMinComplexOrder; q <= sigFftPlaneMaxComplexOrder; ++q) {
        ComplexSpec spec(q, sigFftScaleNone);
        ASSERT_EQ(spec.status(), sigOk);
        const float* twiddles = spec.get()->table<float>(spec.get()->twiddles);
        const std::size_t n = std::size_t{1} << q;
        const std::vector<float> re = randomFloats(lanes * n, 20 + q);
        const std::vector<float> im = randomFloats(lanes * n, 30 + q);
        for (const bool inverse : {false, true}) {
            std::vector<float> expected(2 * n * lanes);
            for (std::size_t t = 0; t < lanes; ++t) {
                std::vector<float> column(2 * n);
                for (std::size_t j = 0; j < n; ++j) {
                    column[2 * j] = re[lanes * j + t];
                    column[2 * j + 1] = im[lanes * j + t];
                }
                (inverse ? sigFftPassesInv_32fc : sigFftPassesFwd_32fc)(column.data(), q, twiddles);
                for (std::size_t j = 0; j < n; ++j) {
                    expected[lanes * j + t] = column[2 * j];
                    expected[lanes * (n + j) + t] = column[2 * j + 1];
                }
            }
            for (const sigWideIsa isa : kIsas) {
                if (!sigWideIsaSupported(isa)) continue;
                const sigFftPlaneBuild& build = *sigFftPlaneBuilds.of(isa);
                std::vector<float> planes = re;
                planes.insert(planes.end(), im.begin(), im.end());
                (inverse ? build.columnsInverse : build.columnsForward)(
                    planes.data(), planes.data() + lanes * n, q, twiddles);
                expectSameBits(expected, planes, inverse ? "columns inverse" : "columns forward", q,
                               isa);
            }
        }
    }
}

// The column stage of a split level (outermost level of complex orders 13 to
// 17: 32 to 256 rows, odd and even column orders) against each column
// twiddled by its matrix entries and run through the scalar passes.
TEST(FftWideBuilds, ColumnSweepGivesTheScalarPassesBits) {
    for (const int m : {13, 14, 17}) {
        ComplexSpec spec(m, sigFftScaleNone);
        ASSERT_EQ(spec.status(), sigOk);
        const int a = sigFftSplitOrder[static_cast<std::size_t>(m)];
        const std::ptrdiff_t rows = std::ptrdiff_t{1} << a;
        const std::ptrdiff_t rowLength = std::ptrdiff_t{1} << (m - a);
        ASSERT_LE(rows, sigFftColumnSweepMaxRows);
        const float* matrix = spec.get()->table<float>(spec.get()->levelMatrix[0]);
        const float* twiddles = spec.get()->table<float>(spec.get()->levelTwiddles[0]);
        const std::vector<float> data = randomFloats(std::size_t{2} << m, 40 + m);
        for (const bool inverse : {false, true}) {
            std::vector<float> expected = data;
            std::vector<float> column(static_cast<std::size_t>(2 * rows));
            for (std::ptrdiff_t k = 0; k < rowLength; ++k) {
                for (std::ptrdiff_t c = 0; c < rows; ++c) {
                    const float* v = &data[static_cast<std::size_t>(2 * (c * rowLength + k))];
                    const float* w = matrix + 8 * ((k / 4) * rows + c) + 2 * (k % 4);
                    float* to = &column[static_cast<std::size_t>(2 * c)];
                    if (inverse) {
                        sigTwiddle<true>(v[0], v[1], w[0], w[1], to[0], to[1]);
                    } else {
                        sigTwiddle<false>(v[0], v[1], w[0], w[1], to[0], to[1]);
                    }
                }
                (inverse ? sigFftPassesInv_32fc : sigFftPassesFwd_32fc)(column.data(), a, twiddles);
                for (std::ptrdiff_t c = 0; c < rows; ++c) {
                    const auto at = static_cast<std::size_t>(2 * (c * rowLength + k));
                    expected[at] = column[static_cast<std::size_t>(2 * c)];
                    expected[at + 1] = column[static_cast<std::size_t>(2 * c + 1)];
                }
            }
            for (const sigWideIsa isa : kIsas) {
                if (!sigWideIsaSupported(isa)) continue;
                const sigFftColumnSweepBuild& build = *sigFftColumnSweepBuilds.of(isa);
                std::vector<float> actual = data;
                (inverse ? build.inverse : build.forward)(actual.data(), rows, rowLength, a, matrix,
                                                          twiddles);
                expectSameBits(expected, actual, inverse ? "sweep inverse" : "sweep forward", m,
                               isa);
            }
        }
    }
}

// Scalar forms of the split and merge, bin by bin as their definitions go.
std::vector<float> scalarSplit(std::vector<float> z, std::ptrdiff_t n, const float* split) {
    const float d0 = z[0], d1 = z[1];
    z[0] = d0 + d1;
    z[1] = d0 - d1;
    for (std::ptrdiff_t k = 1; k < n / 2; ++k) {
        const auto lo = static_cast<std::size_t>(2 * k), hi = static_cast<std::size_t>(2 * (n - k));
        const sigBinPair x =
            sigSplitBins(z[lo], z[lo + 1], z[hi], z[hi + 1], split[2 * k], split[2 * k + 1]);
        z[lo] = x.loRe;
        z[lo + 1] = x.loIm;
        z[hi] = x.hiRe;
        z[hi + 1] = x.hiIm;
    }
    z[static_cast<std::size_t>(n + 1)] = -z[static_cast<std::size_t>(n + 1)];
    return z;
}

std::vector<float> scalarMerge(const std::vector<float>& p, std::ptrdiff_t n, const float* rot) {
    std::vector<float> z(p.size());
    z[1] = p[0] - p[1];
    z[0] = p[0] + p[1];
    for (std::ptrdiff_t k = 1; k < n / 2; ++k) {
        const auto lo = static_cast<std::size_t>(2 * k), hi = static_cast<std::size_t>(2 * (n - k));
        const sigBinPair x =
            sigMergeBins(p[lo], p[lo + 1], p[hi], p[hi + 1], rot[2 * k], rot[2 * k + 1]);
        z[lo] = x.loRe;
        z[lo + 1] = x.loIm;
        z[hi] = x.hiRe;
        z[hi + 1] = x.hiIm;
    }
    z[static_cast<std::size_t>(n)] = 2 * p[static_cast<std::size_t>(n)];
    z[static_cast<std::size_t>(n + 1)] = -2 * p[static_cast<std::size_t>(n + 1)];
    return z;
}

// Every bin count from the scalar tail alone to several vector steps and a
// tail, the merge both in place and out of place, with four and eight lanes.
TEST(FftWideBuilds, BinSplitAndMergeGiveTheScalarBits) {
    for (int order = 4; order <= 12; ++order) {
        fftref::OwnedSpec spec(order, sigFftScaleNone);
        ASSERT_EQ(spec.status(), sigOk);
        const std::ptrdiff_t n = std::ptrdiff_t{1} << (order - 1);
        const float* split = spec.get()->table<float>(spec.get()->realSplit);
        const float* rot = spec.get()->table<float>(spec.get()->realRot);
        const std::vector<float> z = randomFloats(std::size_t{1} << order, 40 + order);
        const std::vector<float> splitBits = scalarSplit(z, n, split);
        const std::vector<float> merged = scalarMerge(z, n, rot);

        for (const sigWideIsa isa : kIsas) {
            if (!sigWideIsaSupported(isa)) continue;
            const IsaScope scope(isa);
            std::vector<float> splitLanes = z;
            sigFftRealPostFwd_32f(splitLanes.data(), n, split);
            expectSameBits(splitBits, splitLanes, "split", order, isa);

            std::vector<float> apart(z.size());
            sigFftRealPreInv_32f(z.data(), apart.data(), n, rot);
            expectSameBits(merged, apart, "merge out of place", order, isa);
            std::vector<float> inPlace = z;
            sigFftRealPreInv_32f(inPlace.data(), inPlace.data(), n, rot);
            expectSameBits(merged, inPlace, "merge in place", order, isa);
        }
    }
}

// One merge pass as its definition goes: adjacent transforms E, O of length
// half become E + w O, E - w O, w_k from the rotation table (stride
// 2^c / (2 half) values) below half / 2 and -i times it above.
void scalarMergePass(std::vector<float>& data, std::size_t half, const float* rot, bool inverse) {
    const std::size_t stride = data.size() / 2 / (2 * half);
    for (std::size_t base = 0; base < data.size() / 2; base += 2 * half) {
        for (std::size_t k = 0; k < half; ++k) {
            const std::size_t t = stride * (k % (half / 2));
            const bool turned = k >= half / 2;
            const float wr = turned ? rot[2 * t + 1] : rot[2 * t];
            const float wi = turned ? -rot[2 * t] : rot[2 * t + 1];
            float* e = &data[2 * (base + k)];
            float* o = e + 2 * half;
            float tr, ti;
            if (inverse) {
                sigTwiddle<true>(o[0], o[1], wr, wi, tr, ti);
            } else {
                sigTwiddle<false>(o[0], o[1], wr, wi, tr, ti);
            }
            const float er = e[0], ei = e[1];
            e[0] = er + tr;
            e[1] = ei + ti;
            o[0] = er - tr;
            o[1] = ei - ti;
        }
    }
}

// The chunks of 2^11 and 2^12 values in every build against the bit
// reversal, the scalar passes on each 1024-point piece, its scaling, then the
// scalar merge passes; both directions, scaled and not, from bit-reversed
// values and from natural order, in place and apart.
TEST(FftWideBuilds, ChunksGiveThePiecesAndMergePassesScalarBits) {
    for (const int c : {11, 12}) {
        ComplexSpec spec(c, sigFftScaleNone);
        ASSERT_EQ(spec.status(), sigOk);
        const float* twiddles = spec.get()->table<float>(spec.get()->twiddles);
        const float* rot = spec.get()->table<float>(spec.get()->rotTable);
        const std::int32_t* pairs = spec.get()->table<std::int32_t>(spec.get()->bitRev);
        const std::vector<float> natural = randomFloats(std::size_t{2} << c, 40 + c);
        std::vector<float> reversed(natural.size());
        sigFftBitRevCopy_32fc(natural.data(), reversed.data(), c, pairs);
        const float factor = 1.0f / 3.0f;
        for (const bool inverse : {false, true}) {
            for (const float* scale : {static_cast<const float*>(nullptr), &factor}) {
                std::vector<float> expected = reversed;
                for (std::size_t p = 0; p < expected.size(); p += 2048) {
                    (inverse ? sigFftPassesInv_32fc : sigFftPassesFwd_32fc)(&expected[p], 10,
                                                                            twiddles);
                }
                if (scale != nullptr) {
                    for (float& x : expected) x *= *scale;
                }
                for (std::size_t half = 1024; half < expected.size() / 2; half *= 2)
                    scalarMergePass(expected, half, rot, inverse);
                for (const sigWideIsa isa : kIsas) {
                    if (!sigWideIsaSupported(isa)) continue;
                    const sigFftPlaneBuild& build = *sigFftPlaneBuilds.of(isa);
                    auto* run = inverse ? build.chunkInverse : build.chunkForward;
                    std::vector<float> actual = reversed;
                    run(nullptr, actual.data(), c, twiddles, rot, scale);
                    expectSameBits(expected, actual, "chunk of bit-reversed values", c, isa);
                    std::vector<float> apart(natural.size()), inPlace = natural;
                    run(natural.data(), apart.data(), c, twiddles, rot, scale);
                    expectSameBits(expected, apart, "chunk from natural order", c, isa);
                    run(inPlace.data(), inPlace.data(), c, twiddles, rot, scale);
                    expectSameBits(expected, inPlace, "chunk in place from natural order", c, isa);
                }
            }
        }
    }
}

// The tiled permutation in every build is the pair table's, copying and in
// place, from its smallest order (one tile, its own partner) to tiles in many
// pairs (the AVX2 tiles transpose whole runs of eight values).
TEST(FftWideBuilds, TiledBitReversalIsThePairTablesPermutation) {
    for (int m = sigFftTiledMinOrder; m <= 16; ++m) {
        const std::size_t n = std::size_t{1} << m;
        std::vector<std::int32_t> pairs(n / 4 + 1);
        sigFftBuildPairTable(pairs.data(), m);
        std::vector<float> data(2 * n);
        for (std::size_t i = 0; i < 2 * n; ++i) data[i] = float(i);
        std::vector<float> expected(2 * n);
        sigFftBitRevCopy_32fc(data.data(), expected.data(), m, pairs.data());
        for (const sigWideIsa isa : kIsas) {
            if (!sigWideIsaSupported(isa)) continue;
            const IsaScope scope(isa);
            std::vector<float> copy(2 * n), inPlace = data;
            sigFftBitRevTiledCopy_32fc(data.data(), copy.data(), m);
            EXPECT_EQ(copy, expected) << "copy, order " << m << ", build " << int(isa);
            sigFftBitRevTiledInPlace_32fc(inPlace.data(), m);
            EXPECT_EQ(inPlace, expected) << "in place, order " << m << ", build " << int(isa);
        }
    }
}

// The real transforms through the planes against their scalar definition:
// bit reversal, the scalar passes, the scaling and the scalar split (forward);
// the scalar merge, bit reversal, passes and scaling (inverse); in every
// build, unscaled and scaled, out of place and in place.
TEST(FftWideBuilds, RealPlaneTransformsGiveTheScalarBits) {
    const auto scaled = [](std::vector<float> v, bool scale, float factor) {
        if (scale)
            for (float& x : v) x *= factor;
        return v;
    };
    for (const int flag : {sigFftScaleNone, sigFftScaleBothSqrt}) {
        for (int order = sigFftPlaneMinOrder; order <= sigFftPlaneMaxOrder; ++order) {
            fftref::OwnedSpec spec(order, flag);
            ASSERT_EQ(spec.status(), sigOk);
            const sigFftSpec_R_32f& record = *spec.get();
            const int q = order - 1;
            const std::ptrdiff_t n = std::ptrdiff_t{1} << q;
            const float* twiddles = record.table<float>(record.twiddles);
            const std::int32_t* pairs = record.table<std::int32_t>(record.bitRev);
            const std::vector<float> signal = randomFloats(std::size_t{1} << order, 90 + order);

            std::vector<float> reversed(signal.size());
            sigFftBitRevCopy_32fc(signal.data(), reversed.data(), q, pairs);
            sigFftPassesFwd_32fc(reversed.data(), q, twiddles);
            const std::vector<float> forward =
                scalarSplit(scaled(reversed, record.scaleFwd != 0, record.scaleFactor), n,
                            record.table<float>(record.realSplit));

            const std::vector<float> merged =
                scalarMerge(signal, n, record.table<float>(record.realRot));
            std::vector<float> passes(signal.size());
            sigFftBitRevCopy_32fc(merged.data(), passes.data(), q, pairs);
            sigFftPassesInv_32fc(passes.data(), q, twiddles);
            const std::vector<float> inverse =
                scaled(passes, record.scaleInv != 0, record.scaleFactor);

            for (const sigWideIsa isa : kIsas) {
                if (!sigWideIsaSupported(isa)) continue;
                const IsaScope scope(isa);
                std::vector<float> out(signal.size());
                ASSERT_EQ(sigFftFwd_R_32f(signal.data(), out.data(), spec.get(), nullptr), sigOk);
                expectSameBits(forward, out, "real forward", order, isa);
                ASSERT_EQ(sigFftInv_R_32f(signal.data(), out.data(), spec.get(), nullptr), sigOk);
                expectSameBits(inverse, out, "real inverse", order, isa);
                std::vector<float> inPlace = signal;
                ASSERT_EQ(sigFftFwd_R_32f(inPlace.data(), inPlace.data(), spec.get(), nullptr),
                          sigOk);
                expectSameBits(forward, inPlace, "real forward in place", order, isa);
                inPlace = signal;
                ASSERT_EQ(sigFftInv_R_32f(inPlace.data(), inPlace.data(), spec.get(), nullptr),
                          sigOk);
                expectSameBits(inverse, inPlace, "real inverse in place", order, isa);
            }
        }
    }
}

// Whole transforms, every path from the closed forms to two split levels.
class EveryOrderEveryBuild : public ::testing::TestWithParam<int> {};

TEST_P(EveryOrderEveryBuild, GivesTheBaselineBuildsBits) {
    const int order = GetParam();
    fftref::OwnedSpec real(order, sigFftScaleInv);
    ComplexSpec complex(order, sigFftScaleNone);
    ASSERT_EQ(real.status(), sigOk);
    ASSERT_EQ(complex.status(), sigOk);
    int workBytes = 0;
    ASSERT_EQ(sigFftGetBufSize_R_32f(real.get(), &workBytes), sigOk);
    int specBytes = 0, initBytes = 0, complexWork = 0;
    ASSERT_EQ(sigFftGetSize_C_32fc(order, sigFftScaleNone, 0, &specBytes, &initBytes, &complexWork),
              sigOk);
    // One buffer serves both: the larger work area and the 32 bytes of alignment.
    std::vector<unsigned char> work(static_cast<std::size_t>(std::max(workBytes, complexWork)) +
                                    32);
    const std::vector<float> signal = randomFloats(std::size_t{2} << order, 70 + order);

    // Forward real, inverse real of that spectrum, forward complex.
    const auto runAll = [&](sigWideIsa isa) {
        const IsaScope scope(isa);
        std::vector<float> out(signal.size() / 2), back(signal.size() / 2), cplx(signal.size());
        EXPECT_EQ(sigFftFwd_R_32f(signal.data(), out.data(), real.get(), work.data()), sigOk);
        EXPECT_EQ(sigFftInv_R_32f(out.data(), back.data(), real.get(), work.data()), sigOk);
        EXPECT_EQ(
            sigFftFwd_CToC_32fc_generic(signal.data(), cplx.data(), complex.get(), work.data()),
            sigOk);
        return std::vector<std::vector<float>>{out, back, cplx};
    };
    const auto expected = runAll(sigWideIsa::baseline);
    for (const sigWideIsa isa : kIsas) {
        if (isa == sigWideIsa::baseline || !sigWideIsaSupported(isa)) continue;
        const auto actual = runAll(isa);
        expectSameBits(expected[0], actual[0], "real forward", order, isa);
        expectSameBits(expected[1], actual[1], "real inverse", order, isa);
        expectSameBits(expected[2], actual[2], "complex forward", order, isa);
    }
    // The round trip restores the signal (a fault in one stage would not).
    for (std::size_t i = 0; i < expected[1].size(); ++i)
        ASSERT_NEAR(expected[1][i], signal[i], 2e-5f * static_cast<float>(order + 1)) << i;
}

INSTANTIATE_TEST_SUITE_P(Orders0To20, EveryOrderEveryBuild, ::testing::Range(0, 21));

// With the buffer the size query asks for, no transform allocates, at level 0
// and at the fastest level this processor allows.
TEST(FftWideBuilds, TransformsWithTheirWorkBufferNeverAllocate) {
    const int fastest = sigCpuLevelOf(sigCpuReadSnapshot()).level;
    for (const int level : {0, fastest}) {
        sigCpuLevel.store(level);
        for (int order = 0; order <= 18; ++order) {
            sigFftSpec_R_32f* spec = nullptr;
            ASSERT_EQ(sigFftInitAlloc_R_32f(&spec, order, sigFftScaleInv, 0), sigOk);
            int workBytes = 0;
            ASSERT_EQ(sigFftGetBufSize_R_32f(spec, &workBytes), sigOk);
            std::vector<unsigned char> work(static_cast<std::size_t>(workBytes));
            std::vector<float> data = randomFloats(std::size_t{1} << order, order);
            {
                testkit::CountingAllocator counter;
                EXPECT_EQ(sigFftFwdInPlace_R_32f(data.data(), spec, work.data()), sigOk);
                EXPECT_EQ(sigFftInvInPlace_R_32f(data.data(), spec, work.data()), sigOk);
                EXPECT_EQ(counter.allocations(), 0) << "level " << level << " order " << order;
            }
            sigFftFree_R_32f(spec);
        }
        sigCpuLevel.store(0);
    }
}

} // namespace
