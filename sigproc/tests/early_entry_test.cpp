// Entry points called from a static initialiser, while the program's static
// objects are still being set up, before main: the dispatch tables are
// constant data, so the calls find their members and give the same results as
// any later call.
#include "sigproc/sigproc.h"

#include <gtest/gtest.h>

#include <array>

namespace {

constexpr int kLength = 16; // a real transform of order 4

struct EntryRun {
    int setStatus = 1;
    int scaleStatus = 1;
    int firStatus = 1;
    int fftStatus = 1;
    std::array<float, kLength> filtered{};
    std::array<float, kLength> spectrum{};

    bool operator==(const EntryRun&) const = default;
};

// Entry points of both tables: the allocator, fill, scale, a FIR filter set
// up in a library block and a real transform.
EntryRun runEntries() {
    EntryRun run;
    float* block = sigMalloc_32f(kLength);
    if (block == nullptr) return run;
    run.setStatus = sigSet_32f(1.5f, block, kLength);
    run.scaleStatus = sigMulConstInPlace_32f(2.0f, block, kLength);

    const float taps[] = {0.5f, 0.25f};
    sigFirState* fir = nullptr;
    run.firStatus = sigFirInitAlloc_32f(&fir, taps, 2, nullptr);
    if (run.firStatus == sigOk) {
        run.firStatus = sigFirProcess_32f(block, run.filtered.data(), kLength, fir);
        sigFirFree_32f(fir);
    }

    sigFftSpec_R_32f* spec = nullptr;
    run.fftStatus = sigFftInitAlloc_R_32f(&spec, 4, sigFftScaleNone, 0);
    if (run.fftStatus == sigOk) {
        run.spectrum = run.filtered;
        run.fftStatus = sigFftFwdInPlace_R_32f(run.spectrum.data(), spec, nullptr);
        sigFftFree_R_32f(spec);
    }
    sigFree(block);
    return run;
}

const EntryRun beforeMain = runEntries();

TEST(DispatchTables, EntryPointsWorkFromAStaticInitialiser) {
    EXPECT_EQ(beforeMain.setStatus, sigOk);
    EXPECT_EQ(beforeMain.scaleStatus, sigOk);
    EXPECT_EQ(beforeMain.firStatus, sigOk);
    EXPECT_EQ(beforeMain.fftStatus, sigOk);
    // 3.0 through the taps 0.5 and 0.25 from an empty delay line.
    EXPECT_EQ(beforeMain.filtered[0], 1.5f);
    for (int i = 1; i < kLength; ++i) EXPECT_EQ(beforeMain.filtered[i], 2.25f) << i;
    EXPECT_EQ(beforeMain.spectrum[0], 1.5f + 15 * 2.25f); // the sum: the zero-frequency bin
    EXPECT_TRUE(beforeMain == runEntries());
}

} // namespace
