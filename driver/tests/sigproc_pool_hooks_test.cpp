#include "driver/common/sigproc_pool_hooks.h"
#include "sigproc/sigproc.h"
#include "sigproc/sigproc_host.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// The pool hooks in force for the test.
class SigprocPoolHooks : public ::testing::Test {
protected:
    const sigMemoryHooks& hooks() const { return sigCurrentMemoryHooks(); }

private:
    CSigprocPoolHooks poolHooks_;
};

TEST_F(SigprocPoolHooks, LibraryAllocationsLandInThePoolUnderTheirTag) {
    float* block = sigMalloc_32f(100);
    ASSERT_NE(block, nullptr);
    const std::vector<kernel::PoolBlock> blocks = kernel::poolLiveBlocksTagged(SigprocPoolTag);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].bytes, 400u + sigBlockOverhead);
    EXPECT_EQ(blocks[0].type, kernel::PoolType::NonPagedNx);
    sigFree(block);
    EXPECT_EQ(kernel::poolLiveBlocks(SigprocPoolTag), 0u);
}

TEST_F(SigprocPoolHooks, PoolRefusalReachesTheLibrarysCaller) {
    kernel::failPoolTag(SigprocPoolTag);
    EXPECT_EQ(sigMalloc_32f(16), nullptr);
    EXPECT_EQ(kernel::poolLiveBlocks(SigprocPoolTag), 0u);
}

TEST_F(SigprocPoolHooks, ArrayRequestsAreCheckedForOverflow) {
    struct Case {
        std::uint32_t count;
        std::uint32_t size;
        bool fits;
    };
    const Case cases[] = {
        {10, 12, true},
        {0x10000, 0x10000, false},         // 2^32
        {0xFFFFFFFFu, 2, false},           // wraps to 2^32 - 2 in 32 bits
        {0x80000001u, 0x80000001u, false}, // wraps to 1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.count << " x " << c.size);
        void* array = hooks().allocateArray(c.count, c.size);
        EXPECT_EQ(array != nullptr, c.fits);
        if (array == nullptr) continue;
        EXPECT_EQ(kernel::poolLiveBytes(SigprocPoolTag), std::uint64_t{c.count} * c.size);
        hooks().release(array);
    }
    hooks().release(nullptr); // ignored
    EXPECT_EQ(kernel::poolLiveBlocks(SigprocPoolTag), 0u);
}

// Scopes nest: each puts back the hooks in force when it began.
TEST(SigprocPoolHooksScope, PutsBackTheHooksInForceBefore) {
    const sigMemoryHooks* heap = &sigCurrentMemoryHooks();
    {
        const CSigprocPoolHooks outer;
        const sigMemoryHooks* pool = &sigCurrentMemoryHooks();
        EXPECT_NE(pool, heap);
        {
            const CSigprocPoolHooks inner;
            float* block = sigMalloc_32f(8);
            EXPECT_EQ(kernel::poolLiveBlocks(SigprocPoolTag), 1u);
            sigFree(block);
        }
        EXPECT_EQ(&sigCurrentMemoryHooks(), pool);
    }
    EXPECT_EQ(&sigCurrentMemoryHooks(), heap);
    float* block = sigMalloc_32f(8);
    EXPECT_EQ(kernel::poolLiveBlocks(SigprocPoolTag), 0u);
    sigFree(block);
}

} // namespace
