#include "sigproc/core/memory.h"

#include "sigproc/core/dispatch.h"
#include "sigproc/sigproc.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

void* heapAllocate(std::uint32_t bytes) { return std::malloc(bytes); }

void* heapAllocateArray(std::uint32_t count, std::uint32_t size) {
    const std::uint64_t bytes = std::uint64_t{count} * size;
    if (bytes > std::numeric_limits<std::uint32_t>::max()) return nullptr;
    return std::malloc(static_cast<std::size_t>(bytes));
}

int ignoreArguments(void*, std::uint32_t) { return 0; }

void heapRelease(void* raw) { std::free(raw); }

constexpr sigMemoryHooks heapHooks{heapAllocate, heapAllocateArray, ignoreArguments, heapRelease};

constinit std::atomic<const sigMemoryHooks*> currentHooks{&heapHooks};

// Requests the hook cannot represent are refused rather than wrapped.
void* allocateBlock(std::uint64_t bytes) {
    const std::uint64_t request = bytes + sigBlockOverhead;
    if (request > std::numeric_limits<std::uint32_t>::max()) return nullptr;
    auto* raw = static_cast<unsigned char*>(
        sigCurrentMemoryHooks().allocate(static_cast<std::uint32_t>(request)));
    if (raw == nullptr) return nullptr;

    const std::uintptr_t rawAddress = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (rawAddress + sigBlockOverhead - 1) & ~(sigBlockAlignment - 1);
    const std::uint32_t distance = static_cast<std::uint32_t>(aligned - rawAddress);
    unsigned char* block = raw + distance;
    std::memcpy(block - sizeof distance, &distance, sizeof distance);
    return block;
}

} // namespace

const sigMemoryHooks* sigSetMemoryHooks(const sigMemoryHooks* hooks) {
    return currentHooks.exchange(hooks != nullptr ? hooks : &heapHooks);
}

const sigMemoryHooks& sigCurrentMemoryHooks() { return *currentHooks.load(); }

void* sigMalloc_8u(int bytes) {
    if (bytes <= 0) return nullptr;
    return allocateBlock(static_cast<std::uint64_t>(bytes));
}

float* sigMalloc_32f_generic(int len) {
    if (len <= 0) return nullptr;
    return static_cast<float*>(allocateBlock(std::uint64_t{4} * static_cast<std::uint64_t>(len)));
}

void sigFree_generic(void* ptr) {
    if (ptr == nullptr) return;
    auto* block = static_cast<unsigned char*>(ptr);
    std::uint32_t distance;
    std::memcpy(&distance, block - sizeof distance, sizeof distance);
    sigCurrentMemoryHooks().release(block - distance);
}

float* sigMalloc_32f(int len) { return sigDispatch(sigDispatchTableA.malloc_32f, len); }

void sigFree(void* ptr) { sigDispatch(sigDispatchTableA.free, ptr); }
