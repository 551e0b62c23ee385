// Classification of a processor from its CPUID registers. No processor access
// here: everything comes in through the snapshot.
#include "sigproc/core/cpu.h"

#include <array>

namespace {

constexpr bool bit(std::uint32_t word, int n) { return ((word >> n) & 1u) != 0; }
constexpr std::uint32_t field(std::uint32_t word, int low, int width) {
    return (word >> low) & ((1u << width) - 1u);
}

// "Genu" "ineI" "ntel" as EBX, EDX, ECX read them.
constexpr std::uint32_t kGenu = 0x756E6547u;
constexpr std::uint32_t kIneI = 0x49656E69u;
constexpr std::uint32_t kNtel = 0x6C65746Eu;

constexpr std::uint32_t kExtendedBase = 0x80000000u;

struct Features {
    bool sse, sse2, sse3, ssse3, sse41, sse42, multiThreaded, longMode;
    int coresPerPackage;
};

// The classification asks the extended leaf whenever the highest-extended-leaf
// word has any of its low 31 bits set (a looser test than sigCpuHasLongMode's).
Features featuresOf(const sigCpuidSnapshot& cpu) {
    const sigCpuidRegs& l1 = cpu.leaf1;
    return {
        .sse = bit(l1.edx, 25),
        .sse2 = bit(l1.edx, 26),
        .sse3 = bit(l1.ecx, 0),
        .ssse3 = bit(l1.ecx, 9),
        .sse41 = bit(l1.ecx, 19),
        .sse42 = bit(l1.ecx, 20),
        .multiThreaded = sigCpuIsMultiThreadedOf(l1) != 0,
        .longMode = (cpu.extLeaf0.eax & 0x7FFFFFFFu) != 0 && bit(cpu.extLeaf1.edx, 29),
        .coresPerPackage = sigCpuCoresPerPackageOf(cpu),
    };
}

struct Signature {
    int family; // with the extended family added for family 15
    int model;  // with the extended model added for families 6 and 15
};

Signature signatureOf(const sigCpuidRegs& leaf1) {
    const std::uint32_t eax = leaf1.eax;
    int family = int(field(eax, 8, 4));
    int model = int(field(eax, 4, 4));
    if (family == 6 || family == 15) model += int(field(eax, 16, 4)) * 16;
    if (family == 15) family += int(field(eax, 20, 8));
    return {family, model};
}

struct ModelType {
    int model;
    int type;
};

// Family 6 models that need no feature test.
constexpr std::array<ModelType, 10> kFamily6Models{{
    {1, 3},
    {3, 4},
    {5, 4},
    {6, 4},
    {7, 5},
    {8, 5},
    {10, 5},
    {11, 5},
    {9, 9},
    {13, 9},
}};

// 0 when the model is not one this family knows by name.
int family6Type(int model, const Features& f) {
    for (const ModelType& row : kFamily6Models)
        if (row.model == model) return row.type;
    switch (model) {
    case 14:
        return f.coresPerPackage == 1 ? 10 : 11;
    case 15:
        return f.ssse3 ? (f.coresPerPackage <= 2 ? 33 : 34) : 0;
    case 23:
        return f.sse41 ? 68 : 0;
    case 26:
        return f.sse42 ? 35 : 0;
    case 28:
        return f.ssse3 ? 36 : 0;
    default:
        return 0;
    }
}

int intelType(const sigCpuidSnapshot& cpu, const Features& f) {
    const Signature sig = signatureOf(cpu.leaf1);
    if (bit(cpu.leaf1.edx, 30)) return sig.family == 7 ? 16 : 17;
    switch (sig.family) {
    case 5:
        if (sig.model == 1 || sig.model == 2) return 1;
        return sig.model == 4 ? 2 : 0;
    case 6:
        return family6Type(sig.model, f);
    case 15:
        if (f.sse3) return f.longMode ? 32 : 8;
        return f.multiThreaded ? 7 : 6;
    default:
        return 0;
    }
}

// Any processor the named cases leave open, by its best feature.
int typeByFeatures(const Features& f) {
    if (f.sse42) return 69;
    if (f.sse41) return 68;
    if (f.ssse3) return 67;
    if (f.sse3) return 66;
    if (f.sse2) return 65;
    if (f.sse) return 64;
    if (f.longMode) return 96;
    return 0;
}

struct TypeLevel {
    int type;
    int level;
};

constexpr std::array<TypeLevel, 21> kTypeLevels{{
    {5, 1},  {16, 1}, {17, 1}, {64, 1},          //
    {6, 2},  {7, 2},  {9, 2},  {65, 2},          //
    {8, 3},  {10, 3}, {11, 3}, {32, 3}, {66, 3}, //
    {33, 4}, {34, 4}, {36, 4}, {67, 4},          //
    {35, 5}, {37, 5}, {68, 5}, {69, 5},          //
}};

} // namespace

int sigCpuIsGenuineIntelOf(const sigCpuidRegs& leaf0) {
    return leaf0.ebx == kGenu && leaf0.edx == kIneI && leaf0.ecx == kNtel ? 1 : 0;
}

int sigCpuIsMultiThreadedOf(const sigCpuidRegs& leaf1) {
    return bit(leaf1.edx, 28) && field(leaf1.ebx, 16, 8) > 1 ? 1 : 0;
}

int sigCpuCoresPerPackageOf(const sigCpuidSnapshot& cpu) {
    if (cpu.leaf0.eax < 4) return 1;
    return int(cpu.leaf4.eax >> 26) + 1;
}

int sigCpuHasLongModeOf(const sigCpuidSnapshot& cpu) {
    if (cpu.extLeaf0.eax < kExtendedBase + 1) return 0;
    return bit(cpu.extLeaf1.edx, 29) ? 1 : 0;
}

int sigCpuTypeOf(const sigCpuidSnapshot& cpu) {
    if (!cpu.hasCpuid) return 0;
    const Features f = featuresOf(cpu);
    if (sigCpuIsGenuineIntelOf(cpu.leaf0)) {
        const int type = intelType(cpu, f);
        if (type != 0) return type;
    }
    return typeByFeatures(f);
}

int sigCpuLevelOfType(int type) {
    for (const TypeLevel& row : kTypeLevels)
        if (row.type == type) return row.level;
    return 0;
}

sigCpuLevelChoice sigCpuLevelOf(const sigCpuidSnapshot& cpu) {
    const int level = sigCpuLevelOfType(sigCpuTypeOf(cpu));
    const bool known = cpu.hasCpuid && sigCpuIsGenuineIntelOf(cpu.leaf0);
    return {level, known ? sigOk : sigWarnCpuVendor};
}

int sigCpuGetInfoOf(const sigCpuidSnapshot& cpu, sigCpuInfo* info) {
    if (info == nullptr) return sigErrNullPtr;
    const sigCpuidRegs& l1 = cpu.leaf1;
    info->family = std::int32_t(field(l1.eax, 8, 4));
    info->stepping = std::int32_t(field(l1.eax, 0, 4));
    info->model = std::int32_t(field(l1.eax, 4, 4));
    info->processorType = std::int32_t(field(l1.eax, 12, 2));
    info->featureEdx = std::int32_t(l1.edx);
    info->leaf2Eax = std::int32_t(cpu.leaf2.eax);
    info->leaf2Edx = std::int32_t(cpu.leaf2.edx);
    info->hasMmx = bit(l1.edx, 23);
    info->hasSse = bit(l1.edx, 25);
    info->hasSse2 = bit(l1.edx, 26);
    info->isMultiThreaded = sigCpuIsMultiThreadedOf(l1);
    info->hasSse3 = bit(l1.ecx, 0);
    info->hasLongMode = sigCpuHasLongModeOf(cpu);
    info->hasSsse3 = bit(l1.ecx, 9);
    info->coresPerPackage = sigCpuCoresPerPackageOf(cpu);
    info->hasSse41 = bit(l1.ecx, 19);
    info->hasSse42 = bit(l1.ecx, 20);
    info->extendedFamily = std::int32_t(field(l1.eax, 20, 8));
    info->extendedModel = std::int32_t(field(l1.eax, 16, 4));
    return std::int32_t(cpu.leaf2.eax);
}

// Leaf 2 lists one-byte descriptors in its four registers; the low byte of EAX
// is the number of rounds needed to read them all, and only one round is
// understood. A register with bit 31 set holds no descriptors.
int sigCpuCacheSizeOf(const sigCpuidRegs& leaf2, const std::int32_t* table) {
    if (table == nullptr) return -1;
    if ((leaf2.eax & 0xFFu) != 1) return -1;
    std::array<std::uint8_t, 16> bytes{};
    std::size_t count = 0;
    const std::uint32_t regs[] = {leaf2.eax, leaf2.ebx, leaf2.ecx, leaf2.edx};
    for (std::size_t r = 0; r < 4; ++r) {
        if (bit(regs[r], 31)) continue;
        for (int b = r == 0 ? 1 : 0; b < 4; ++b) bytes[count++] = std::uint8_t(regs[r] >> (8 * b));
    }
    for (const std::int32_t* row = table; row[0] != 0; row += 2) {
        const auto descriptor = std::uint8_t(row[0]);
        for (std::size_t i = 0; i < count; ++i)
            if (bytes[i] == descriptor) return row[1];
    }
    return -1;
}
