// FIR states in library blocks: block sizes, the inner FFT specification,
// allocation failure at every step, and release.
#include "filter_reference.h"
#include "sigproc/filters/fir_state.h"
#include "sigproc/sigproc.h"
#include "testkit/alloc_hooks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <vector>

namespace {

using filter_reference::randomSignal;
using testkit::CountingAllocator;

sigFirState* const kUnwritten = reinterpret_cast<sigFirState*>(std::uintptr_t{0x5A5A5A50});

bool requested(const CountingAllocator& hooks, std::uint32_t blockBytes) {
    const auto& r = hooks.requests();
    return std::find(r.begin(), r.end(), blockBytes + 36) != r.end();
}

TEST(FirAlloc, ShortFilterIsOneBlockWithoutFftPart) {
    CountingAllocator hooks;
    const std::vector<float> taps = randomSignal(63, 1);
    sigFirState* state = nullptr;
    ASSERT_EQ(sigFirInitAlloc_32f(&state, taps.data(), 63, nullptr), sigOk);
    EXPECT_EQ(hooks.requests(), (std::vector<std::uint32_t>{17552 + 36}));
    EXPECT_EQ(state->allocated, 1);
    EXPECT_EQ(state->fftLen, -1);
    EXPECT_EQ(state->fftTaps, 0u);
    EXPECT_EQ(state->spec(), nullptr);
    EXPECT_EQ(state->taps, 112u);
    EXPECT_EQ(state->tapsArea()[0], taps[62]);
    EXPECT_EQ(sigFirFree_32f(state), sigOk);
    EXPECT_EQ(hooks.liveBlocks(), 0u);
}

TEST(FirAlloc, LongFiltersOwnAnFftSpecificationOfTheirOwn) {
    for (const auto& [tapsLen, fftLen, blockBytes] :
         std::vector<std::tuple<int, int, std::uint32_t>>{{64, 256, 19600}, {256, 1024, 28816}}) {
        CountingAllocator hooks;
        const std::vector<float> taps = randomSignal(static_cast<std::size_t>(tapsLen), 2);
        sigFirState* state = nullptr;
        ASSERT_EQ(sigFirInitAlloc_32f(&state, taps.data(), tapsLen, nullptr), sigOk);
        EXPECT_TRUE(requested(hooks, blockBytes)) << tapsLen << " taps";
        EXPECT_EQ(state->fftLen, fftLen);
        EXPECT_EQ(state->fftWork, 0u); // these orders need no work area
        EXPECT_NE(state->spec(), nullptr);
        EXPECT_GE(hooks.liveBlocks(), 2u);
        EXPECT_EQ(sigFirFree_32f(state), sigOk);
        EXPECT_EQ(hooks.liveBlocks(), 0u);
        EXPECT_EQ(hooks.foreignReleases(), 0);
    }
}

// A library state filters exactly like one in a caller's buffer, on both paths.
TEST(FirAlloc, FiltersLikeAStateInACallersBuffer) {
    const std::vector<float> taps = randomSignal(256, 3);
    const std::vector<float> past = randomSignal(256, 4);
    const std::vector<float> x = randomSignal(1600, 5);
    sigFirState* own = nullptr;
    ASSERT_EQ(sigFirInitAlloc_32f(&own, taps.data(), 256, past.data()), sigOk);
    int size = 0;
    ASSERT_EQ(sigFirGetStateSize_32f(256, &size), sigOk);
    std::vector<unsigned char> buffer(static_cast<std::size_t>(size));
    sigFirState* inBuffer = nullptr;
    ASSERT_EQ(sigFirInit_32f(&inBuffer, taps.data(), 256, past.data(), buffer.data()), sigOk);
    std::vector<float> a(x.size()), b(x.size());
    for (int at : {0, 100, 1000}) {
        const int len = at == 0 ? 100 : at == 100 ? 900 : 600;
        ASSERT_EQ(sigFirProcess_32f(x.data() + at, a.data() + at, len, own), sigOk);
        ASSERT_EQ(sigFirProcess_32f(x.data() + at, b.data() + at, len, inBuffer), sigOk);
    }
    EXPECT_EQ(a, b);
    sigFirFree_32f(own);
}

// Every allocation the operation makes, failed in turn: no memory, nothing
// left allocated, and the caller's pointer as it was.
TEST(FirAlloc, FailureAtEachAllocationLeavesNothingBehind) {
    for (int tapsLen : {20, 256, 3000}) {
        const std::vector<float> taps = randomSignal(static_cast<std::size_t>(tapsLen), 6);
        int steps = 0;
        {
            CountingAllocator hooks;
            sigFirState* state = nullptr;
            ASSERT_EQ(sigFirInitAlloc_32f(&state, taps.data(), tapsLen, nullptr), sigOk);
            steps = hooks.allocations();
            sigFirFree_32f(state);
        }
        ASSERT_GE(steps, tapsLen >= 64 ? 2 : 1);
        for (int failing = 1; failing <= steps; ++failing) {
            CountingAllocator hooks;
            hooks.failNth(failing);
            sigFirState* state = kUnwritten;
            EXPECT_EQ(sigFirInitAlloc_32f(&state, taps.data(), tapsLen, nullptr), sigErrNoMemory)
                << tapsLen << " taps, allocation " << failing;
            EXPECT_EQ(state, kUnwritten);
            EXPECT_EQ(hooks.liveBlocks(), 0u);
        }
    }
}

TEST(FirAlloc, RefusalsAllocateNothing) {
    CountingAllocator hooks;
    const float tap = 1.0f;
    sigFirState* state = kUnwritten;
    EXPECT_EQ(sigFirInitAlloc_32f(nullptr, &tap, 0, nullptr), sigErrNullPtr);
    EXPECT_EQ(sigFirInitAlloc_32f(&state, nullptr, 0, nullptr), sigErrNullPtr);
    EXPECT_EQ(sigFirInitAlloc_32f(&state, &tap, 0, nullptr), sigErrFirLength);
    EXPECT_EQ(sigFirInitAlloc_32f(&state, &tap, INT_MAX, nullptr), sigErrFirLength);
    EXPECT_EQ(sigFirInitAlloc_32f(&state, &tap, 1 << 27, nullptr), sigErrFirLength);
    EXPECT_EQ(state, kUnwritten);
    EXPECT_EQ(hooks.allocations(), 0);
}

TEST(FirAlloc, FreeReleasesOnlyLibraryStates) {
    CountingAllocator hooks;
    const std::vector<float> taps = randomSignal(100, 7);
    int size = 0;
    ASSERT_EQ(sigFirGetStateSize_32f(100, &size), sigOk);
    std::vector<unsigned char> buffer(static_cast<std::size_t>(size));
    sigFirState* state = nullptr;
    ASSERT_EQ(sigFirInit_32f(&state, taps.data(), 100, nullptr, buffer.data()), sigOk);
    EXPECT_EQ(sigFirFree_32f(state), sigOk);
    state->id = sigFirIdMultiRate;
    EXPECT_EQ(sigFirFree_32f(state), sigOk);
    state->id = 0x49493031; // an IIR state's id
    state->allocated = 1;
    EXPECT_EQ(sigFirFree_32f(state), sigErrStateMismatch);
    EXPECT_EQ(sigFirFree_32f(nullptr), sigErrNullPtr);
    EXPECT_EQ(hooks.releases(), 0);
    EXPECT_EQ(hooks.allocations(), 0);
}

} // namespace
