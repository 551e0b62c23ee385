// The compiler's processor probe checks both the CPUID feature bits and that
// the operating system saves the wider registers (XGETBV), which a bare CPUID
// test would miss.
#include "sigproc/core/wide_isa.h"

sigWideIsa sigWideIsaProbe() {
    __builtin_cpu_init(); // may run from a static initialiser before the runtime's own
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw"))
        return sigWideIsa::avx512;
    if (__builtin_cpu_supports("avx2")) return sigWideIsa::avx2;
    return sigWideIsa::baseline;
}
