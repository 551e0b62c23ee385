// The forward complex FFT: its record (sizes, layout, allocate and free), its
// checks and work areas, and its results against the definition in double.
#include "sigproc/core/dispatch.h"
#include "sigproc/fft/complex_fft.h"
#include "sigproc/fft/real_fft.h"
#include "sigproc/sigproc.h"
#include "sigproc/tests/fft_reference.h"
#include "testkit/alloc_hooks.h"
#include "testkit/guarded_buffer.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

namespace {

using fftref::Spectrum;
using testkit::CountingAllocator;
using testkit::GuardedBuffer;

using fftref::Sizes;

Sizes complexSizes(int order, int flag = sigFftScaleNone) {
    return fftref::queriedSizes(sigFftGetSize_C_32fc, order, flag);
}

Sizes realSizes(int order) {
    return fftref::queriedSizes(sigFftGetSize_R_32f, order, sigFftScaleNone);
}

using OwnedComplexSpec = fftref::OwnedRecord<sigFftSpec_C_32fc, sigFftInitAlloc_C_32fc_generic,
                                             sigFftFree_C_32fc_generic>;
using BuiltComplex =
    fftref::BuiltRecord<sigFftSpec_C_32fc, sigFftGetSize_C_32fc, sigFftInit_C_32fc>;

// 2^order complex values as 2^(order+1) floats.
std::vector<float> randomComplex(int order, std::uint32_t seed) {
    return fftref::randomSignal(std::size_t{2} << order, seed);
}

Spectrum toComplex(const std::vector<float>& interleaved) {
    Spectrum values(interleaved.size() / 2);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = {interleaved[2 * i], interleaved[2 * i + 1]};
    return values;
}

std::vector<double> interleave(const Spectrum& values, double scale) {
    std::vector<double> out(2 * values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        out[2 * i] = scale * values[i].real();
        out[2 * i + 1] = scale * values[i].imag();
    }
    return out;
}

std::vector<float> forward(const OwnedComplexSpec& spec, const std::vector<float>& x) {
    std::vector<float> out(x.size());
    EXPECT_EQ(sigFftFwd_CToC_32fc_generic(x.data(), out.data(), spec.get(), nullptr), sigOk);
    return out;
}

// ---------------------------------------------------------------- record

// Orders up to 10: twiddles with their reserve and the pair table; beyond,
// the real FFT's complex tables of the same complex order, with a sine table
// of the record's own order in the init buffer.
TEST(FftComplexSpec, SizesFollowTheRecordRule) {
    for (int order = 0; order <= 3; ++order) EXPECT_EQ(complexSizes(order), (Sizes{116, 0, 0}));
    for (int order = 4; order <= 10; ++order) {
        const int n = 1 << order;
        EXPECT_EQ(complexSizes(order), (Sizes{((8 * n + 39) & ~31) + ((n + 35) & ~31) + 128, 0, 0}))
            << order;
    }
    EXPECT_EQ(complexSizes(11), (Sizes{14528, 2112, 0}));
    EXPECT_EQ(complexSizes(12), (Sizes{20672, 4160, 0}));
    EXPECT_EQ(complexSizes(13), (Sizes{76256, 9344, 1056}));
    EXPECT_EQ(complexSizes(14), (Sizes{150240, 18592, 2080}));
    // A real record of one order more has the same complex part, its own split
    // and merge tables (4N bytes each) and a sine table twice as long.
    for (int order = 10; order <= 26; ++order) {
        const std::int64_t n = std::int64_t{1} << order;
        const Sizes real = realSizes(order + 1), complex = complexSizes(order);
        EXPECT_EQ(complex.spec, real.spec - 8 * n) << order;
        const std::int64_t ownSine = order > 10 ? ((n + 35) & ~31) + 32 : 0;
        EXPECT_EQ(complex.init, real.init - (((2 * n + 35) & ~31) + 32) + ownSine) << order;
        EXPECT_EQ(complex.work, real.work) << order;
    }
    for (int flag : fftref::kFlags) EXPECT_EQ(complexSizes(27, flag), complexSizes(27));
}

TEST(FftComplexSpec, SizeQueryChecksOrderThenPointersThenFlag) {
    for (int order : {-1, 28, 29, 30, 31, INT_MIN}) {
        int spec = 11, init = 12, work = 13;
        EXPECT_EQ(sigFftGetSize_C_32fc(order, sigFftScaleNone, 0, &spec, &init, &work),
                  sigErrFftOrder)
            << order;
        EXPECT_EQ(sigFftGetSize_C_32fc(order, 3, 0, nullptr, &init, &work), sigErrFftOrder);
        EXPECT_TRUE(spec == 11 && init == 12 && work == 13);
    }
    int spec = 11, init = 12, work = 13;
    EXPECT_EQ(sigFftGetSize_C_32fc(5, 3, 0, &spec, nullptr, &work), sigErrNullPtr);
    EXPECT_EQ(sigFftGetSize_C_32fc(5, 3, 0, &spec, &init, nullptr), sigErrNullPtr);
    for (int flag : {0, 3, 5, 16, -1}) {
        EXPECT_EQ(sigFftGetSize_C_32fc(5, flag, 0, &spec, &init, &work), sigErrFftFlag);
    }
    EXPECT_TRUE(spec == 11 && init == 12 && work == 13);
}

TEST(FftComplexSpec, EveryOrderBuildsWithinItsSizesWithTheTablesItsLengthNeeds) {
    for (int order = 0; order <= 20; ++order) {
        for (std::size_t misalign : {std::size_t{0}, std::size_t{1}, std::size_t{31}}) {
            BuiltComplex built(order, sigFftScaleNone, misalign);
            ASSERT_EQ(built.status(), sigOk) << order;
            EXPECT_TRUE(built.guardsIntact()) << "order " << order << " misalign " << misalign;
            const sigFftSpec_C_32fc& r = *built.record();
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(&r) % 32, 0u);
            EXPECT_LT(reinterpret_cast<const unsigned char*>(&r) - built.buffer(), 32);
            EXPECT_EQ(r.id, 4);
            EXPECT_EQ(r.order, order);
            EXPECT_EQ(r.hint, 7);
            EXPECT_EQ(r.allocated, 0);
            EXPECT_EQ(r.workBytes > 0 ? r.workBytes + 32 : 0, built.sizes().work) << order;
            EXPECT_EQ(r.bitRev, order > 3 ? 84u : 0u);
            EXPECT_EQ(r.twiddles != 0, order > 3);
            EXPECT_EQ(r.rotTable != 0, order == 11 || order == 12) << order;
            EXPECT_EQ(r.levelTwiddles[0] != 0, order >= 13) << order;
            EXPECT_EQ(r.levelMatrix[0] != 0, order >= 13) << order;
            EXPECT_EQ(r.levelTwiddles[1], 0u);
            EXPECT_EQ(r.realSplit, 0u);
            EXPECT_EQ(r.realRot, 0u);
        }
    }
}

TEST(FftComplexSpec, ScalingWordsFollowTheFlag) {
    struct Expected {
        int flag, fwd, inv;
        float factor;
    };
    for (const Expected& e :
         {Expected{sigFftScaleFwd, 1, 0, 1.0f / 1024}, Expected{sigFftScaleInv, 0, 1, 1.0f / 1024},
          Expected{sigFftScaleBothSqrt, 1, 1, 0.03125f}, Expected{sigFftScaleNone, 0, 0, 0.0f}}) {
        BuiltComplex built(10, e.flag);
        ASSERT_EQ(built.status(), sigOk);
        EXPECT_EQ(built.record()->scaleFwd, e.fwd);
        EXPECT_EQ(built.record()->scaleInv, e.inv);
        EXPECT_EQ(built.record()->scaleFactor, e.factor);
    }
    BuiltComplex odd(11, sigFftScaleBothSqrt);
    EXPECT_EQ(odd.record()->scaleFactor, 0.022097087f);
}

TEST(FftComplexSpec, BuildChecksAndRefusalsLeaveNoValidRecord) {
    std::vector<unsigned char> buffer(20672, 0xEE), init(4160);
    sigFftSpec_C_32fc* spec = nullptr;
    EXPECT_EQ(sigFftInit_C_32fc(nullptr, 40, 3, 0, nullptr, nullptr), sigErrNullPtr);
    EXPECT_EQ(sigFftInit_C_32fc(&spec, 28, 3, 0, nullptr, nullptr), sigErrFftOrder);
    EXPECT_EQ(sigFftInit_C_32fc(&spec, 12, 3, 0, nullptr, nullptr), sigErrNullPtr);
    EXPECT_EQ(buffer[0], 0xEE);
    // A rejected flag and a missing init buffer stop before the id.
    EXPECT_EQ(sigFftInit_C_32fc(&spec, 12, 3, 0, buffer.data(), init.data()), sigErrFftFlag);
    auto* header = reinterpret_cast<sigFftSpec_C_32fc*>(
        buffer.data() + (32 - reinterpret_cast<std::uintptr_t>(buffer.data()) % 32) % 32);
    EXPECT_EQ(header->id, 0);
    EXPECT_EQ(sigFftInit_C_32fc(&spec, 12, sigFftScaleNone, 0, buffer.data(), nullptr),
              sigErrNullPtr);
    EXPECT_EQ(header->id, 0);
    EXPECT_EQ(spec, nullptr);
    std::vector<float> data(8192, 1.0f);
    EXPECT_EQ(sigFftFwd_CToC_32fc_generic(data.data(), data.data(), header, nullptr),
              sigErrStateMismatch);
    EXPECT_EQ(sigFftFree_C_32fc_generic(header), sigErrStateMismatch);
}

// The real and the complex records do not stand in for each other.
TEST(FftComplexSpec, ARealRecordIsRefusedAndTheOtherWayRound) {
    fftref::OwnedSpec real(6, sigFftScaleNone);
    OwnedComplexSpec complex(6, sigFftScaleNone);
    std::vector<float> data(128, 1.0f);
    const auto* realAsComplex = reinterpret_cast<sigFftSpec_C_32fc*>(real.get());
    EXPECT_EQ(sigFftFwd_CToC_32fc_generic(data.data(), data.data(), realAsComplex, nullptr),
              sigErrStateMismatch);
    EXPECT_EQ(sigFftFree_C_32fc_generic(reinterpret_cast<sigFftSpec_C_32fc*>(real.get())),
              sigErrStateMismatch);
    auto* complexAsReal = reinterpret_cast<sigFftSpec_R_32f*>(complex.get());
    EXPECT_EQ(sigFftFwd_R_32f(data.data(), data.data(), complexAsReal, nullptr),
              sigErrStateMismatch);
    EXPECT_EQ(sigFftFree_R_32f(complexAsReal), sigErrStateMismatch);
    EXPECT_EQ(data, std::vector<float>(128, 1.0f));
    EXPECT_EQ(real.get()->id, 6);
    EXPECT_EQ(complex.get()->id, 4);
}

TEST(FftComplexSpec, FreeInvalidatesACallerRecordAndReleasesOnlyLibraryBlocks) {
    CountingAllocator hooks;
    BuiltComplex built(8, sigFftScaleFwd, 3);
    EXPECT_EQ(sigFftFree_C_32fc_generic(nullptr), sigErrNullPtr);
    EXPECT_EQ(sigFftFree_C_32fc_generic(built.record()), sigOk);
    EXPECT_EQ(sigFftFree_C_32fc_generic(built.record()), sigErrStateMismatch);
    EXPECT_EQ(hooks.allocations(), 0);

    sigFftSpec_C_32fc* owned = nullptr;
    ASSERT_EQ(sigFftInitAlloc_C_32fc_generic(&owned, 12, sigFftScaleFwd, 0), sigOk);
    EXPECT_EQ(owned->allocated, 1);
    EXPECT_EQ(hooks.allocations(), 2);
    EXPECT_EQ(hooks.liveBlocks(), 1u); // the init block is already back
    EXPECT_EQ(sigFftFree_C_32fc_generic(owned), sigOk);
    EXPECT_EQ(hooks.liveBlocks(), 0u);
    EXPECT_EQ(hooks.foreignReleases(), 0);
}

TEST(FftComplexSpec, InitAllocLeavesNothingBehindOnAnyFailure) {
    CountingAllocator hooks;
    sigFftSpec_C_32fc* spec = reinterpret_cast<sigFftSpec_C_32fc*>(&hooks); // a stale value
    sigFftSpec_C_32fc* const stale = spec;
    EXPECT_EQ(sigFftInitAlloc_C_32fc_generic(nullptr, 5, sigFftScaleNone, 0), sigErrNullPtr);
    EXPECT_EQ(sigFftInitAlloc_C_32fc_generic(&spec, 28, sigFftScaleNone, 0), sigErrFftOrder);
    EXPECT_EQ(sigFftInitAlloc_C_32fc_generic(&spec, 5, 0, 0), sigErrFftFlag);
    EXPECT_EQ(hooks.allocations(), 0);
    for (int order : {5, 11, 14}) {
        const int blocks = order > 10 ? 2 : 1;
        for (int failing = 1; failing <= blocks; ++failing) {
            hooks.failNth(failing);
            EXPECT_EQ(sigFftInitAlloc_C_32fc_generic(&spec, order, sigFftScaleNone, 0),
                      sigErrNoMemory);
            EXPECT_EQ(hooks.liveBlocks(), 0u) << "order " << order << " failing " << failing;
            EXPECT_EQ(spec, stale);
        }
    }
    EXPECT_EQ(hooks.foreignReleases(), 0);
}

// The dispatch groups hold the complex members; a whole life through them.
TEST(FftComplexSpec, DispatchGroupsRunTheComplexMembers) {
    sigFftSpec_C_32fc* spec = nullptr;
    ASSERT_EQ(sigDispatch(sigDispatchTableA.fftInitAlloc_C_32fc, &spec, 2, sigFftScaleNone, 0),
              sigOk);
    std::vector<float> data{0, 0, 1, 0, 0, 0, 0, 0};
    EXPECT_EQ(sigDispatch(sigDispatchTableA.fftFwd_CToC_32fc, data.data(), data.data(), spec,
                          static_cast<unsigned char*>(nullptr)),
              sigOk);
    EXPECT_EQ(data, (std::vector<float>{1, 0, 0, -1, -1, 0, 0, 1}));
    EXPECT_EQ(sigDispatch(sigDispatchTableA.fftFree_C_32fc, spec), sigOk);
}

// ---------------------------------------------------------------- transform

TEST(FftComplexTransform, WorkedExamplesOfTheClosedForms) {
    OwnedComplexSpec four(2, sigFftScaleNone);
    EXPECT_EQ(forward(four, {1, 0, 0, 0, 0, 0, 0, 0}),
              (std::vector<float>{1, 0, 1, 0, 1, 0, 1, 0}));
    EXPECT_EQ(forward(four, {0, 0, 1, 0, 0, 0, 0, 0}),
              (std::vector<float>{1, 0, 0, -1, -1, 0, 0, 1}));
    OwnedComplexSpec one(0, sigFftScaleNone);
    EXPECT_EQ(forward(one, {-2.5f, 3.0f}), (std::vector<float>{-2.5f, 3.0f}));
    OwnedComplexSpec two(1, sigFftScaleFwd);
    EXPECT_EQ(forward(two, {5, 1, 2, -3}), (std::vector<float>{3.5f, -1, 1.5f, 2}));
}

// Random input under every flag against the definition.
class EveryComplexOrder : public ::testing::TestWithParam<int> {};

TEST_P(EveryComplexOrder, ForwardMatchesTheDefinition) {
    const int order = GetParam();
    const std::vector<float> x = randomComplex(order, 700u + unsigned(order));
    const Spectrum exact = fftref::naiveDft(toComplex(x));
    for (int flag : fftref::kFlags) {
        OwnedComplexSpec spec(order, flag);
        ASSERT_EQ(spec.status(), sigOk);
        const std::vector<double> expected = interleave(exact, fftref::forwardScale(flag, order));
        const double bound = fftref::tolerance(order, fftref::largestMagnitude(expected));
        EXPECT_LE(fftref::largestError(forward(spec, x), expected), bound)
            << "order " << order << " flag " << flag;
    }
}

INSTANTIATE_TEST_SUITE_P(Orders0To12, EveryComplexOrder, ::testing::Range(0, 13));

// Beyond order 12 the chunked and split transforms: an independent double
// FFT over every bin, and the definition at a few.
class LargeComplexOrder : public ::testing::TestWithParam<int> {};

TEST_P(LargeComplexOrder, ForwardMatchesTheReferenceAndTheDefinition) {
    const int order = GetParam();
    const std::size_t n = std::size_t{1} << order;
    OwnedComplexSpec spec(order, sigFftScaleBothSqrt);
    ASSERT_EQ(spec.status(), sigOk);
    const std::vector<float> x = randomComplex(order, 800u + unsigned(order));
    const double scale = fftref::forwardScale(sigFftScaleBothSqrt, order);
    const Spectrum input = toComplex(x);
    const std::vector<double> expected = interleave(fftref::referenceFft(input), scale);
    const std::vector<float> result = forward(spec, x);
    const double bound = fftref::tolerance(order, fftref::largestMagnitude(expected));
    EXPECT_LE(fftref::largestError(result, expected), bound);
    for (std::size_t k : {std::size_t{0}, std::size_t{1}, n / 2, n - 1, std::size_t{40503} % n}) {
        const std::complex<double> bin = fftref::dftBin(input, k) * scale;
        EXPECT_NEAR(result[2 * k], bin.real(), bound) << "bin " << k;
        EXPECT_NEAR(result[2 * k + 1], bin.imag(), bound) << "bin " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Orders13To22, LargeComplexOrder, ::testing::Range(13, 23));

// 1/N is a power of two, so the scaled transform is the unscaled one scaled
// exactly, on every path: closed forms, one piece, chunks and splits.
TEST(FftComplexTransform, ForwardScalingAppliesAtEveryOrder) {
    for (int order = 0; order <= 18; ++order) {
        OwnedComplexSpec plain(order, sigFftScaleNone), scaled(order, sigFftScaleFwd);
        const std::vector<float> x = randomComplex(order, 900u + unsigned(order));
        const std::vector<float> unscaled = forward(plain, x);
        const std::vector<float> result = forward(scaled, x);
        const float factor = std::ldexp(1.0f, -order);
        std::size_t mismatches = 0;
        for (std::size_t i = 0; i < x.size(); ++i) mismatches += result[i] != unscaled[i] * factor;
        EXPECT_EQ(mismatches, 0u) << "order " << order;
    }
}

// In place and out of place run the same arithmetic; out of place never writes its source.
TEST(FftComplexTransform, InPlaceEqualsOutOfPlaceBitForBit) {
    for (int order = 0; order <= 16; ++order) {
        const std::size_t floats = std::size_t{2} << order;
        OwnedComplexSpec spec(order, sigFftScaleBothSqrt);
        ASSERT_EQ(spec.status(), sigOk);
        const std::vector<float> x = randomComplex(order, 1000u + unsigned(order));
        GuardedBuffer<float> src(floats, 4);
        std::memcpy(src.data(), x.data(), floats * sizeof(float));
        src.snapshot();
        GuardedBuffer<float> dst(floats, 12);
        ASSERT_EQ(sigFftFwd_CToC_32fc_generic(src.data(), dst.data(), spec.get(), nullptr), sigOk);
        EXPECT_TRUE(src.unchanged() && src.guardsIntact() && dst.guardsIntact()) << order;
        std::vector<float> inPlace = x;
        ASSERT_EQ(sigFftFwd_CToC_32fc_generic(inPlace.data(), inPlace.data(), spec.get(), nullptr),
                  sigOk);
        EXPECT_EQ(std::memcmp(inPlace.data(), dst.data(), floats * sizeof(float)), 0) << order;
    }
}

TEST(FftComplexTransform, SpecBeforeDataThenSourceThenDestination) {
    OwnedComplexSpec spec(5, sigFftScaleNone);
    GuardedBuffer<unsigned char> stale(448, 0, 0);
    auto* invalid = reinterpret_cast<const sigFftSpec_C_32fc*>(stale.bytes()); // id 0
    GuardedBuffer<float> src(64, 0, 0x3C), dst(64, 0, 0x3D);
    EXPECT_EQ(sigFftFwd_CToC_32fc_generic(nullptr, nullptr, nullptr, nullptr), sigErrNullPtr);
    EXPECT_EQ(sigFftFwd_CToC_32fc_generic(nullptr, nullptr, invalid, nullptr), sigErrStateMismatch);
    EXPECT_EQ(sigFftFwd_CToC_32fc_generic(nullptr, dst.data(), spec.get(), nullptr), sigErrNullPtr);
    EXPECT_EQ(sigFftFwd_CToC_32fc_generic(src.data(), nullptr, spec.get(), nullptr), sigErrNullPtr);
    EXPECT_TRUE(src.unchanged() && dst.unchanged());
}

// Orders up to 12 never take memory; from 13 on a transform without a work
// buffer takes one block of the record's work size for the call.
TEST(FftComplexTransform, OnlySplitOrdersTakeAWorkBlock) {
    for (int order = 0; order <= 15; ++order) {
        OwnedComplexSpec spec(order, sigFftScaleNone);
        std::vector<float> data = randomComplex(order, 11);
        CountingAllocator hooks;
        ASSERT_EQ(sigFftFwd_CToC_32fc_generic(data.data(), data.data(), spec.get(), nullptr),
                  sigOk);
        EXPECT_EQ(hooks.allocations(), order >= 13 ? 1 : 0) << order;
        EXPECT_EQ(hooks.liveBlocks(), 0u);
        if (order >= 13) {
            EXPECT_EQ(hooks.requests()[0], std::uint32_t(spec.get()->workBytes + 36));
        }
    }
}

TEST(FftComplexTransform, NoMemoryForTheWorkBlockWritesNothing) {
    OwnedComplexSpec spec(14, sigFftScaleNone);
    CountingAllocator hooks;
    hooks.failAll();
    GuardedBuffer<float> src(std::size_t{2} << 14, 0, 0x3C), dst(std::size_t{2} << 14, 0, 0x3D);
    EXPECT_EQ(sigFftFwd_CToC_32fc_generic(src.data(), dst.data(), spec.get(), nullptr),
              sigErrNoMemory);
    EXPECT_TRUE(src.unchanged() && dst.unchanged());
    EXPECT_EQ(hooks.liveBlocks(), 0u);
}

// A caller's work buffer of the queried size serves from its first 32-byte
// boundary, stays within its size and gives the same result.
TEST(FftComplexTransform, ACallersWorkBufferServesAndStaysWithinItsSize) {
    for (int order : {13, 16, 19}) {
        OwnedComplexSpec spec(order, sigFftScaleFwd);
        const int bytes = complexSizes(order).work;
        const std::vector<float> x = randomComplex(order, 12);
        const std::vector<float> own = forward(spec, x);
        for (std::size_t misalign : {std::size_t{0}, std::size_t{1}, std::size_t{31}}) {
            GuardedBuffer<unsigned char> work(std::size_t(bytes), misalign);
            std::vector<float> data = x;
            CountingAllocator hooks;
            ASSERT_EQ(
                sigFftFwd_CToC_32fc_generic(data.data(), data.data(), spec.get(), work.bytes()),
                sigOk);
            EXPECT_EQ(hooks.allocations(), 0);
            EXPECT_TRUE(work.guardsIntact()) << order << " " << misalign;
            EXPECT_EQ(data, own) << order;
        }
    }
}

} // namespace
