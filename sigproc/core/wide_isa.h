// Vector instruction sets wider than the x86-64 baseline, for the few generic
// members whose inner loops are built more than once.
//
// A multi-versioned loop is one body compiled for each set: every element
// goes through the same operations in the same order whichever width runs it
// (no fused multiply-add: the library builds with -ffp-contract=off, and no
// set below enables contraction by itself), so the wider builds give the
// baseline's results bit for bit and only the speed depends on the machine.
// The dispatch level word plays no part in the choice.
#pragma once

#include <atomic>

enum class sigWideIsa {
    baseline, // SSE2, what every x86-64 processor has
    avx2,     // 256-bit integer and float vectors
    avx512,   // 512-bit vectors with byte and word elements (AVX-512 F and BW)
};

// Target strings of the wider builds, for __attribute__((target(...))).
#define SIG_TARGET_AVX2 __attribute__((target("avx2")))
#define SIG_TARGET_AVX512 __attribute__((target("avx2,avx512f,avx512bw")))

// Asks the processor and the operating system for the widest set they run.
sigWideIsa sigWideIsaProbe();

// The set the loops run with: the baseline from the first instruction, raised
// to the probe's answer while the library is loaded. A call made before that
// (from another unit's static initialiser) runs the baseline build, which
// gives the same results; reading it costs one load on every packet.
extern std::atomic<int> sigWideIsaInUse;

inline sigWideIsa sigWideIsaOfMachine() {
    return static_cast<sigWideIsa>(sigWideIsaInUse.load(std::memory_order_relaxed));
}

// Whether this machine runs code built for `isa`.
bool sigWideIsaSupported(sigWideIsa isa);

// The builds of one loop, one per set. `select` gives the build the loops
// run with; tests reach every build through `of`.
template <typename Fn> struct sigWideVariants {
    Fn* baseline;
    Fn* avx2;
    Fn* avx512;

    Fn* of(sigWideIsa isa) const {
        switch (isa) {
        case sigWideIsa::avx512:
            return avx512;
        case sigWideIsa::avx2:
            return avx2;
        case sigWideIsa::baseline:
            break;
        }
        return baseline;
    }
    Fn* select() const { return of(sigWideIsaOfMachine()); }
};
