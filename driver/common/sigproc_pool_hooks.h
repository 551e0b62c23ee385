// The signal primitives take their memory from the kernel pool, under the tag
// "SGP ", once the driver has installed these hooks at its start. Every driver
// folder's signal processing allocates through them.
#pragma once

#include "platform/kernel/pool.h"

inline constexpr kernel::PoolTag SigprocPoolTag = kernel::poolTag("SGP ");

// Points the signal primitives' allocator at the pool. An array request whose
// byte count does not fit 32 bits gets null.
void InstallSigprocPoolHooks();
