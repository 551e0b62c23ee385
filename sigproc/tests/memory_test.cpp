#include "sigproc/core/memory.h"

#include "sigproc/sigproc.h"
#include "testkit/alloc_hooks.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using testkit::CountingAllocator;

std::uint32_t distanceWordBelow(const void* block) {
    std::uint32_t distance;
    std::memcpy(&distance, static_cast<const unsigned char*>(block) - 4, 4);
    return distance;
}

TEST(Allocator, NonPositiveRequestsNeverReachTheHook) {
    CountingAllocator hooks;
    EXPECT_EQ(sigMalloc_8u(0), nullptr);
    EXPECT_EQ(sigMalloc_8u(-1), nullptr);
    EXPECT_EQ(sigMalloc_32f(0), nullptr);
    EXPECT_EQ(sigMalloc_32f(-5), nullptr);
    EXPECT_EQ(hooks.allocations(), 0);
}

TEST(Allocator, AsksTheHookForTheRequestPlus36Bytes) {
    CountingAllocator hooks;
    void* a = sigMalloc_32f(1);
    void* b = sigMalloc_8u(100);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(hooks.requests(), (std::vector<std::uint32_t>{40, 136}));
    sigFree(a);
    sigFree(b);
    EXPECT_EQ(hooks.liveBlocks(), 0u);
    EXPECT_EQ(hooks.foreignReleases(), 0);
}

TEST(Allocator, BlocksAre32ByteAlignedWithTheirRawDistanceBelow) {
    CountingAllocator hooks;
    std::vector<void*> blocks;
    for (int bytes = 1; bytes <= 200; ++bytes) {
        void* block = sigMalloc_8u(bytes);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 32, 0u);
        const std::uint32_t distance = distanceWordBelow(block);
        EXPECT_GE(distance, 4u);
        EXPECT_LE(distance, 35u);
        std::memset(block, 0xEE, static_cast<std::size_t>(bytes)); // the whole request is usable
        blocks.push_back(block);
    }
    for (void* block : blocks) sigFree(block);
    EXPECT_EQ(hooks.releases(), 200);
    EXPECT_EQ(hooks.liveBlocks(), 0u);
    EXPECT_EQ(hooks.foreignReleases(), 0);
}

TEST(Allocator, FreeOfNullDoesNotReachTheHook) {
    CountingAllocator hooks;
    sigFree(nullptr);
    EXPECT_EQ(hooks.releases(), 0);
}

TEST(Allocator, HookFailureGivesNull) {
    CountingAllocator hooks;
    hooks.failAll();
    EXPECT_EQ(sigMalloc_8u(16), nullptr);
    EXPECT_EQ(sigMalloc_32f(16), nullptr);
    EXPECT_EQ(hooks.liveBlocks(), 0u);
}

TEST(Allocator, RequestsBeyondTheHooksRangeAreRefusedNotWrapped) {
    CountingAllocator hooks;
    // 2^30 floats need 4 GiB + 36 bytes: more than the 32-bit request can carry.
    EXPECT_EQ(sigMalloc_32f(1 << 30), nullptr);
    EXPECT_EQ(sigMalloc_32f(INT32_MAX), nullptr);
    EXPECT_EQ(hooks.allocations(), 0);
    // The largest float count that still fits is passed on whole.
    hooks.failAll();
    EXPECT_EQ(sigMalloc_32f((0xFFFFFFFFu - 36) / 4), nullptr);
    ASSERT_EQ(hooks.requests().size(), 1u);
    EXPECT_EQ(hooks.requests()[0], (0xFFFFFFFFu - 36) / 4 * 4 + 36);
}

TEST(Allocator, DefaultArrayHookRefusesAnOverflowingProduct) {
    const sigMemoryHooks& hooks = sigCurrentMemoryHooks();
    EXPECT_EQ(hooks.allocateArray(0x10000, 0x10000), nullptr);
    void* ok = hooks.allocateArray(4, 8);
    ASSERT_NE(ok, nullptr);
    hooks.release(ok);
    EXPECT_EQ(hooks.reserved(nullptr, 12), 0);
}

TEST(Allocator, InstalledHooksAreRestoredAfterwards) {
    const sigMemoryHooks* before = &sigCurrentMemoryHooks();
    {
        CountingAllocator hooks;
        EXPECT_NE(&sigCurrentMemoryHooks(), before);
    }
    EXPECT_EQ(&sigCurrentMemoryHooks(), before);
}

} // namespace
