// Replaces the signal library's allocation hooks for the life of the object:
// counts and records every request, fails the Nth one on demand, and keeps a
// ledger of live blocks so a test can tell that nothing leaked.
#pragma once

#include "sigproc/sigproc_host.h"

#include <cstdint>
#include <set>
#include <vector>

namespace testkit {

class CountingAllocator {
public:
    CountingAllocator();
    ~CountingAllocator();
    CountingAllocator(const CountingAllocator&) = delete;
    CountingAllocator& operator=(const CountingAllocator&) = delete;

    // Make the n-th allocation from now on (1-based) fail; 0 fails none.
    void failNth(int n) { failAt_ = n == 0 ? 0 : allocations_ + n; }
    void failAll(bool on = true) { failAll_ = on; }

    int allocations() const { return allocations_; } // calls of the allocate hook
    int releases() const { return releases_; }       // calls of the free hook
    std::size_t liveBlocks() const { return live_.size(); }
    int foreignReleases() const { return foreignReleases_; } // frees of blocks never handed out
    const std::vector<std::uint32_t>& requests() const { return requests_; }

private:
    static void* allocate(std::uint32_t bytes);
    static void release(void* raw);

    static CountingAllocator* active_;
    const sigMemoryHooks* previous_;
    sigMemoryHooks hooks_;
    int allocations_ = 0;
    int releases_ = 0;
    int foreignReleases_ = 0;
    int failAt_ = 0;
    bool failAll_ = false;
    std::vector<std::uint32_t> requests_;
    std::set<void*> live_;
};

} // namespace testkit
