// IIR state set-up: sizes, the layout in a caller's buffer, normalisation by
// a0, the library-block variant under allocation failure, and release.
#include "sigproc/filters/iir.h"
#include "sigproc/sigproc.h"
#include "testkit/alloc_hooks.h"
#include "testkit/float_bits.h"
#include "testkit/guarded_buffer.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

namespace {

using testkit::CountingAllocator;
using testkit::GuardedBuffer;

sigIirState* const kUnwritten = reinterpret_cast<sigIirState*>(std::uintptr_t{0x5A5A5A50});

// Third order: b0..b3, a0..a3.
const std::vector<float> kThirdOrder = {1.0f, 0.5f, -0.25f, 0.125f, 2.0f, -1.0f, 0.5f, 0.25f};

int sizeFor(int order) {
    int size = -1;
    EXPECT_EQ(sigIirGetStateSize_32f_generic(order, &size), sigOk);
    return size;
}

TEST(IirSetup, SizeCoversHeaderTapsDelayAndAlignmentSlack) {
    EXPECT_EQ(sizeFor(1), 96);
    EXPECT_EQ(sizeFor(2), 112);
    EXPECT_EQ(sizeFor(3), 112);
    EXPECT_EQ(sizeFor(4), 144);
    EXPECT_EQ(sizeFor(8), 192);
}

TEST(IirSetup, SizeQueryRefusesBadArgumentsAndUnrepresentableSizes) {
    int size = -1;
    EXPECT_EQ(sigIirGetStateSize_32f_generic(3, nullptr), sigErrNullPtr);
    EXPECT_EQ(sigIirGetStateSize_32f_generic(0, nullptr), sigErrNullPtr);
    EXPECT_EQ(sigIirGetStateSize_32f_generic(0, &size), sigErrIirOrder);
    EXPECT_EQ(sigIirGetStateSize_32f_generic(-4, &size), sigErrIirOrder);
    EXPECT_EQ(sigIirGetStateSize_32f_generic(INT_MAX, &size), sigErrIirOrder);
    EXPECT_EQ(sigIirGetStateSize_32f_generic(INT_MAX / 8, &size), sigErrIirOrder);
    EXPECT_EQ(size, -1);
}

// At every misalignment the record starts at the next multiple of 16 and fits
// in exactly the size the query gave.
TEST(IirSetup, StateFitsItsSizeAtAnyBufferAddress) {
    const int size = sizeFor(3);
    const float dly[4] = {0.75f, -1.5f, 3.0f, 99.0f}; // the fourth word is not the caller's to set
    for (std::size_t misalign = 0; misalign < 16; ++misalign) {
        GuardedBuffer<unsigned char> buffer(static_cast<std::size_t>(size), misalign);
        sigIirState* state = nullptr;
        ASSERT_EQ(sigIirInit_32f_generic(&state, kThirdOrder.data(), 3, dly, buffer.data()), sigOk);
        const auto address = reinterpret_cast<std::uintptr_t>(state);
        EXPECT_EQ(address % 16, 0u);
        EXPECT_LT(address - reinterpret_cast<std::uintptr_t>(buffer.data()), 16u);
        EXPECT_EQ(state->id, sigIirIdDirect);
        EXPECT_EQ(state->order, 3);
        EXPECT_EQ(state->allocated, 0);
        EXPECT_EQ(state->sectionCount, 0);
        EXPECT_EQ(reinterpret_cast<unsigned char*>(state->tapsArea()),
                  reinterpret_cast<unsigned char*>(state) + 48);
        EXPECT_EQ(reinterpret_cast<unsigned char*>(state->delayArea()),
                  reinterpret_cast<unsigned char*>(state->tapsArea()) + 32);
        const float* delay = state->delayArea();
        EXPECT_EQ(std::vector<float>(delay, delay + 4),
                  (std::vector<float>{0.75f, -1.5f, 3.0f, 0.0f}));
        EXPECT_TRUE(buffer.guardsIntact()) << "misalignment " << misalign;
    }
}

TEST(IirSetup, TapsAreDividedByA0AndA0IsNotStored) {
    alignas(16) unsigned char buffer[256];
    sigIirState* state = nullptr;
    ASSERT_EQ(sigIirInit_32f_generic(&state, kThirdOrder.data(), 3, nullptr, buffer), sigOk);
    const float* taps = state->tapsArea();
    EXPECT_EQ(std::vector<float>(taps, taps + 7),
              (std::vector<float>{0.5f, 0.25f, -0.125f, 0.0625f, -0.5f, 0.25f, 0.125f}));
    const float* delay = state->delayArea();
    EXPECT_EQ(std::vector<float>(delay, delay + 4), std::vector<float>(4, 0.0f));

    // a0 = 1 keeps every tap; the reciprocal of 3 is formed in double.
    const std::vector<float> firstOrder = {0.1f, 0.3f, 1.0f, -0.7f};
    ASSERT_EQ(sigIirInit_32f_generic(&state, firstOrder.data(), 1, nullptr, buffer), sigOk);
    EXPECT_EQ(std::vector<float>(state->tapsArea(), state->tapsArea() + 3),
              (std::vector<float>{0.1f, 0.3f, -0.7f}));
    const std::vector<float> byThree = {1.0f, 2.0f, 3.0f, 1.0f};
    ASSERT_EQ(sigIirInit_32f_generic(&state, byThree.data(), 1, nullptr, buffer), sigOk);
    EXPECT_EQ(state->tapsArea()[0], static_cast<float>(1.0 / 3.0));
    EXPECT_EQ(state->tapsArea()[2], static_cast<float>(1.0 / 3.0));
}

TEST(IirSetup, ZeroA0IsRefusedBeforeAnythingIsWrittenOrAllocated) {
    for (float a0 : {0.0f, -0.0f}) {
        std::vector<float> taps = kThirdOrder;
        taps[4] = a0;
        GuardedBuffer<unsigned char> buffer(static_cast<std::size_t>(sizeFor(3)), 4);
        sigIirState* state = kUnwritten;
        EXPECT_EQ(sigIirInit_32f_generic(&state, taps.data(), 3, nullptr, buffer.data()),
                  sigErrDivByZero);
        EXPECT_EQ(state, kUnwritten);
        EXPECT_TRUE(buffer.unchanged());

        CountingAllocator hooks;
        EXPECT_EQ(sigIirInitAlloc_32f(&state, taps.data(), 3, nullptr), sigErrDivByZero);
        EXPECT_EQ(state, kUnwritten);
        EXPECT_EQ(hooks.allocations(), 0);
    }
    // A NaN a0 is not a zero.
    std::vector<float> taps = kThirdOrder;
    taps[4] = testkit::floatOf(0x7FC00000u);
    sigIirState* state = nullptr;
    ASSERT_EQ(sigIirInitAlloc_32f(&state, taps.data(), 3, nullptr), sigOk);
    EXPECT_EQ(sigIirFree_32f(state), sigOk);
}

// The normaliser on its own: a zero a0 leaves the taps a state holds as they
// were; any other a0 replaces them.
TEST(IirSetup, NormalizerRefusesZeroA0AndOtherwiseReplacesTheTaps) {
    alignas(16) unsigned char buffer[256];
    sigIirState* state = nullptr;
    ASSERT_EQ(sigIirInit_32f_generic(&state, kThirdOrder.data(), 3, nullptr, buffer), sigOk);
    const std::vector<float> before(state->tapsArea(), state->tapsArea() + 7);
    for (float a0 : {0.0f, -0.0f}) {
        std::vector<float> taps(8, 9.0f);
        taps[4] = a0;
        EXPECT_EQ(sigIirNormalizeTaps_32f(taps.data(), state), sigErrDivByZero);
        EXPECT_EQ(std::vector<float>(state->tapsArea(), state->tapsArea() + 7), before);
    }
    const std::vector<float> byMinusFour = {1.0f, 2.0f, 3.0f, 4.0f, -4.0f, 8.0f, -2.0f, 1.0f};
    EXPECT_EQ(sigIirNormalizeTaps_32f(byMinusFour.data(), state), sigOk);
    EXPECT_EQ(std::vector<float>(state->tapsArea(), state->tapsArea() + 7),
              (std::vector<float>{-0.25f, -0.5f, -0.75f, -1.0f, -2.0f, 0.5f, -0.25f}));
}

TEST(IirSetup, ArgumentChecksComeInOrder) {
    alignas(16) unsigned char buffer[256];
    const float* taps = kThirdOrder.data();
    sigIirState* state = kUnwritten;
    EXPECT_EQ(sigIirInit_32f_generic(&state, nullptr, 0, nullptr, buffer), sigErrNullPtr);
    EXPECT_EQ(sigIirInit_32f_generic(nullptr, taps, 0, nullptr, buffer), sigErrNullPtr);
    EXPECT_EQ(sigIirInit_32f_generic(&state, taps, 0, nullptr, nullptr), sigErrNullPtr);
    EXPECT_EQ(sigIirInit_32f_generic(&state, taps, 0, nullptr, buffer), sigErrIirOrder);
    EXPECT_EQ(sigIirInit_32f_generic(&state, taps, INT_MAX, nullptr, buffer), sigErrIirOrder);
    EXPECT_EQ(sigIirInitAlloc_32f(&state, nullptr, -1, nullptr), sigErrNullPtr);
    EXPECT_EQ(sigIirInitAlloc_32f(nullptr, taps, -1, nullptr), sigErrNullPtr);
    EXPECT_EQ(sigIirInitAlloc_32f(&state, taps, -1, nullptr), sigErrIirOrder);
    EXPECT_EQ(state, kUnwritten);
}

TEST(IirSetup, LibraryBlockIsSizedLikeABufferAndReleasedByFree) {
    CountingAllocator hooks;
    sigIirState* state = nullptr;
    ASSERT_EQ(sigIirInitAlloc_32f(&state, kThirdOrder.data(), 3, nullptr), sigOk);
    EXPECT_EQ(hooks.requests(), (std::vector<std::uint32_t>{112 + 36}));
    EXPECT_EQ(state->allocated, 1);
    EXPECT_EQ(state->tapsArea()[0], 0.5f);
    EXPECT_EQ(sigIirFree_32f(state), sigOk);
    EXPECT_EQ(hooks.liveBlocks(), 0u);

    hooks.failNth(1);
    state = kUnwritten;
    EXPECT_EQ(sigIirInitAlloc_32f(&state, kThirdOrder.data(), 3, nullptr), sigErrNoMemory);
    EXPECT_EQ(state, kUnwritten);
    EXPECT_EQ(hooks.liveBlocks(), 0u);
}

TEST(IirSetup, FreeReleasesOnlyLibraryBlocksWithAnIirId) {
    CountingAllocator hooks;
    alignas(16) unsigned char buffer[256];
    sigIirState* state = nullptr;
    ASSERT_EQ(sigIirInit_32f_generic(&state, kThirdOrder.data(), 3, nullptr, buffer), sigOk);
    EXPECT_EQ(sigIirFree_32f(state), sigOk);
    state->id = sigIirIdBiquad;
    EXPECT_EQ(sigIirFree_32f(state), sigOk);
    state->id = 0x46493031; // a FIR state's id
    state->allocated = 1;
    EXPECT_EQ(sigIirFree_32f(state), sigErrStateMismatch);
    EXPECT_EQ(sigIirFree_32f(nullptr), sigErrNullPtr);
    EXPECT_EQ(hooks.releases(), 0);
}

} // namespace
