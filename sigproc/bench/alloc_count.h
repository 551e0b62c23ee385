// Counts the signal library's allocations through its host hooks, so that a
// benchmark can show that a call allocates nothing.
#pragma once

#include "sigproc/sigproc_host.h"

#include <benchmark/benchmark.h>

#include <cstdint>

// Every call of the allocate hooks while the object lives goes to count().
class BenchAllocationCounter {
public:
    BenchAllocationCounter() : previous_(sigSetMemoryHooks(&hooks_)) {
        count_ = 0;
        forward_ = previous_;
    }
    ~BenchAllocationCounter() { sigSetMemoryHooks(previous_); }
    BenchAllocationCounter(const BenchAllocationCounter&) = delete;
    BenchAllocationCounter& operator=(const BenchAllocationCounter&) = delete;
    static long count() { return count_; }

private:
    static void* allocate(std::uint32_t bytes) {
        ++count_;
        return forward_->allocate(bytes);
    }
    static void* allocateArray(std::uint32_t count, std::uint32_t size) {
        ++count_;
        return forward_->allocateArray(count, size);
    }
    static int reserved(void* block, std::uint32_t bytes) {
        return forward_->reserved(block, bytes);
    }
    static void release(void* raw) { forward_->release(raw); }

    static inline long count_ = 0;
    static inline const sigMemoryHooks* forward_ = nullptr;
    sigMemoryHooks hooks_{allocate, allocateArray, reserved, release};
    const sigMemoryHooks* previous_;
};

// The allocations of the timed calls, per call: "allocs_per_call".
inline void reportAllocationsPerCall(benchmark::State& state, long allocations) {
    state.counters["allocs_per_call"] =
        static_cast<double>(allocations) / static_cast<double>(state.iterations());
}
