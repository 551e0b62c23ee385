#include "testkit/alloc_hooks.h"

#include <cstdlib>
#include <stdexcept>

namespace testkit {

CountingAllocator* CountingAllocator::active_ = nullptr;

CountingAllocator::CountingAllocator() {
    if (active_ != nullptr) throw std::logic_error("one CountingAllocator at a time");
    const sigMemoryHooks& current = sigCurrentMemoryHooks();
    hooks_ = {allocate, current.allocateArray, current.reserved, release};
    active_ = this;
    previous_ = sigSetMemoryHooks(&hooks_);
}

CountingAllocator::~CountingAllocator() {
    sigSetMemoryHooks(previous_);
    active_ = nullptr;
}

void* CountingAllocator::allocate(std::uint32_t bytes) {
    CountingAllocator& self = *active_;
    ++self.allocations_;
    self.requests_.push_back(bytes);
    if (self.failAll_ || self.allocations_ == self.failAt_) return nullptr;
    void* raw = std::malloc(bytes);
    self.live_.insert(raw);
    return raw;
}

void CountingAllocator::release(void* raw) {
    CountingAllocator& self = *active_;
    ++self.releases_;
    if (self.live_.erase(raw) == 0) {
        ++self.foreignReleases_; // not ours: leave it alone
        return;
    }
    std::free(raw);
}

} // namespace testkit
