// Driver objects and list nodes live in the kernel pool, each under the pool
// type and the four-character tag of its class family.
#pragma once

#include "platform/kernel/pool.h"

#include <cstddef>

// The base of everything the driver allocates as an object, and the one place
// that allocates and frees one: `new (poolType, tag) Class(...)` takes a block
// from the pool and constructs in it, `delete` destroys and gives the block
// back. When the pool refuses the block the expression gives null and no
// constructor runs.
//
// The block is zero-filled before construction, but no class relies on that:
// every member is initialised where it is declared or by its constructor.
class CPoolObject {
public:
    static void* operator new(std::size_t size, kernel::PoolType poolType,
                              kernel::PoolTag tag) noexcept;
    static void operator delete(void* block) noexcept; // null is ignored
    static void operator delete(void* block, kernel::PoolType, kernel::PoolTag) noexcept;
    static void* operator new(std::size_t size) = delete;
};
