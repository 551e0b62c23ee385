// The real-FFT members of slots 1 to 5 against the generic member: the same
// results up to single-precision rounding (exactly for orders 0 to 3), on
// every path, in place and out of place, aligned or not, with or without a
// caller's work buffer; and the same checks and statuses.
#include "sigproc/core/cpu.h"
#include "sigproc/core/dispatch.h"
#include "sigproc/tests/fft_reference.h"
#include "sigproc/tests/fft_simd_members.h"
#include "testkit/alloc_hooks.h"
#include "testkit/guarded_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using fftsimd::kSlots;
using fftsimd::SlotMembers;
using fftsimd::SlotRecord;
using testkit::GuardedBuffer;

std::vector<float> genericResult(int order, int flag, bool inverse, const std::vector<float>& x) {
    fftref::OwnedSpec spec(order, flag);
    EXPECT_EQ(spec.status(), sigOk);
    std::vector<float> out(x.size());
    const int status = inverse ? sigFftInv_R_32f(x.data(), out.data(), spec.get(), nullptr)
                               : sigFftFwd_R_32f(x.data(), out.data(), spec.get(), nullptr);
    EXPECT_EQ(status, sigOk);
    return out;
}

std::vector<float> slotResult(const SlotMembers& members, int order, int flag, bool inverse,
                              const std::vector<float>& x) {
    SlotRecord spec(members, order, flag);
    EXPECT_EQ(spec.status(), sigOk);
    std::vector<float> out(x.size());
    const fftsimd::Transform run = inverse ? members.inverse : members.forward;
    EXPECT_EQ(run(x.data(), out.data(), spec.get(), nullptr), sigOk);
    return out;
}

// Within rounding of the generic result: the error bound of a transform of
// the order, relative to the largest output.
void expectCloseToGeneric(const std::vector<float>& result, const std::vector<float>& generic,
                          int order, const std::string& what) {
    const std::vector<double> reference = fftref::widen(generic);
    const double bound = 2 * fftref::tolerance(order, fftref::largestMagnitude(reference));
    EXPECT_LE(fftref::largestError(result, reference), bound) << what;
}

class EverySlot : public ::testing::TestWithParam<SlotMembers> {};

TEST_P(EverySlot, MatchesTheGenericMemberForOrders0To20) {
    const SlotMembers& members = GetParam();
    for (int order = 0; order <= 20; ++order) {
        const std::size_t n = std::size_t{1} << order;
        for (bool inverse : {false, true}) {
            // Orders 4 and up under every flag once; the largest under two.
            for (int flag : fftref::kFlags) {
                if (order > 14 && flag != sigFftScaleInv && flag != sigFftScaleFwd) continue;
                const std::vector<float> x = fftref::randomSignal(n, 40u + unsigned(order));
                const std::vector<float> generic = genericResult(order, flag, inverse, x);
                const std::vector<float> result = slotResult(members, order, flag, inverse, x);
                const std::string what =
                    std::string(members.name) + " order " + std::to_string(order) +
                    (inverse ? " inverse" : " forward") + " flag " + std::to_string(flag);
                if (order <= 3) {
                    EXPECT_EQ(std::memcmp(result.data(), generic.data(), 4 * n), 0) << what;
                } else {
                    expectCloseToGeneric(result, generic, order, what);
                }
            }
        }
    }
}

// In place or not, 16-byte or 4-byte aligned, the caller's work buffer or
// none: the same arithmetic, so the same bits; the source is never written
// and nothing outside the buffers is.
TEST_P(EverySlot, LayoutOfTheBuffersDoesNotChangeTheResult) {
    const SlotMembers& members = GetParam();
    const int orders[] = {4, 5, 6, 9, 11, members.blockedFromOrder - 1, members.blockedFromOrder};
    for (int order : orders) {
        const std::size_t n = std::size_t{1} << order;
        SlotRecord spec(members, order, sigFftScaleBothSqrt);
        ASSERT_EQ(spec.status(), sigOk);
        int workBytes = 0;
        ASSERT_EQ(sigFftGetBufSize_R_32f(spec.get(), &workBytes), sigOk);
        ASSERT_GT(workBytes, 0) << "every order from 4 on has a work area";
        const std::vector<float> x = fftref::randomSignal(n, 90u + unsigned(order));
        for (bool inverse : {false, true}) {
            const fftsimd::Transform run = inverse ? members.inverse : members.forward;
            std::vector<float> expected(n);
            ASSERT_EQ(run(x.data(), expected.data(), spec.get(), nullptr), sigOk);
            for (std::size_t misalign : {std::size_t{0}, std::size_t{4}}) {
                for (bool inPlace : {false, true}) {
                    for (bool callerWork : {false, true}) {
                        GuardedBuffer<float> src(n, misalign), dst(n, misalign + 8);
                        GuardedBuffer<unsigned char> work(std::size_t(workBytes), misalign + 12);
                        std::memcpy(src.data(), x.data(), 4 * n);
                        src.snapshot();
                        float* out = inPlace ? src.data() : dst.data();
                        ASSERT_EQ(
                            run(src.data(), out, spec.get(), callerWork ? work.bytes() : nullptr),
                            sigOk);
                        const std::string what =
                            std::string(members.name) + " order " + std::to_string(order) +
                            (inverse ? " inverse" : " forward") +
                            (inPlace ? " in place" : " out of place") + " misalign " +
                            std::to_string(misalign) + (callerWork ? " caller work" : " own work");
                        EXPECT_EQ(std::memcmp(out, expected.data(), 4 * n), 0) << what;
                        if (!inPlace) {
                            EXPECT_TRUE(src.unchanged()) << what;
                        }
                        EXPECT_TRUE(src.guardsIntact() && dst.guardsIntact() && work.guardsIntact())
                            << what;
                    }
                }
            }
        }
    }
}

// Forward then inverse returns the signal on every path of the slot: each
// direction is scaled exactly once.
TEST_P(EverySlot, RoundTripScalesOnce) {
    const SlotMembers& members = GetParam();
    for (int order : {4, 5, 10, members.blockedFromOrder - 1, members.blockedFromOrder,
                      members.blockedFromOrder + 1}) {
        const std::size_t n = std::size_t{1} << order;
        for (int flag : {sigFftScaleInv, sigFftScaleBothSqrt}) {
            SlotRecord spec(members, order, flag);
            ASSERT_EQ(spec.status(), sigOk);
            const std::vector<float> x = fftref::randomSignal(n, 7u + unsigned(order));
            std::vector<float> data = x;
            ASSERT_EQ(members.forward(data.data(), data.data(), spec.get(), nullptr), sigOk);
            ASSERT_EQ(members.inverse(data.data(), data.data(), spec.get(), nullptr), sigOk);
            EXPECT_LE(fftref::largestError(data, fftref::widen(x)),
                      fftref::tolerance(2 * order, 1.0))
                << members.name << " order " << order << " flag " << flag;
        }
    }
}

TEST_P(EverySlot, ChecksAndStatusesAreTheGenericOnes) {
    const SlotMembers& members = GetParam();
    SlotRecord spec(members, 6, sigFftScaleNone);
    ASSERT_EQ(spec.status(), sigOk);
    EXPECT_EQ(spec.get()->slot, members.slot);
    std::vector<float> src(64, 1.0f), dst(64, 3.0f);
    EXPECT_EQ(members.forward(src.data(), dst.data(), nullptr, nullptr), sigErrNullPtr);
    EXPECT_EQ(members.forward(nullptr, dst.data(), spec.get(), nullptr), sigErrNullPtr);
    EXPECT_EQ(members.inverse(src.data(), nullptr, spec.get(), nullptr), sigErrNullPtr);

    sigFftSpec_R_32f copy = *spec.get();
    copy.id = 0;
    EXPECT_EQ(members.forward(src.data(), dst.data(), &copy, nullptr), sigErrStateMismatch);

    // No caller buffer and no memory: refused before dst is written.
    {
        testkit::CountingAllocator allocator;
        allocator.failAll();
        EXPECT_EQ(members.forward(src.data(), dst.data(), spec.get(), nullptr), sigErrNoMemory);
        EXPECT_EQ(members.inverse(src.data(), dst.data(), spec.get(), nullptr), sigErrNoMemory);
        EXPECT_EQ(dst, std::vector<float>(64, 3.0f));
    }
    // With the caller's buffer nothing is allocated.
    {
        int workBytes = 0;
        ASSERT_EQ(sigFftGetBufSize_R_32f(spec.get(), &workBytes), sigOk);
        std::vector<unsigned char> work(std::size_t(workBytes), 0);
        testkit::CountingAllocator allocator;
        EXPECT_EQ(members.forward(src.data(), dst.data(), spec.get(), work.data()), sigOk);
        EXPECT_EQ(allocator.allocations(), 0);
    }
}

// The slot's size query and set-up into caller buffers of exactly the
// queried sizes, at any alignment: nothing is written outside them, the
// work size covers every path, and the record transforms as the allocated
// one does.
TEST_P(EverySlot, RecordBuiltIntoCallerBuffersOfTheQueriedSizes) {
    const SlotMembers& members = GetParam();
    for (int order : {0, 3, 4, 10, 11, members.blockedFromOrder - 1, members.blockedFromOrder,
                      members.blockedFromOrder + 2}) {
        const std::size_t n = std::size_t{1} << order;
        fftref::Sizes sizes;
        ASSERT_EQ(members.getSize(order, sigFftScaleFwd, 0, &sizes.spec, &sizes.init, &sizes.work),
                  sigOk);
        GuardedBuffer<unsigned char> specBuf(std::size_t(sizes.spec), 4);
        GuardedBuffer<unsigned char> initBuf(std::size_t(std::max(sizes.init, 1)), 4);
        sigFftSpec_R_32f* built = nullptr;
        ASSERT_EQ(members.init(&built, order, sigFftScaleFwd, 0, specBuf.bytes(),
                               sizes.init > 0 ? initBuf.bytes() : nullptr),
                  sigOk);
        EXPECT_TRUE(specBuf.guardsIntact() && initBuf.guardsIntact()) << order;
        int workBytes = 0;
        ASSERT_EQ(sigFftGetBufSize_R_32f(built, &workBytes), sigOk);
        EXPECT_EQ(workBytes, sizes.work) << order;
        if (order >= members.blockedFromOrder - 1) {
            EXPECT_GE(workBytes, 65536) << order;
        }

        SlotRecord allocated(members, order, sigFftScaleFwd);
        ASSERT_EQ(allocated.status(), sigOk);
        const std::vector<float> x = fftref::randomSignal(n, 11u);
        std::vector<float> fromBuilt(n), fromAllocated(n);
        GuardedBuffer<unsigned char> work(std::size_t(std::max(workBytes, 1)), 4);
        ASSERT_EQ(members.forward(x.data(), fromBuilt.data(), built, work.bytes()), sigOk);
        ASSERT_EQ(members.forward(x.data(), fromAllocated.data(), allocated.get(), nullptr), sigOk);
        EXPECT_EQ(fromBuilt, fromAllocated) << order;
        EXPECT_TRUE(work.guardsIntact()) << order;
    }
    int spec = 0, init = 0, work = 0;
    EXPECT_EQ(members.getSize(31, sigFftScaleFwd, 0, &spec, &init, &work), sigErrFftOrder);
    EXPECT_EQ(members.getSize(-1, sigFftScaleFwd, 0, &spec, &init, &work), sigErrFftOrder);
    EXPECT_EQ(members.getSize(8, 3, 0, &spec, &init, &work), sigErrFftFlag);
    EXPECT_EQ(members.getSize(8, sigFftScaleFwd, 0, nullptr, &init, &work), sigErrNullPtr);
    sigFftSpec_R_32f* none = nullptr;
    std::vector<unsigned char> buffer(4096);
    EXPECT_EQ(members.init(&none, 8, 3, 0, buffer.data(), nullptr), sigErrFftFlag);
    EXPECT_EQ(members.init(&none, 12, sigFftScaleFwd, 0, buffer.data(), nullptr), sigErrNullPtr);
    EXPECT_EQ(none, nullptr);
}

// A slot's tables are laid out for its own transforms only: another slot's
// record, or the generic one, is refused and nothing is written.
TEST_P(EverySlot, RefusesRecordsOfOtherSlots) {
    const SlotMembers& members = GetParam();
    for (int order : {2, 8, 13}) {
        const std::size_t n = std::size_t{1} << order;
        std::vector<float> src(n, 1.0f), dst(n, 3.0f);
        fftref::OwnedSpec generic(order, sigFftScaleNone);
        ASSERT_EQ(generic.status(), sigOk);
        EXPECT_EQ(members.forward(src.data(), dst.data(), generic.get(), nullptr),
                  sigErrStateMismatch);
        for (const SlotMembers& other : kSlots) {
            if (other.slot == members.slot) continue;
            SlotRecord record(other, order, sigFftScaleNone);
            ASSERT_EQ(record.status(), sigOk);
            EXPECT_EQ(members.inverse(src.data(), dst.data(), record.get(), nullptr),
                      sigErrStateMismatch);
        }
        SlotRecord own(members, order, sigFftScaleNone);
        ASSERT_EQ(own.status(), sigOk);
        EXPECT_EQ(sigFftFwd_R_32f(src.data(), dst.data(), own.get(), nullptr), sigErrStateMismatch);
        EXPECT_EQ(dst, std::vector<float>(n, 3.0f));
    }
}

// The products of each slot against the generic multiply, within a unit in
// the last place of the largest term; the real DC and Nyquist terms exactly.
TEST_P(EverySlot, PackedMultiplyMatchesTheGenericMultiply) {
    const SlotMembers& members = GetParam();
    for (int len = 1; len <= 41; ++len) {
        for (std::size_t misalign : {std::size_t{0}, std::size_t{4}}) {
            const std::vector<float> a = fftref::randomSignal(std::size_t(len), 5u + unsigned(len));
            const std::vector<float> b = fftref::randomSignal(std::size_t(len), 9u + unsigned(len));
            GuardedBuffer<float> src(std::size_t(len), misalign), srcDst(std::size_t(len), 8);
            std::memcpy(src.data(), a.data(), 4 * std::size_t(len));
            std::memcpy(srcDst.data(), b.data(), 4 * std::size_t(len));
            std::vector<float> expected = b;
            ASSERT_EQ(sigMulPackInPlace_32f(a.data(), expected.data(), len), sigOk);
            ASSERT_EQ(members.mulPack(src.data(), srcDst.data(), len), sigOk);
            EXPECT_EQ(srcDst.get(0), expected[0]);
            if (len % 2 == 0) {
                EXPECT_EQ(srcDst.get(1), expected[1]);
            }
            for (int i = 0; i < len; ++i)
                EXPECT_NEAR(srcDst.get(std::size_t(i)), expected[std::size_t(i)], 2 * FLT_EPSILON)
                    << members.name << " len " << len << " element " << i;
            EXPECT_TRUE(srcDst.guardsIntact());
        }
    }
    std::vector<float> src(4, 2.0f), srcDst(4, 3.0f);
    EXPECT_EQ(members.mulPack(nullptr, srcDst.data(), 4), sigErrNullPtr);
    EXPECT_EQ(members.mulPack(src.data(), nullptr, 4), sigErrNullPtr);
    EXPECT_EQ(members.mulPack(src.data(), srcDst.data(), 0), sigErrLength);
    EXPECT_EQ(members.mulPack(src.data(), srcDst.data(), -3), sigErrLength);
    EXPECT_EQ(srcDst, std::vector<float>(4, 3.0f));
}

// The public entries reach a slot when the level selects it, which the
// processor must support; records then belong to that slot.
TEST_P(EverySlot, PublicEntriesRunTheSlotAtItsLevel) {
    const SlotMembers& members = GetParam();
    if (sigCpuLevelOf(sigCpuReadSnapshot()).level < members.slot)
        GTEST_SKIP() << "the processor has no " << members.name;
    const int order = 12;
    const std::vector<float> x = fftref::randomSignal(std::size_t{1} << order, 3u);
    const std::vector<float> generic = genericResult(order, sigFftScaleInv, false, x);
    std::vector<float> data = x;
    sigFftSpec_R_32f* spec = nullptr;
    sigCpuLevel.store(members.slot);
    const int built = sigFftInitAlloc_R_32f(&spec, order, sigFftScaleInv, 0);
    const int transformed = sigFftFwdInPlace_R_32f(data.data(), spec, nullptr);
    sigCpuLevel.store(0);
    ASSERT_EQ(built, sigOk);
    EXPECT_EQ(transformed, sigOk);
    EXPECT_EQ(spec->slot, members.slot);
    expectCloseToGeneric(data, generic, order, members.name);
    // Back at level 0 the generic member refuses the slot's record.
    EXPECT_EQ(sigFftInvInPlace_R_32f(data.data(), spec, nullptr), sigErrStateMismatch);
    EXPECT_EQ(sigFftFree_R_32f(spec), sigOk);
}

INSTANTIATE_TEST_SUITE_P(Slots, EverySlot, ::testing::ValuesIn(kSlots),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
