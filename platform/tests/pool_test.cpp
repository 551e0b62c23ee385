#include "platform/kernel/irql.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/thread.h"
#include "platform/testing/kernel_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

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

// Allocates and frees under its own tag until stopped, beside the test.
class BusyAllocator {
public:
    BusyAllocator()
        : thread_([this] {
              while (!stop_.load()) {
                  void* block = allocatePool(PoolType::NonPagedNx, 8, tagB);
                  if (block == nullptr)
                      ++failures_;
                  else
                      freePool(block);
                  ++requests_;
              }
          }) {}
    // Returns once it has made at least one more request.
    void awaitAnotherRequest() {
        const std::uint64_t seen = requests_.load();
        while (requests_.load() == seen) std::this_thread::yield();
    }
    // Returns how many of its requests failed.
    std::uint64_t stop() {
        stop_ = true;
        thread_.join();
        return failures_.load();
    }

private:
    std::atomic<bool> stop_{false};
    std::atomic<std::uint64_t> requests_{0};
    std::atomic<std::uint64_t> failures_{0};
    std::thread thread_;
};

TEST(PoolFaults, ACountedFaultCountsAndFailsOnlyTheArmingThreadsRequests) {
    BusyAllocator other;
    const std::uint64_t before = poolRequestCount();
    failPoolRequest(3);
    void* blocks[4];
    for (void*& block : blocks) {
        other.awaitAnotherRequest(); // requests of both threads interleave
        block = allocatePool(PoolType::NonPagedNx, 4, tagA);
    }
    EXPECT_EQ(other.stop(), 0u);
    EXPECT_NE(blocks[0], nullptr);
    EXPECT_NE(blocks[1], nullptr);
    EXPECT_EQ(blocks[2], nullptr);
    EXPECT_NE(blocks[3], nullptr);
    EXPECT_EQ(poolRequestCount() - before, 4u);
    for (void* block : blocks)
        if (block != nullptr) freePool(block);
}

TEST(PoolFaults, AFaultArmedOnAnotherThreadLeavesTheTestThreadAlone) {
    std::atomic<int> step{0};
    const auto awaitStep = [&](int n) {
        while (step.load() < n) std::this_thread::yield();
    };
    void* othersSecond = reinterpret_cast<void*>(1);
    std::thread other([&] {
        failPoolRequest(2);
        void* first = allocatePool(PoolType::NonPagedNx, 4, tagB);
        step = 1;
        awaitStep(2);
        othersSecond = allocatePool(PoolType::NonPagedNx, 4, tagB);
        freePool(first);
    });
    awaitStep(1);
    void* mine = allocatePool(PoolType::NonPagedNx, 4, tagA); // between the other's two
    step = 2;
    other.join();
    EXPECT_NE(mine, nullptr);
    EXPECT_EQ(othersSecond, nullptr);
    if (mine != nullptr) freePool(mine);
}

TEST(PoolFaults, FailEveryRequestOfATagUntilCleared) {
    failPoolTag(tagB);
    EXPECT_EQ(allocatePool(PoolType::NonPagedNx, 4, tagB), nullptr);
    void* fromAnotherThread = reinterpret_cast<void*>(1);
    std::thread([&] { fromAnotherThread = allocatePool(PoolType::NonPagedNx, 4, tagB); }).join();
    EXPECT_EQ(fromAnotherThread, nullptr); // tag faults belong to no thread
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

// A fault named by a system thread's place in the order of starts waits for
// that thread, counts only its requests and fails its n-th one; the threads
// started before and after it and the arming thread are left alone.
TEST(PoolFaults, AFaultNamesASystemThreadByItsOrderOfStarts) {
    struct Case {
        const char* name;
        std::uint64_t thread; // from the first started here, 1 = the first
        std::uint64_t n;
        std::vector<bool> failed; // first thread's three requests, then the second's
        bool pending;             // the fault still waits when both have ended
    };
    const Case cases[] = {
        {"the first thread's second request",
         1,
         2,
         {false, true, false, false, false, false},
         false},
        {"the second thread's third request",
         2,
         3,
         {false, false, false, false, false, true},
         false},
        {"a request past the thread's last",
         2,
         4,
         {false, false, false, false, false, false},
         true},
        {"a thread that never starts", 3, 1, {false, false, false, false, false, false}, true},
    };
    struct Run {
        std::vector<bool> failed = std::vector<bool>(3);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::uint64_t first = systemThreadStarts() + 1;
        failPoolRequestOfSystemThread(first + c.thread - 1, c.n);
        void* mine = allocatePool(PoolType::NonPagedNx, 4, tagA);
        EXPECT_NE(mine, nullptr) << "the arming thread";
        if (mine != nullptr) freePool(mine);
        Run runs[2];
        for (Run& run : runs) {
            ThreadObject* thread = nullptr;
            ASSERT_EQ(createSystemThread(
                          &thread,
                          [](void* context) {
                              auto& failed = static_cast<Run*>(context)->failed;
                              for (std::size_t i = 0; i < failed.size(); ++i) {
                                  void* block = allocatePool(PoolType::NonPagedNx, 4, tagB);
                                  failed[i] = block == nullptr;
                                  if (block != nullptr) freePool(block);
                              }
                          },
                          &run),
                      STATUS_SUCCESS);
            waitForSingleObject(*thread, Timeout::infinite());
            dereferenceObject(*thread);
        }
        std::vector<bool> failed = runs[0].failed;
        failed.insert(failed.end(), runs[1].failed.begin(), runs[1].failed.end());
        EXPECT_EQ(failed, c.failed);
        EXPECT_EQ(poolRequestFaultPending(), c.pending);
        clearPoolFaults();
        EXPECT_FALSE(poolRequestFaultPending());
    }
}

// Random faults fail some requests of any thread, the same ones for the same
// seed, none once cleared.
TEST(PoolFaults, RandomFaultsFollowTheirSeedOnAnyThread) {
    const auto pattern = [](std::uint32_t seed) {
        failPoolRequestsAtRandom(seed, 4);
        std::vector<bool> failed;
        std::thread([&] {
            for (int i = 0; i < 400; ++i) {
                void* block = allocatePool(PoolType::NonPagedNx, 4, tagA);
                failed.push_back(block == nullptr);
                if (block != nullptr) freePool(block);
            }
        }).join();
        clearPoolFaults();
        return failed;
    };
    const std::vector<bool> first = pattern(7);
    const auto failures = std::count(first.begin(), first.end(), true);
    EXPECT_GT(failures, 50);
    EXPECT_LT(failures, 150);
    EXPECT_EQ(pattern(7), first);
    EXPECT_NE(pattern(8), first);
    void* after = allocatePool(PoolType::NonPagedNx, 4, tagA);
    EXPECT_NE(after, nullptr);
    if (after != nullptr) freePool(after);
    EXPECT_EQ(poolLiveBlocks(tagA), 0u);
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
