#include "driver/zurazuvera/common/VSH/simple_sample_delay.h"

#include "driver/zurazuvera/common/VSH/vsh_assert.h"
#include "driver/zurazuvera/common/VSH/vsh_buffers.h"

#include <cstring>

SimpleSampleDelay::SimpleSampleDelay(int delay, int bufSize) {
    if (delay < 0 || bufSize <= 0) return;
    m_Buffer = AllocateVshFloats(static_cast<std::size_t>(delay) + bufSize);
    m_bValid = m_Buffer.IsValid();
    if (!m_bValid) return;
    m_nDelay = delay;
    m_nBufSize = bufSize;
}

void SimpleSampleDelay::Clear() {
    if (m_bValid) std::memset(m_Buffer.Get(), 0, m_Buffer.Size());
    m_nLastSize = 0;
}

int SimpleSampleDelay::Push(const float* input, int size) {
    if (!m_bValid || input == nullptr || size < 0 || !VSH_ASSERT(size <= m_nBufSize)) return 0;
    float* buffer = m_Buffer.Get<float>();
    // The newest `delay` samples follow the previous block's output; a block
    // of another length than the last must take them from there.
    std::memmove(buffer, buffer + m_nLastSize, static_cast<std::size_t>(m_nDelay) * sizeof(float));
    std::memcpy(buffer + m_nDelay, input, static_cast<std::size_t>(size) * sizeof(float));
    m_nLastSize = size;
    return size;
}

void SimpleSampleDelay::Free() {
    m_Buffer = CPoolBuffer();
    m_bValid = false;
}
