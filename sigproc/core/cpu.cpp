// The processor side of identification: CPUID, the flags register, the
// time-stamp counter and FXSAVE. Everything CPUID reports is interpreted in
// cpu_classify.cpp.
#include "sigproc/core/cpu.h"

#include "sigproc/core/dispatch.h"

#include <cpuid.h>
#include <x86intrin.h>

#include <cstring>

namespace {

constexpr std::uint64_t kIdFlag = 1u << 21;

bool leaf1EdxBit(int n) { return ((sigCpuidQuery(1, 0).edx >> n) & 1u) != 0; }
bool leaf1EcxBit(int n) { return ((sigCpuidQuery(1, 0).ecx >> n) & 1u) != 0; }

sigCpuidSnapshot extendedSnapshot() {
    sigCpuidSnapshot cpu;
    cpu.hasCpuid = true;
    cpu.extLeaf0 = sigCpuidQuery(0x80000000u, 0);
    cpu.extLeaf1 = sigCpuidQuery(0x80000001u, 0);
    return cpu;
}

struct alignas(16) FxsaveArea {
    unsigned char bytes[512];
};
constexpr std::size_t kMxcsrMaskOffset = 28;

} // namespace

sigCpuidRegs sigCpuidQuery(std::uint32_t leaf, std::uint32_t subleaf) {
    sigCpuidRegs r;
    __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
    return r;
}

sigCpuidSnapshot sigCpuReadSnapshot() {
    sigCpuidSnapshot cpu;
    cpu.hasCpuid = sigCpuHasCpuid() != 0;
    if (!cpu.hasCpuid) return cpu;
    cpu.leaf0 = sigCpuidQuery(0, 0);
    cpu.leaf1 = sigCpuidQuery(1, 0);
    cpu.leaf2 = sigCpuidQuery(2, 0);
    cpu.leaf4 = sigCpuidQuery(4, 0);
    cpu.extLeaf0 = sigCpuidQuery(0x80000000u, 0);
    cpu.extLeaf1 = sigCpuidQuery(0x80000001u, 0);
    return cpu;
}

std::uint32_t sigCpuMxcsrMask() {
    FxsaveArea area{};
    asm volatile("fxsave %0" : "=m"(area));
    std::uint32_t mask;
    std::memcpy(&mask, area.bytes + kMxcsrMaskOffset, sizeof mask);
    return mask;
}

// CPUID exists when the ID bit of the flags register can be toggled.
int sigCpuHasCpuid() {
    const std::uint64_t original = __readeflags();
    __writeeflags(original ^ kIdFlag);
    const std::uint64_t toggled = __readeflags();
    __writeeflags(original);
    return ((original ^ toggled) & kIdFlag) != 0 ? 1 : 0;
}

int sigCpuInitLevel() {
    const sigCpuLevelChoice choice = sigCpuLevelOf(sigCpuReadSnapshot());
    sigCpuLevel.store(choice.level, std::memory_order_relaxed);
    return choice.status;
}

int sigCpuGetType() { return sigCpuTypeOf(sigCpuReadSnapshot()); }

std::uint32_t sigCpuMaxLeaf() { return sigCpuidQuery(0, 0).eax; }

int sigCpuHasTsc() { return leaf1EdxBit(4); }
int sigCpuHasMmx() { return leaf1EdxBit(23); }
int sigCpuHasSse() { return leaf1EdxBit(25); }
int sigCpuHasSse2() { return leaf1EdxBit(26); }
int sigCpuHasSse3() { return leaf1EcxBit(0); }
int sigCpuHasSsse3() { return leaf1EcxBit(9); }
int sigCpuHasSse41() { return leaf1EcxBit(19); }
int sigCpuHasSse42() { return leaf1EcxBit(20); }

int sigCpuIsMultiThreaded() { return sigCpuIsMultiThreadedOf(sigCpuidQuery(1, 0)); }

int sigCpuCoresPerPackage() {
    sigCpuidSnapshot cpu;
    cpu.leaf0 = sigCpuidQuery(0, 0);
    cpu.leaf4 = sigCpuidQuery(4, 0);
    return sigCpuCoresPerPackageOf(cpu);
}

int sigCpuHasLongMode() { return sigCpuHasLongModeOf(extendedSnapshot()); }

int sigCpuGetInfo(sigCpuInfo* info) { return sigCpuGetInfoOf(sigCpuReadSnapshot(), info); }

std::uint64_t sigCpuReadTsc() { return __rdtsc(); }

int sigCpuIsGenuineIntel() { return sigCpuIsGenuineIntelOf(sigCpuidQuery(0, 0)); }

int sigCpuHasDaz() {
    const std::uint32_t mask = sigCpuMxcsrMask();
    return mask != 0 && (mask & 0x40u) != 0 ? 1 : 0;
}

int sigCpuCacheSizeByTable(const std::int32_t* table) {
    return sigCpuCacheSizeOf(sigCpuidQuery(2, 0), table);
}

int sigCpuid(std::uint32_t* out, std::uint32_t leaf, std::uint32_t subleaf) {
    if (out == nullptr) return sigErrNullPtr;
    const sigCpuidRegs r = sigCpuidQuery(leaf, subleaf);
    out[0] = r.eax;
    out[1] = r.ebx;
    out[2] = r.ecx;
    out[3] = r.edx;
    return sigOk;
}
