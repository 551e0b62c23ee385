// The slot-5 real-FFT member beside the generic member, orders 6 to 16, in
// place, each with its work buffer from the caller; FFTW's in-place plans of
// the same length run in the same cases. The generic member is each case's
// reference ("SlotForward_order_12/reference_generic").
#include "sigproc/bench/fft/fft_cases.h"
#include "sigproc/fft/real_fft.h"
#include "sigproc/fft/simd_fft.h"
#include "sigproc/sigproc.h"

#include <vector>

namespace {

using namespace fft_bench;

constexpr unsigned kSeed = 2;

using InitAlloc = int (*)(sigFftSpec_R_32f**, int, int, int);
using Transform = int (*)(const float*, float*, const sigFftSpec_R_32f*, unsigned char*);

// Scaled in the inverse direction, so that repeated transforms stay bounded.
void memberTransform(benchmark::State& state, int order, bool inverse, InitAlloc initAlloc,
                     Transform forward, Transform backward) {
    flushDenormals();
    sigFftSpec_R_32f* spec = nullptr;
    if (initAlloc(&spec, order, sigFftScaleInv, 0) != sigOk) {
        state.SkipWithError("no specification");
        return;
    }
    int workBytes = 0;
    sigFftGetBufSize_R_32f(spec, &workBytes);
    std::vector<unsigned char> work(static_cast<std::size_t>(workBytes));
    float* data = sigMalloc_32f(1 << order);
    fillRandom(data, std::size_t{1} << order, kSeed);
    const Transform run = inverse ? backward : forward;
    for (auto _ : state) {
        run(data, data, spec, work.data());
        benchmark::ClobberMemory();
    }
    sigFree(data);
    sigFftFree_R_32f(spec);
}

void genericTransform(benchmark::State& state, int order, bool inverse) {
    memberTransform(state, order, inverse, sigFftInitAlloc_R_32f, sigFftFwd_R_32f, sigFftInv_R_32f);
}

void sse41Transform(benchmark::State& state, int order, bool inverse) {
    memberTransform(state, order, inverse, sigFftInitAlloc_R_32f_sse41, sigFftFwd_R_32f_sse41,
                    sigFftInv_R_32f_sse41);
}

void fftw(benchmark::State& state, int order, bool inverse) {
    fftwTransform(state, order, inverse, kSeed);
}

constexpr Contender kMembers[] = {
    {"reference_generic", genericTransform},
    {"sse41", sse41Transform},
    {"FFTW", fftw},
};

const bool registered =
    registerCases("SlotForward", "SlotInverse", {6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, kMembers);

} // namespace
