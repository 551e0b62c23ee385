#include "driver/common/sigproc_pool_hooks.h"
#include "sigproc/sigproc.h"
#include "sigproc/sigproc_host.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// Puts the hooks back as they were when the test ends.
class SigprocPoolHooks : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = &sigCurrentMemoryHooks();
        InstallSigprocPoolHooks();
    }
    void TearDown() override { sigSetMemoryHooks(previous_); }

private:
    const sigMemoryHooks* previous_ = nullptr;
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
}

TEST(SigprocPoolHookFunctions, ArrayRequestsAreCheckedForOverflow) {
    void* array = sigPoolAllocArray(10, 12);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(kernel::poolLiveBytes(SigprocPoolTag), 120u);
    sigPoolFree(array);
    EXPECT_EQ(sigPoolAllocArray(0x10000, 0x10000), nullptr); // 2^32 does not fit
    EXPECT_EQ(sigPoolAllocArray(0xFFFFFFFFu, 2), nullptr);
    sigPoolFree(nullptr); // ignored
    EXPECT_EQ(kernel::poolLiveBlocks(SigprocPoolTag), 0u);
}

} // namespace
