// Memory of the headphone virtualizer: every block is non-paged, zero-filled
// pool under the state tag, owned by the object that asked for it.
#pragma once

#include "driver/common/pool_buffer.h"
#include "platform/kernel/pool.h"

#include <cstddef>

inline constexpr kernel::PoolTag VshStateTag = kernel::poolTag("VSHP");

// `count` zeroed floats; empty when the pool refuses them.
CPoolBuffer AllocateVshFloats(std::size_t count);

// Subnormal results turned into zeros, so that an impulse followed by long
// silence never leaves the slow denormal range in a buffer.
void FlushSubnormals(float* samples, int count);
