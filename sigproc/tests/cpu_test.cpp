// Processor classification, fed with made-up CPUID results.
#include "sigproc/core/cpu.h"
#include "sigproc/core/dispatch.h"
#include "sigproc/sigproc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A processor described the way CPUID would describe it.
class FakeCpu {
public:
    explicit FakeCpu(const char* vendor = "GenuineIntel") {
        cpu_.hasCpuid = true;
        cpu_.leaf0.eax = 4;
        std::memcpy(&cpu_.leaf0.ebx, vendor, 4);
        std::memcpy(&cpu_.leaf0.edx, vendor + 4, 4);
        std::memcpy(&cpu_.leaf0.ecx, vendor + 8, 4);
        cpu_.extLeaf0.eax = 0x80000008u;
    }
    FakeCpu& family(int f, int model, int extModel = 0, int extFamily = 0) {
        cpu_.leaf1.eax = std::uint32_t(f) << 8 | std::uint32_t(model) << 4 |
                         std::uint32_t(extModel) << 16 | std::uint32_t(extFamily) << 20;
        return *this;
    }
    FakeCpu& edx(int bit) { return set(cpu_.leaf1.edx, bit); }
    FakeCpu& ecx(int bit) { return set(cpu_.leaf1.ecx, bit); }
    FakeCpu& sse() { return edx(25); }
    FakeCpu& sse2() { return sse().edx(26); }
    FakeCpu& sse3() { return sse2().ecx(0); }
    FakeCpu& ssse3() { return sse3().ecx(9); }
    FakeCpu& sse41() { return ssse3().ecx(19); }
    FakeCpu& sse42() { return sse41().ecx(20); }
    FakeCpu& longMode() { return set(cpu_.extLeaf1.edx, 29); }
    FakeCpu& cores(int n) {
        cpu_.leaf4.eax = std::uint32_t(n - 1) << 26;
        return *this;
    }
    FakeCpu& logicalProcessors(int n) {
        cpu_.leaf1.ebx = std::uint32_t(n) << 16;
        return edx(28);
    }
    FakeCpu& withoutCpuid() {
        cpu_ = {};
        return *this;
    }
    sigCpuidSnapshot& get() { return cpu_; }
    int type() const { return sigCpuTypeOf(cpu_); }
    sigCpuLevelChoice level() const { return sigCpuLevelOf(cpu_); }

private:
    FakeCpu& set(std::uint32_t& word, int bit) {
        word |= 1u << bit;
        return *this;
    }
    sigCpuidSnapshot cpu_;
};

TEST(CpuClassification, WithoutCpuidNothingIsKnown) {
    const sigCpuLevelChoice choice = FakeCpu().sse42().withoutCpuid().level();
    EXPECT_EQ(FakeCpu().withoutCpuid().type(), 0);
    EXPECT_EQ(choice.level, 0);
    EXPECT_EQ(choice.status, sigWarnCpuVendor);
}

TEST(CpuClassification, OtherVendorsByFeaturesWithAWarning) {
    FakeCpu amd("AuthenticAMD");
    amd.family(15, 11, 0, 8).sse3();
    EXPECT_EQ(amd.type(), 66);
    EXPECT_EQ(amd.level().level, 3);
    EXPECT_EQ(amd.level().status, sigWarnCpuVendor);
    // A family-6 model that would be named on an Intel processor is not here.
    FakeCpu other("CentaurHauls");
    other.family(6, 15).ssse3();
    EXPECT_EQ(other.type(), 67);
}

TEST(CpuClassification, ByBestFeatureWhenNoModelIsNamed) {
    EXPECT_EQ(FakeCpu().family(6, 7, 10).sse42().type(), 69); // a recent model
    EXPECT_EQ(FakeCpu().family(6, 15, 1).sse41().type(), 68);
    EXPECT_EQ(FakeCpu().family(6, 13, 1).ssse3().type(), 67);
    EXPECT_EQ(FakeCpu().family(6, 15).sse3().type(), 66); // model 15 without SSSE3
    EXPECT_EQ(FakeCpu().family(5, 9).sse2().type(), 65);
    EXPECT_EQ(FakeCpu().family(6, 2).sse().type(), 64);
    EXPECT_EQ(FakeCpu().family(4, 0).longMode().type(), 96);
    EXPECT_EQ(FakeCpu().family(4, 0).type(), 0);
}

struct Named {
    FakeCpu cpu;
    int type;
    int level;
};

TEST(CpuClassification, NamedIntelModelsAndTheirLevels) {
    const Named cases[] = {
        {FakeCpu().family(5, 1), 1, 0},
        {FakeCpu().family(5, 2), 1, 0},
        {FakeCpu().family(5, 4), 2, 0},
        {FakeCpu().family(6, 1), 3, 0},
        {FakeCpu().family(6, 5).sse(), 4, 0},
        {FakeCpu().family(6, 8).sse(), 5, 1},
        {FakeCpu().family(6, 11).sse(), 5, 1},
        {FakeCpu().family(6, 13).sse2(), 9, 2},
        {FakeCpu().family(6, 14).sse3().cores(1), 10, 3},
        {FakeCpu().family(6, 14).sse3().cores(2), 11, 3},
        {FakeCpu().family(6, 15).ssse3().cores(2), 33, 4},
        {FakeCpu().family(6, 15).ssse3().cores(4), 34, 4},
        {FakeCpu().family(6, 7, 1).sse41(), 68, 5},  // model 23
        {FakeCpu().family(6, 10, 1).sse42(), 35, 5}, // model 26
        {FakeCpu().family(6, 12, 1).ssse3(), 36, 4}, // model 28
        {FakeCpu().family(15, 2).sse2(), 6, 2},
        {FakeCpu().family(15, 2).sse2().logicalProcessors(2), 7, 2},
        {FakeCpu().family(15, 3).sse3(), 8, 3},
        {FakeCpu().family(15, 4).sse3().longMode(), 32, 3},
        {FakeCpu().family(7, 0).edx(30), 16, 1},
        {FakeCpu().family(15, 0, 0, 1).edx(30), 17, 1},
    };
    for (const Named& c : cases) {
        EXPECT_EQ(c.cpu.type(), c.type)
            << "eax " << std::hex << const_cast<FakeCpu&>(c.cpu).get().leaf1.eax;
        EXPECT_EQ(c.cpu.level().level, c.level) << c.type;
        EXPECT_EQ(c.cpu.level().status, sigOk);
    }
}

TEST(CpuProbes, CoresThreadsAndLongModeFollowWhatTheLeavesVouchFor) {
    FakeCpu cpu;
    cpu.cores(6);
    EXPECT_EQ(sigCpuCoresPerPackageOf(cpu.get()), 6);
    cpu.get().leaf0.eax = 3; // leaf 4 not reported
    EXPECT_EQ(sigCpuCoresPerPackageOf(cpu.get()), 1);

    sigCpuidRegs leaf1;
    leaf1.edx = 1u << 28;
    leaf1.ebx = 1u << 16;
    EXPECT_EQ(sigCpuIsMultiThreadedOf(leaf1), 0);
    leaf1.ebx = 2u << 16;
    EXPECT_EQ(sigCpuIsMultiThreadedOf(leaf1), 1);
    leaf1.edx = 0;
    EXPECT_EQ(sigCpuIsMultiThreadedOf(leaf1), 0);

    cpu.longMode();
    EXPECT_EQ(sigCpuHasLongModeOf(cpu.get()), 1);
    cpu.get().extLeaf0.eax = 0x80000000u;
    EXPECT_EQ(sigCpuHasLongModeOf(cpu.get()), 0);
}

TEST(CpuInfo, RecordFromTheLeaves) {
    FakeCpu cpu;
    cpu.family(15, 6, 2, 1).sse42().longMode().cores(4).logicalProcessors(8).edx(23);
    cpu.get().leaf1.eax |= 0x3000u | 0x9u; // type 3, stepping 9
    cpu.get().leaf2 = {0x665B5001u, 0, 0, 0x007A7000u};
    sigCpuInfo info;
    std::memset(&info, 0xEE, sizeof info);
    EXPECT_EQ(sigCpuGetInfoOf(cpu.get(), &info), 0x665B5001);
    EXPECT_EQ(info.family, 15);
    EXPECT_EQ(info.stepping, 9);
    EXPECT_EQ(info.model, 6);
    EXPECT_EQ(info.processorType, 3);
    EXPECT_EQ(std::uint32_t(info.featureEdx), cpu.get().leaf1.edx);
    EXPECT_EQ(info.leaf2Eax, 0x665B5001);
    EXPECT_EQ(info.leaf2Edx, 0x007A7000);
    EXPECT_EQ(info.hasMmx, 1);
    EXPECT_EQ(std::uint32_t(info.untouched), 0xEEEEEEEEu);
    EXPECT_EQ(info.hasSse + info.hasSse2 + info.hasSse3 + info.hasSsse3 + info.hasSse41 +
                  info.hasSse42,
              6);
    EXPECT_EQ(info.isMultiThreaded, 1);
    EXPECT_EQ(info.hasLongMode, 1);
    EXPECT_EQ(info.coresPerPackage, 4);
    EXPECT_EQ(info.extendedFamily, 1);
    EXPECT_EQ(info.extendedModel, 2);
    EXPECT_EQ(sigCpuGetInfoOf(cpu.get(), nullptr), sigErrNullPtr);
}

TEST(CpuCacheSize, FirstTableRowWhoseDescriptorLeafTwoReports) {
    const std::int32_t table[] = {0x4D,      16 << 20, 0x49,     4 << 20, 0x7A,
                                  256 << 10, 0x2C,     32 << 10, 0,       0};
    sigCpuidRegs leaf2{0x665B5001u, 0, 0, 0x007A2C00u};
    EXPECT_EQ(sigCpuCacheSizeOf(leaf2, table), 256 << 10); // 0x7A comes before 0x2C in the table
    leaf2.edx |= 0x80000000u;                              // an empty register
    EXPECT_EQ(sigCpuCacheSizeOf(leaf2, table), -1);
    leaf2 = {0x49000001u, 0, 0, 0};
    EXPECT_EQ(sigCpuCacheSizeOf(leaf2, table), 4 << 20);
    leaf2 = {0x49000002u, 0, 0, 0}; // two rounds are not understood
    EXPECT_EQ(sigCpuCacheSizeOf(leaf2, table), -1);
    // The round count is no descriptor; the other bytes of EAX are.
    const std::int32_t one[] = {0x01, 99, 0, 0};
    EXPECT_EQ(sigCpuCacheSizeOf({0x00000001u, 0, 0, 0}, one), -1);
    EXPECT_EQ(sigCpuCacheSizeOf({0x00000101u, 0, 0, 0}, one), 99);
    const std::int32_t empty[] = {0, 123};
    EXPECT_EQ(sigCpuCacheSizeOf(leaf2, empty), -1);
    EXPECT_EQ(sigCpuCacheSizeOf(leaf2, nullptr), -1);
}

// The probes on this machine agree with the classification of its snapshot.
TEST(CpuProbes, RealProcessorAgreesWithItsSnapshot) {
    const sigCpuidSnapshot cpu = sigCpuReadSnapshot();
    ASSERT_EQ(sigCpuHasCpuid(), 1);
    EXPECT_EQ(sigCpuGetType(), sigCpuTypeOf(cpu));
    EXPECT_EQ(sigCpuMaxLeaf(), cpu.leaf0.eax);
    EXPECT_EQ(sigCpuHasSse2(), 1); // every x86-64 processor
    EXPECT_EQ(sigCpuHasLongMode(), 1);
    EXPECT_EQ(sigCpuIsGenuineIntel(), sigCpuIsGenuineIntelOf(cpu.leaf0));
    EXPECT_EQ(sigCpuCoresPerPackage(), sigCpuCoresPerPackageOf(cpu));
    std::uint32_t regs[4];
    ASSERT_EQ(sigCpuid(regs, 0, 0), sigOk);
    EXPECT_EQ(regs[1], cpu.leaf0.ebx);
    EXPECT_EQ(sigCpuid(nullptr, 0, 0), sigErrNullPtr);
    sigCpuInfo info{};
    EXPECT_EQ(sigCpuGetInfo(&info), std::int32_t(cpu.leaf2.eax));
    EXPECT_EQ(info.hasSse2, 1);
    const std::uint64_t t0 = sigCpuReadTsc();
    bool advanced = false;
    for (int i = 0; i < 1000 && !advanced; ++i) advanced = sigCpuReadTsc() > t0;
    EXPECT_TRUE(advanced);
}

class LevelRestore {
public:
    ~LevelRestore() { sigCpuLevel.store(0); }
};

TEST(CpuProbes, InitLevelWritesTheLevelOfThisProcessor) {
    LevelRestore restore;
    const sigCpuLevelChoice want = sigCpuLevelOf(sigCpuReadSnapshot());
    EXPECT_EQ(sigCpuLevel.load(), 0);
    EXPECT_EQ(sigCpuInitLevel(), want.status);
    EXPECT_EQ(sigCpuLevel.load(), want.level);
    // Whatever the level, the entries still run the generic members.
    float v[2] = {-1.0f, 2.0f};
    EXPECT_EQ(sigAbsInPlace_32f(v, 2), sigOk);
    EXPECT_EQ(v[0], 1.0f);
}

} // namespace
