#include "driver/effects/effect_planes.h"

#include "sigproc/sigproc.h"

bool CEffectPlanes::Allocate(kernel::PoolTag tag) {
    if (m_bComplete) return true;
    if (!m_Array.IsValid()) {
        m_Array = CPoolBuffer(kernel::PoolType::NonPagedNx, MaxDspChannels * sizeof(float*), tag);
        if (!m_Array.IsValid()) return false;
        for (std::uint32_t plane = 0; plane < MaxDspChannels; ++plane)
            m_Array.Get<float*>()[plane] = nullptr;
    }
    for (std::uint32_t plane = 0; plane < MaxDspChannels; ++plane) {
        if (m_Blocks[plane].IsValid()) continue;
        m_Blocks[plane] =
            CPoolBuffer(kernel::PoolType::NonPagedNx, MaxDspBlockFrames * sizeof(float), tag);
        if (!m_Blocks[plane].IsValid()) return false;
        sigZero_32f(m_Blocks[plane].Get<float>(), static_cast<int>(MaxDspBlockFrames));
        m_Array.Get<float*>()[plane] = m_Blocks[plane].Get<float>();
    }
    m_bComplete = true;
    return true;
}

void CEffectPlanes::Free() {
    m_bComplete = false;
    for (CPoolBuffer& block : m_Blocks) block = CPoolBuffer();
    m_Array = CPoolBuffer();
}

void CEffectPlanes::Load(const float* const* source, std::uint32_t channels, std::uint32_t frames) {
    float* const* planes = Planes();
    for (std::uint32_t plane = 0; plane < MaxDspChannels; ++plane) {
        if (plane < channels)
            sigCopy_32f(source[plane], planes[plane], static_cast<int>(frames));
        else
            sigZero_32f(planes[plane], static_cast<int>(frames));
    }
}
