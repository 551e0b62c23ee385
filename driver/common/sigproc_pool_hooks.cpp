#include "driver/common/sigproc_pool_hooks.h"

#include "sigproc/sigproc_host.h"

#include <limits>

namespace {

// Filter states and transforms run at dispatch level: non-paged memory.
constexpr kernel::PoolType sigprocPool = kernel::PoolType::NonPagedNx;

int sigPoolReserved(void*, std::uint32_t) { return 0; }

constexpr sigMemoryHooks poolHooks{sigPoolAlloc, sigPoolAllocArray, sigPoolReserved, sigPoolFree};

} // namespace

void* sigPoolAlloc(std::uint32_t bytes) {
    return kernel::allocatePool(sigprocPool, bytes, SigprocPoolTag);
}

void* sigPoolAllocArray(std::uint32_t count, std::uint32_t size) {
    const std::uint64_t bytes = std::uint64_t{count} * size;
    if (bytes > std::numeric_limits<std::uint32_t>::max()) return nullptr;
    return sigPoolAlloc(static_cast<std::uint32_t>(bytes));
}

void sigPoolFree(void* raw) {
    if (raw != nullptr) kernel::freePoolWithTag(raw, SigprocPoolTag);
}

void InstallSigprocPoolHooks() { sigSetMemoryHooks(&poolHooks); }
