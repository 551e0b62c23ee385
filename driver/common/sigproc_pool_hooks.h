// The signal primitives take their memory from the kernel pool, under the tag
// "SGP ", once the driver has installed these hooks at its start.
#pragma once

#include "platform/kernel/pool.h"

#include <cstdint>

inline constexpr kernel::PoolTag SigprocPoolTag = kernel::poolTag("SGP ");

void* sigPoolAlloc(std::uint32_t bytes);
// count * size, or null when that does not fit 32 bits.
void* sigPoolAllocArray(std::uint32_t count, std::uint32_t size);
void sigPoolFree(void* raw);

// Points the signal primitives' allocator at the pool.
void InstallSigprocPoolHooks();
