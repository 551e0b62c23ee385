// Driver objects and list nodes live in the kernel pool, each under the pool
// type and the four-character tag of its class family.
#pragma once

#include "platform/kernel/pool.h"

#include <cstddef>

// The base of everything the driver allocates as an object: the one way such
// an object comes into being is `new (poolType, tag) Class(...)`, and `delete`
// gives its block back to the pool. The block comes zero-filled; null when the
// pool refuses it, in which case no constructor runs.
class CPoolObject {
public:
    static void* operator new(std::size_t size, kernel::PoolType poolType,
                              kernel::PoolTag tag) noexcept;
    static void operator delete(void* block) noexcept; // null is ignored
    static void operator delete(void* block, kernel::PoolType, kernel::PoolTag) noexcept;
    static void* operator new(std::size_t size) = delete;
};
