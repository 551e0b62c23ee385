// The compiler's processor probe checks both the CPUID feature bits and that
// the operating system saves the wider registers (XGETBV), which a bare CPUID
// test would miss.
#include "sigproc/core/wide_isa.h"

sigWideIsa sigWideIsaProbe() {
    __builtin_cpu_init(); // may run before the runtime's own initialisation
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw"))
        return sigWideIsa::avx512;
    if (__builtin_cpu_supports("avx2")) return sigWideIsa::avx2;
    return sigWideIsa::baseline;
}

constinit std::atomic<int> sigWideIsaInUse{static_cast<int>(sigWideIsa::baseline)};

namespace {

// Runs when the library is loaded, ahead of ordinary static initialisers.
__attribute__((constructor(101))) void chooseWideIsa() {
    sigWideIsaInUse.store(static_cast<int>(sigWideIsaProbe()), std::memory_order_relaxed);
}

} // namespace

bool sigWideIsaSupported(sigWideIsa isa) {
    static const sigWideIsa machine = sigWideIsaProbe();
    return static_cast<int>(isa) <= static_cast<int>(machine);
}
