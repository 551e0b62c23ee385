// The transforms' argument checks and their work areas: what is checked in
// which order, that a refused call writes nothing, and when a transform takes
// memory of its own.
#include "sigproc/fft/real_fft.h"
#include "sigproc/sigproc.h"
#include "sigproc/tests/fft_reference.h"
#include "testkit/alloc_hooks.h"
#include "testkit/guarded_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

using fftref::OwnedSpec;
using testkit::CountingAllocator;
using testkit::GuardedBuffer;

using Transform = std::function<int(const float* src, float* dst, const sigFftSpec_R_32f* spec,
                                    unsigned char* work)>;

struct Direction {
    const char* name;
    Transform run;
};

std::vector<Direction> everyTransform() {
    return {
        {"sigFftFwd_R_32f", sigFftFwd_R_32f},
        {"sigFftInv_R_32f", sigFftInv_R_32f},
        {"sigFftFwdInPlace_R_32f",
         [](const float*, float* dst, const sigFftSpec_R_32f* spec, unsigned char* work) {
             return sigFftFwdInPlace_R_32f(dst, spec, work);
         }},
        {"sigFftInvInPlace_R_32f",
         [](const float*, float* dst, const sigFftSpec_R_32f* spec, unsigned char* work) {
             return sigFftInvInPlace_R_32f(dst, spec, work);
         }},
    };
}

// The FFT specification is checked before the data: a null spec gives -8, a spec
// of the wrong id -17, even when the data pointers are null too.
TEST(FftChecks, SpecBeforeDataThenSourceThenDestination) {
    OwnedSpec spec(6, sigFftScaleNone);
    GuardedBuffer<unsigned char> stale(736, 0, 0);
    auto* invalid = reinterpret_cast<const sigFftSpec_R_32f*>(stale.bytes()); // id 0
    for (const Direction& d : everyTransform()) {
        GuardedBuffer<float> src(64, 0, 0x3C), dst(64, 0, 0x3D);
        EXPECT_EQ(d.run(nullptr, nullptr, nullptr, nullptr), sigErrNullPtr) << d.name;
        EXPECT_EQ(d.run(src.data(), dst.data(), nullptr, nullptr), sigErrNullPtr) << d.name;
        EXPECT_EQ(d.run(nullptr, nullptr, invalid, nullptr), sigErrStateMismatch) << d.name;
        EXPECT_EQ(d.run(src.data(), dst.data(), invalid, nullptr), sigErrStateMismatch) << d.name;
        EXPECT_EQ(d.run(src.data(), nullptr, spec.get(), nullptr), sigErrNullPtr) << d.name;
        EXPECT_TRUE(src.unchanged() && dst.unchanged()) << d.name;
    }
    EXPECT_EQ(sigFftFwd_R_32f(nullptr, std::vector<float>(64).data(), spec.get(), nullptr),
              sigErrNullPtr);
    EXPECT_EQ(sigFftInv_R_32f(nullptr, std::vector<float>(64).data(), spec.get(), nullptr),
              sigErrNullPtr);
}

TEST(FftChecks, AFreedSpecIsRefused) {
    std::vector<unsigned char> buffer(8896);
    sigFftSpec_R_32f* spec = nullptr;
    ASSERT_EQ(sigFftInit_R_32f(&spec, 10, sigFftScaleInv, 0, buffer.data(), nullptr), sigOk);
    ASSERT_EQ(sigFftFree_R_32f(spec), sigOk);
    std::vector<float> data(1024, 1.0f);
    for (const Direction& d : everyTransform()) {
        EXPECT_EQ(d.run(data.data(), data.data(), spec, nullptr), sigErrStateMismatch) << d.name;
    }
    EXPECT_EQ(data, std::vector<float>(1024, 1.0f));
}

// Orders up to 13 never take memory; from 14 on a transform without a work
// buffer takes one block for the call and gives it back.
TEST(FftChecks, OnlySplitOrdersTakeAWorkBlock) {
    for (int order = 0; order <= 16; ++order) {
        OwnedSpec spec(order, sigFftScaleInv);
        std::vector<float> data = fftref::randomSignal(std::size_t{1} << order, 9);
        CountingAllocator hooks;
        for (const Direction& d : everyTransform())
            ASSERT_EQ(d.run(data.data(), data.data(), spec.get(), nullptr), sigOk);
        EXPECT_EQ(hooks.allocations(), order >= 14 ? 4 : 0) << order;
        EXPECT_EQ(hooks.liveBlocks(), 0u);
        if (order >= 14) {
            int work = 0;
            ASSERT_EQ(sigFftGetBufSize_R_32f(spec.get(), &work), sigOk);
            EXPECT_EQ(hooks.requests()[0], std::uint32_t(work - 32 + 36))
                << "the area itself, no slack";
        }
    }
}

TEST(FftChecks, NoMemoryForTheWorkBlockWritesNothing) {
    OwnedSpec spec(15, sigFftScaleNone);
    CountingAllocator hooks;
    hooks.failAll();
    for (const Direction& d : everyTransform()) {
        GuardedBuffer<float> src(1 << 15, 0, 0x3C), dst(1 << 15, 0, 0x3D);
        EXPECT_EQ(d.run(src.data(), dst.data(), spec.get(), nullptr), sigErrNoMemory) << d.name;
        EXPECT_TRUE(src.unchanged() && dst.unchanged()) << d.name;
    }
    EXPECT_EQ(hooks.liveBlocks(), 0u);
}

// A caller's work buffer is used from its first 32-byte boundary and never
// beyond the size the query reports, and the result is the same.
TEST(FftChecks, ACallersWorkBufferServesAndStaysWithinItsSize) {
    for (int order : {14, 17, 20}) {
        OwnedSpec spec(order, sigFftScaleFwd);
        int bytes = 0;
        ASSERT_EQ(sigFftGetBufSize_R_32f(spec.get(), &bytes), sigOk);
        const std::vector<float> x = fftref::randomSignal(std::size_t{1} << order, 10);
        std::vector<float> own = x;
        ASSERT_EQ(sigFftFwdInPlace_R_32f(own.data(), spec.get(), nullptr), sigOk);
        for (std::size_t misalign : {std::size_t{0}, std::size_t{1}, std::size_t{31}}) {
            GuardedBuffer<unsigned char> work(std::size_t(bytes), misalign);
            std::vector<float> data = x;
            CountingAllocator hooks;
            ASSERT_EQ(sigFftFwdInPlace_R_32f(data.data(), spec.get(), work.bytes()), sigOk);
            EXPECT_EQ(hooks.allocations(), 0);
            EXPECT_TRUE(work.guardsIntact()) << order << " " << misalign;
            EXPECT_EQ(std::memcmp(data.data(), own.data(), own.size() * sizeof(float)), 0);
            ASSERT_EQ(sigFftInvInPlace_R_32f(data.data(), spec.get(), work.bytes()), sigOk);
            EXPECT_TRUE(work.guardsIntact());
        }
    }
}

// Small orders never look at the work buffer.
TEST(FftChecks, SmallOrdersIgnoreTheWorkBuffer) {
    for (int order = 0; order <= 13; ++order) {
        OwnedSpec spec(order, sigFftScaleNone);
        GuardedBuffer<unsigned char> work(64, 0, 0x11);
        std::vector<float> data(std::size_t{1} << order, 0.25f);
        EXPECT_EQ(sigFftFwdInPlace_R_32f(data.data(), spec.get(), work.bytes()), sigOk);
        EXPECT_TRUE(work.unchanged() && work.guardsIntact()) << order;
    }
}

} // namespace
