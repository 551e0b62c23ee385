// The signal primitives take their memory from the kernel pool, under the tag
// "SGP ", while a CSigprocPoolHooks is alive: the driver holds one from its
// entry to its unload. Every driver folder's signal processing allocates
// through them.
#pragma once

#include "platform/kernel/pool.h"

struct sigMemoryHooks;

inline constexpr kernel::PoolTag SigprocPoolTag = kernel::poolTag("SGP ");

// Points the signal primitives' allocator at the non-paged pool for its life
// and puts back the hooks that were in force before when it ends; every
// block the library took through it must be back by then. An array request
// whose byte count does not fit 32 bits gets null.
class CSigprocPoolHooks {
public:
    CSigprocPoolHooks();
    ~CSigprocPoolHooks();
    CSigprocPoolHooks(const CSigprocPoolHooks&) = delete;
    CSigprocPoolHooks& operator=(const CSigprocPoolHooks&) = delete;

private:
    const sigMemoryHooks* m_pPrevious;
};
