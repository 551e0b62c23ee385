// The FIR set-ups of slots 1 to 5: their overlap path runs through the slot's
// real FFT and agrees with the direct path (the convolution in double, bit for
// bit) within the overlap path's rounding bound, in a library block and in a
// caller's buffer, reached directly and through the entry points.
#include "filter_reference.h"
#include "sigproc/core/cpu.h"
#include "sigproc/core/dispatch.h"
#include "sigproc/filters/fir_state.h"
#include "sigproc/sigproc.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

namespace {

struct FirSlot {
    int slot;
    const char* name;
    int (*getStateSize)(int, int*);
    int (*init)(sigFirState**, const float*, int, const float*, unsigned char*);
    int (*initAlloc)(sigFirState**, const float*, int, const float*);
};

const FirSlot kFirSlots[] = {
    {1, "sse", sigFirGetStateSize_32f_sse, sigFirInit_32f_sse, sigFirInitAlloc_32f_sse},
    {2, "sse2", sigFirGetStateSize_32f_sse2, sigFirInit_32f_sse2, sigFirInitAlloc_32f_sse2},
    {3, "sse3", sigFirGetStateSize_32f_sse3, sigFirInit_32f_sse3, sigFirInitAlloc_32f_sse3},
    {4, "ssse3", sigFirGetStateSize_32f_ssse3, sigFirInit_32f_ssse3, sigFirInitAlloc_32f_ssse3},
    {5, "sse41", sigFirGetStateSize_32f_sse41, sigFirInit_32f_sse41, sigFirInitAlloc_32f_sse41},
};

// The overlap path's rounding bound (as for the generic filter): log2 of the
// FFT length stages, the taps' l2 norm, the largest input.
double overlapTolerance(const std::vector<float>& taps, const std::vector<float>& x, int fftLen) {
    double energy = 0.0, peak = 0.0;
    for (float c : taps) energy += double{c} * c;
    for (float v : x) peak = std::max(peak, double{std::abs(v)});
    return 8.0 * FLT_EPSILON * std::log2(fftLen) * std::sqrt(energy) * peak;
}

// Filters x in calls of `block` samples.
std::vector<float> run(sigFirState* state, const std::vector<float>& x, std::size_t block) {
    std::vector<float> y(x.size());
    for (std::size_t at = 0; at < x.size(); at += block) {
        const std::size_t len = std::min(block, x.size() - at);
        EXPECT_EQ(sigFirProcess_32f(x.data() + at, y.data() + at, static_cast<int>(len), state),
                  sigOk);
    }
    return y;
}

class EveryFirSlot : public ::testing::TestWithParam<FirSlot> {};

TEST_P(EveryFirSlot, OverlapPathAgreesWithTheDirectPath) {
    const FirSlot& fir = GetParam();
    for (int tapsLen : {64, 256, 1000}) {
        const std::vector<float> taps = filter_reference::randomSignal(std::size_t(tapsLen), 3u);
        const std::vector<float> x = filter_reference::randomSignal(5000, 4u);
        const std::vector<float> reference = filter_reference::convolve(taps, x);
        const std::string what = std::string(fir.name) + " taps " + std::to_string(tapsLen);

        sigFirState* allocated = nullptr;
        ASSERT_EQ(fir.initAlloc(&allocated, taps.data(), tapsLen, nullptr), sigOk) << what;
        ASSERT_GT(allocated->fftLen, 0) << what;
        EXPECT_EQ(allocated->spec()->slot, fir.slot) << what;

        int size = 0;
        ASSERT_EQ(fir.getStateSize(tapsLen, &size), sigOk);
        std::vector<unsigned char> buffer(std::size_t(size) + 1);
        sigFirState* inBuffer = nullptr;
        // One byte in: the state rounds its start up, whatever the buffer's alignment.
        ASSERT_EQ(fir.init(&inBuffer, taps.data(), tapsLen, nullptr, buffer.data() + 1), sigOk);
        ASSERT_GT(inBuffer->fftLen, 0) << what;
        EXPECT_EQ(inBuffer->spec()->slot, fir.slot) << what;

        for (sigFirState* state : {allocated, inBuffer}) {
            const std::vector<float> y = run(state, x, 1200); // overlap path throughout
            const double tol = overlapTolerance(taps, x, state->fftLen);
            double worst = 0.0;
            for (std::size_t i = 0; i < y.size(); ++i)
                worst = std::max(worst, double{std::abs(y[i] - reference[i])});
            EXPECT_LE(worst, tol) << what;
        }
        // The direct path of the same state stays exact.
        sigFirState* direct = nullptr;
        ASSERT_EQ(fir.initAlloc(&direct, taps.data(), tapsLen, nullptr), sigOk);
        EXPECT_EQ(run(direct, x, 100), reference) << what;
        EXPECT_EQ(sigFirFree_32f(direct), sigOk);
        EXPECT_EQ(sigFirFree_32f(allocated), sigOk);
    }
}

TEST_P(EveryFirSlot, ChecksAreTheGenericOnes) {
    const FirSlot& fir = GetParam();
    const std::vector<float> taps(80, 0.5f);
    sigFirState* state = nullptr;
    std::vector<unsigned char> buffer(1 << 16);
    int size = 0;
    EXPECT_EQ(fir.getStateSize(80, nullptr), sigErrNullPtr);
    EXPECT_EQ(fir.getStateSize(0, &size), sigErrFirLength);
    EXPECT_EQ(fir.init(&state, nullptr, 80, nullptr, buffer.data()), sigErrNullPtr);
    EXPECT_EQ(fir.init(&state, taps.data(), 80, nullptr, nullptr), sigErrNullPtr);
    EXPECT_EQ(fir.init(&state, taps.data(), -1, nullptr, buffer.data()), sigErrFirLength);
    EXPECT_EQ(fir.initAlloc(nullptr, taps.data(), 80, nullptr), sigErrNullPtr);
    EXPECT_EQ(fir.initAlloc(&state, taps.data(), 0, nullptr), sigErrFirLength);
    EXPECT_EQ(state, nullptr);
}

// Through the entry points at the slot's level (where the processor has it):
// the state made there keeps running the slot's FFT after the level drops.
TEST_P(EveryFirSlot, EntryPointsAtTheSlotsLevel) {
    const FirSlot& fir = GetParam();
    if (sigCpuLevelOf(sigCpuReadSnapshot()).level < fir.slot)
        GTEST_SKIP() << "the processor has no " << fir.name;
    const std::vector<float> taps = filter_reference::randomSignal(256, 8u);
    const std::vector<float> x = filter_reference::randomSignal(2048, 9u);
    sigFirState* state = nullptr;
    sigCpuLevel.store(fir.slot);
    const int status = sigFirInitAlloc_32f(&state, taps.data(), 256, nullptr);
    sigCpuLevel.store(0);
    ASSERT_EQ(status, sigOk);
    EXPECT_EQ(state->spec()->slot, fir.slot);
    const std::vector<float> y = run(state, x, 1024);
    const std::vector<float> reference = filter_reference::convolve(taps, x);
    for (std::size_t i = 0; i < y.size(); ++i)
        ASSERT_NEAR(y[i], reference[i], overlapTolerance(taps, x, state->fftLen)) << i;
    EXPECT_EQ(sigFirFree_32f(state), sigOk);
}

INSTANTIATE_TEST_SUITE_P(Slots, EveryFirSlot, ::testing::ValuesIn(kFirSlots),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
