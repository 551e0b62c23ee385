// Processor identification: CPUID access and the pure logic that classifies
// what CPUID reports. The public probes (sigCpuGetType, sigCpuHasSse2, ...)
// read the processor and hand the registers to the functions below, which
// tests feed with made-up register values instead.
#pragma once

#include "sigproc/sigproc.h"

#include <cstdint>

struct sigCpuidRegs {
    std::uint32_t eax = 0;
    std::uint32_t ebx = 0;
    std::uint32_t ecx = 0;
    std::uint32_t edx = 0;
};

// The CPUID leaves the classification reads. Every leaf is captured as the
// processor answers it; the logic itself decides which ones leaf 0 and leaf
// 0x80000000 vouch for.
struct sigCpuidSnapshot {
    bool hasCpuid = false;
    sigCpuidRegs leaf0;    // highest basic leaf, vendor string
    sigCpuidRegs leaf1;    // signature and feature words
    sigCpuidRegs leaf2;    // cache and TLB descriptor bytes
    sigCpuidRegs leaf4;    // deterministic cache parameters, subleaf 0
    sigCpuidRegs extLeaf0; // highest extended leaf
    sigCpuidRegs extLeaf1; // extended feature words
};

// ---- hardware access

sigCpuidRegs sigCpuidQuery(std::uint32_t leaf, std::uint32_t subleaf);
sigCpuidSnapshot sigCpuReadSnapshot();
// The MXCSR mask that FXSAVE stores; 0 when the processor reports none.
std::uint32_t sigCpuMxcsrMask();

// ---- pure classification

int sigCpuIsGenuineIntelOf(const sigCpuidRegs& leaf0);
int sigCpuIsMultiThreadedOf(const sigCpuidRegs& leaf1);
int sigCpuCoresPerPackageOf(const sigCpuidSnapshot& cpu);
int sigCpuHasLongModeOf(const sigCpuidSnapshot& cpu);
// The processor type code (0 unidentified).
int sigCpuTypeOf(const sigCpuidSnapshot& cpu);
// The dispatch level a type code stands for (0 for codes without one).
int sigCpuLevelOfType(int type);

struct sigCpuLevelChoice {
    int level;
    int status; // sigOk, or sigWarnCpuVendor without CPUID or on another vendor
};
sigCpuLevelChoice sigCpuLevelOf(const sigCpuidSnapshot& cpu);

// Fills the record from the snapshot; returns leaf-2 EAX, or sigErrNullPtr
// for a null record (a real leaf-2 EAX has the round count 1 in its low byte,
// so it never reads as that status).
int sigCpuGetInfoOf(const sigCpuidSnapshot& cpu, sigCpuInfo* info);
// Size of the first table row whose descriptor byte leaf 2 reports, or -1.
int sigCpuCacheSizeOf(const sigCpuidRegs& leaf2, const std::int32_t* table);
