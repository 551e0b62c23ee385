// For the test programs that run the driver: the signal library's default
// hooks are replaced, before main, by hooks that count each call and pass it
// on to the C++ heap. The driver points the library at its pool from its
// entry on and puts these back at its unload, so around every test the count
// stays where it was and these hooks are the ones in force again; a test
// that leaves either otherwise fails.
#include "sigproc/sigproc_host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace testkit {
namespace {

std::atomic<std::uint64_t> heapCalls{0};

void* countedAllocate(std::uint32_t bytes) {
    ++heapCalls;
    return std::malloc(bytes);
}

void* countedAllocateArray(std::uint32_t count, std::uint32_t size) {
    ++heapCalls;
    const std::uint64_t bytes = std::uint64_t{count} * size;
    if (bytes > std::numeric_limits<std::uint32_t>::max()) return nullptr;
    return std::malloc(static_cast<std::size_t>(bytes));
}

int ignoreArguments(void*, std::uint32_t) { return 0; }

void countedRelease(void* raw) {
    ++heapCalls;
    std::free(raw);
}

constexpr sigMemoryHooks countedHeapHooks{countedAllocate, countedAllocateArray, ignoreArguments,
                                          countedRelease};

class SigprocHeapGuard : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { m_callsBefore = heapCalls.load(); }

    void OnTestEnd(const ::testing::TestInfo&) override {
        EXPECT_EQ(heapCalls.load() - m_callsBefore, 0u)
            << "calls of the signal library's heap hooks during a test that runs the driver";
        EXPECT_EQ(&sigCurrentMemoryHooks(), &countedHeapHooks)
            << "the signal library's hooks in force after the test are not those before it";
    }

    std::uint64_t m_callsBefore = 0;
};

[[maybe_unused]] const bool installed = [] {
    sigSetMemoryHooks(&countedHeapHooks);
    ::testing::UnitTest::GetInstance()->listeners().Append(new SigprocHeapGuard);
    return true;
}();

} // namespace
} // namespace testkit
