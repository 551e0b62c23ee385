#include "driver/zurazuvera/common/VSH/vsh_buffers.h"

#include <cmath>
#include <cstring>
#include <limits>

CPoolBuffer AllocateVshFloats(std::size_t count) {
    CPoolBuffer buffer(kernel::PoolType::NonPagedNx, count * sizeof(float), VshStateTag);
    if (buffer.IsValid()) std::memset(buffer.Get(), 0, buffer.Size());
    return buffer;
}

void FlushSubnormals(float* samples, int count) {
    for (int i = 0; i < count; ++i)
        if (std::fabs(samples[i]) < std::numeric_limits<float>::min()) samples[i] = 0.0f;
}
