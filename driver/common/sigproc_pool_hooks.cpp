#include "driver/common/sigproc_pool_hooks.h"

#include "sigproc/sigproc_host.h"

#include <cstdint>
#include <limits>

namespace {

// Filter states and transforms run at dispatch level: non-paged memory.
constexpr kernel::PoolType sigprocPool = kernel::PoolType::NonPagedNx;

void* AllocateSigprocBlock(std::uint32_t bytes) {
    return kernel::allocatePool(sigprocPool, bytes, SigprocPoolTag);
}

void* AllocateSigprocArray(std::uint32_t count, std::uint32_t size) {
    const std::uint64_t bytes = std::uint64_t{count} * size;
    if (bytes > std::numeric_limits<std::uint32_t>::max()) return nullptr;
    return AllocateSigprocBlock(static_cast<std::uint32_t>(bytes));
}

int SigprocReservedHook(void*, std::uint32_t) { return 0; }

void FreeSigprocBlock(void* raw) {
    if (raw != nullptr) kernel::freePoolWithTag(raw, SigprocPoolTag);
}

constexpr sigMemoryHooks poolHooks{AllocateSigprocBlock, AllocateSigprocArray, SigprocReservedHook,
                                   FreeSigprocBlock};

} // namespace

CSigprocPoolHooks::CSigprocPoolHooks() : m_pPrevious(sigSetMemoryHooks(&poolHooks)) {}

CSigprocPoolHooks::~CSigprocPoolHooks() { sigSetMemoryHooks(m_pPrevious); }
