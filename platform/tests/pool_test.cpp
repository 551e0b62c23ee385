#include "platform/kernel/irql.h"
#include "platform/kernel/pool.h"
#include "platform/testing/kernel_checks.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace kernel;
using kernel::testing::ExpectKernelChecks;

constexpr PoolTag tagA = poolTag("TstA");
constexpr PoolTag tagB = poolTag("TstB");

TEST(PoolTag, FirstCharacterIsTheLowestByte) {
    static_assert(poolTag("Lis") == 0x0073694Cu); // 'L' 'i' 's' and a zero byte
    static_assert(poolTag("SGP ") == 0x20504753u);
    EXPECT_EQ(poolTagText(poolTag("Lis")), "Lis");
    EXPECT_EQ(poolTagText(poolTag(" INI")), " INI");
}

TEST(Pool, LedgerKeepsLiveBlocksPerTag) {
    void* a1 = allocatePool(PoolType::NonPagedNx, 24, tagA);
    void* a2 = allocatePool(PoolType::Paged, 8, tagA);
    void* b = allocatePool(PoolType::NonPaged, 100, tagB);
    ASSERT_TRUE(a1 && a2 && b);
    EXPECT_EQ(poolLiveBlocks(tagA), 2u);
    EXPECT_EQ(poolLiveBytes(tagA), 32u);
    EXPECT_EQ(poolLiveBlocks(tagB), 1u);

    const auto found = poolFindBlock(a2);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->type, PoolType::Paged);
    EXPECT_EQ(found->tag, tagA);

    freePool(a1);
    freePoolWithTag(a2, tagA);
    freePool(b);
    EXPECT_EQ(poolLiveBlocks(tagA), 0u);
    EXPECT_FALSE(poolFindBlock(a2).has_value());
}

TEST(Pool, BlocksSinceASerialListThoseStillLiveInOrder) {
    const std::uint64_t mark = poolAllocationSerial();
    void* first = allocatePool(PoolType::NonPagedNx, 1, tagA);
    void* second = allocatePool(PoolType::NonPagedNx, 2, tagB);
    void* third = allocatePool(PoolType::NonPagedNx, 3, tagA);
    freePool(second);

    const std::vector<PoolBlock> live = poolBlocksSince(mark);
    ASSERT_EQ(live.size(), 2u);
    EXPECT_EQ(live[0].address, first);
    EXPECT_EQ(live[1].address, third);
    freePool(first);
    freePool(third);
}

TEST(Pool, FreshBlocksAreNotZeroed) {
    // Code that needs zeroed memory must clear it; the pool makes forgetting visible.
    auto* block = static_cast<unsigned char*>(allocatePool(PoolType::NonPagedNx, 16, tagA));
    ASSERT_NE(block, nullptr);
    unsigned char zeros[16] = {};
    EXPECT_NE(std::memcmp(block, zeros, 16), 0);
    freePool(block);
}

TEST(PoolFaults, FailTheNthRequestOnly) {
    failPoolRequest(3);
    void* first = allocatePool(PoolType::NonPagedNx, 4, tagA);
    void* second = allocatePool(PoolType::NonPagedNx, 4, tagB);
    void* third = allocatePool(PoolType::NonPagedNx, 4, tagA);
    void* fourth = allocatePool(PoolType::NonPagedNx, 4, tagA);
    EXPECT_NE(first, nullptr);
    EXPECT_NE(second, nullptr);
    EXPECT_EQ(third, nullptr);
    EXPECT_NE(fourth, nullptr);
    EXPECT_EQ(poolLiveBlocks(tagA), 2u);
    for (void* block : {first, second, fourth}) freePool(block);
}

TEST(PoolFaults, FailEveryRequestOfATagUntilCleared) {
    failPoolTag(tagB);
    EXPECT_EQ(allocatePool(PoolType::NonPagedNx, 4, tagB), nullptr);
    EXPECT_EQ(allocatePool(PoolType::Paged, 4, tagB), nullptr);
    void* other = allocatePool(PoolType::NonPagedNx, 4, tagA);
    EXPECT_NE(other, nullptr);
    freePool(other);

    clearPoolFaults();
    void* again = allocatePool(PoolType::NonPagedNx, 4, tagB);
    EXPECT_NE(again, nullptr);
    freePool(again);
}

TEST(PoolFaults, RequestCountLetsATestWalkEveryFailurePoint) {
    const auto allocateThree = [] {
        void* blocks[3] = {};
        bool ok = true;
        for (void*& block : blocks)
            ok = ok && (block = allocatePool(PoolType::NonPagedNx, 8, tagA)) != nullptr;
        for (void* block : blocks)
            if (block != nullptr) freePool(block);
        return ok;
    };
    const std::uint64_t before = poolRequestCount();
    EXPECT_TRUE(allocateThree());
    const std::uint64_t requests = poolRequestCount() - before;
    EXPECT_EQ(requests, 3u);
    for (std::uint64_t n = 1; n <= requests; ++n) {
        failPoolRequest(n);
        EXPECT_FALSE(allocateThree()) << "failure point " << n;
        EXPECT_EQ(poolLiveBlocks(tagA), 0u);
    }
}

TEST(PoolChecks, BadFreesAreCaughtAndLeaveTheLedgerAlone) {
    void* block = allocatePool(PoolType::NonPagedNx, 8, tagA);
    ExpectKernelChecks expect;
    freePoolWithTag(block, tagB); // wrong tag: not freed
    EXPECT_EQ(poolLiveBlocks(tagA), 1u);
    freePool(block);
    freePool(block); // twice
    freePool(nullptr);
    int notFromThePool = 0;
    freePool(&notFromThePool);
    EXPECT_EQ(expect.count(), 4u);
}

TEST(PoolChecks, PagedPoolAtDispatchLevelIsRefused) {
    IrqlScope atDispatch(Irql::Dispatch);
    ExpectKernelChecks expect;
    EXPECT_EQ(allocatePool(PoolType::Paged, 8, tagA), nullptr);
    EXPECT_EQ(expect.count(), 1u);
    void* nonPaged = allocatePool(PoolType::NonPagedNx, 8, tagA);
    EXPECT_NE(nonPaged, nullptr);
    freePool(nonPaged);
}

TEST(PoolChecks, ZeroTagAndUnknownTypesAreRefused) {
    ExpectKernelChecks expect;
    EXPECT_EQ(allocatePool(PoolType::NonPagedNx, 8, 0), nullptr);
    EXPECT_EQ(allocatePool(static_cast<PoolType>(7), 8, tagA), nullptr);
    EXPECT_EQ(expect.count(), 2u);
}

} // namespace
