#include "driver/zurazuvera/common/VSH/vsh_buffers.h"

#include <cstdint>
#include <cstring>

CPoolBuffer AllocateVshFloats(std::size_t count) {
    CPoolBuffer buffer(kernel::PoolType::NonPagedNx, count * sizeof(float), VshStateTag);
    if (buffer.IsValid()) std::memset(buffer.Get(), 0, buffer.Size());
    return buffer;
}

namespace {

constexpr std::uint32_t MagnitudeBits = 0x7fffffffu;
constexpr std::uint32_t SmallestNormalBits = 0x00800000u;

} // namespace

// Decided on the bits, without a branch, so that the loop runs four lanes
// wide and the result does not depend on the caller's denormal modes: a
// magnitude below the smallest normal (either zero included) becomes +0, a
// NaN or an infinity stays.
void FlushSubnormals(float* samples, int count) {
    using Words = std::uint32_t __attribute__((vector_size(16)));
    constexpr int Lanes = 4;
    int i = 0;
    for (; i + Lanes <= count; i += Lanes) {
        Words bits;
        std::memcpy(&bits, samples + i, sizeof bits);
        const Words keep = reinterpret_cast<Words>((bits & MagnitudeBits) >= SmallestNormalBits);
        bits &= keep;
        std::memcpy(samples + i, &bits, sizeof bits);
    }
    for (; i < count; ++i) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, samples + i, sizeof bits);
        if ((bits & MagnitudeBits) < SmallestNormalBits) samples[i] = 0.0f;
    }
}
