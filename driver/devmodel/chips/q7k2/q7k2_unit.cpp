#include "driver/devmodel/chips/q7k2/q7k2_unit.h"

#include "sigproc/sigproc.h"

namespace {

// A limiter set up as the units use them: mode 0, threshold 1.0.
std::unique_ptr<CFir8> MakeLimiter(float gainLimit) {
    std::unique_ptr<CFir8> limiter(new (kernel::PoolType::NonPagedNx, Q7K2EffectTag) CFir8);
    if (limiter == nullptr || limiter->Allocate() == 0) return nullptr;
    limiter->SetMode(0);
    limiter->SetTargetGain(gainLimit);
    limiter->SetParam(1.0f);
    return limiter;
}

} // namespace

bool CQ7K2Unit::AllocatePlanes() {
    return m_DryPlanes.Allocate(Q7K2PlanesTag) && m_WetPlanes.Allocate(Q7K2PlanesTag);
}

bool CQ7K2Unit::AllocateLimiters() {
    m_pWetLimiter = MakeLimiter(m_fWetGainLimit);
    if (m_pWetLimiter == nullptr) return false;
    m_pDryLimiter = MakeLimiter(1.0f);
    return m_pDryLimiter != nullptr;
}

void CQ7K2Unit::FreeShared() {
    m_pDryLimiter.reset();
    m_pWetLimiter.reset();
    m_WetPlanes.Free();
    m_DryPlanes.Free();
}

bool CQ7K2Unit::IsComplete() const {
    return HasEffect() && m_DryPlanes.IsComplete() && m_WetPlanes.IsComplete() &&
           m_pWetLimiter != nullptr && m_pDryLimiter != nullptr;
}

void CQ7K2Unit::SetLimiterFormats(const ks::WaveFormatExtensible& format) {
    if (m_pWetLimiter != nullptr) m_pWetLimiter->SetFormat(&format);
    if (m_pDryLimiter != nullptr) m_pDryLimiter->SetFormat(&format);
}

kernel::NTSTATUS CQ7K2Unit::Reset() {
    if (m_pWetLimiter != nullptr) m_pWetLimiter->Reset();
    if (m_pDryLimiter != nullptr) m_pDryLimiter->Reset();
    return kernel::STATUS_SUCCESS;
}

// From six channels on the effect's set stays through the switch that
// turned it off, so the fade leaves the effect rather than the fold.
bool CQ7K2Unit::UsesWetSet(std::uint32_t channels, bool active, bool changed) const {
    if (channels >= 6 && channels <= 8) return active || changed;
    return active;
}

kernel::NTSTATUS CQ7K2Unit::Process(const ks::WaveFormatExtensible* format, void* data,
                                    std::uint32_t frames) {
    const bool changed = m_Switch.TakeChanged();
    if (changed) {
        if (HasEffect()) ApplyPendingValue();
        m_Switch.StartFade();
    }
    if (!IsComplete() || format == nullptr) return kernel::STATUS_SUCCESS;
    if (ks::effectiveFormatTag(*format) != ks::format_tag::pcm) return kernel::STATUS_SUCCESS;
    const EffectBlock block{static_cast<float* const*>(data), format->Format.nChannels, frames};
    if (!IsEffectBlock(block)) return kernel::STATUS_SUCCESS;

    CEffectLockScope hold(m_Switch.Lock());
    PrepareInput(block);
    const int count = static_cast<int>(frames);
    // Before the unit that folds, the block stays whole: off, this unit
    // hands it on as it came; on, its effect has taken every channel into
    // planes 0 and 1, and the rest are silent, so no channel is folded twice.
    const bool handsOn = m_bFoldedLater && block.channels > 2;
    if (handsOn) {
        m_DryPlanes.Load(block.planes, block.channels, frames);
        m_WetPlanes.Load(block.planes, block.channels, frames);
    } else {
        LoadEffectBlock(block, m_DryPlanes, m_WetPlanes);
        m_pDryLimiter->Process(m_DryPlanes.Planes(), count);
    }
    RunEffect(m_WetPlanes.Planes(), block.channels, frames);
    m_pWetLimiter->Process(m_WetPlanes.Planes(), count);
    const bool wet = UsesWetSet(block.channels, m_Switch.Active() != 0, changed);
    if (handsOn && wet)
        for (std::uint32_t plane = 2; plane < block.channels; ++plane)
            sigZero_32f(m_WetPlanes.Planes()[plane], count);
    StoreEffectBlock(block, m_DryPlanes, m_WetPlanes, wet, 1.0f, m_Switch.TakeFade(), SampleRate());
    return kernel::STATUS_SUCCESS;
}
