#include "driver/devmodel/chips/q7k2/q7k2_effect_unit.h"

#include "sigproc/sigproc.h"

namespace {

constexpr float DenormalGuard = 1e-12f;

} // namespace

kernel::NTSTATUS CQ7K2EffectUnit::Init(kernel::IUnknown* entity, std::uint8_t selector,
                                       io::DeviceObject* settings) {
    const kernel::NTSTATUS status = InitEffectControl(entity, selector, settings);
    if (!kernel::succeeded(status)) return status;
    bool made = AllocatePlanes();
    if (made) {
        m_pDelay.reset(new (kernel::PoolType::NonPagedNx, ReverbTag) CMultiTapDelay);
        made = m_pDelay != nullptr && AllocateLimiters();
    }
    if (made) return status;
    m_pDelay.reset();
    FreeShared();
    return kernel::STATUS_INSUFFICIENT_RESOURCES;
}

kernel::NTSTATUS CQ7K2EffectUnit::SetFormat(const ks::WaveFormatExtensible* format) {
    const kernel::NTSTATUS status = CUacEffectControl::SetFormat(format);
    if (!kernel::succeeded(status)) return status;
    if (m_pDelay != nullptr)
        m_pDelay->SetRate(static_cast<int>(format->Format.nSamplesPerSec),
                          format->Format.nChannels - 1);
    SetLimiterFormats(FormatCopy());
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CQ7K2EffectUnit::Flush() {
    if (m_pDelay != nullptr) m_pDelay->Reset();
    return Reset();
}

void CQ7K2EffectUnit::PrepareInput(const EffectBlock& block) {
    for (std::uint32_t plane = 0; plane < block.channels; ++plane)
        sigAddConstInPlace_32f(DenormalGuard, block.planes[plane], static_cast<int>(block.frames));
}

void CQ7K2EffectUnit::RunEffect(float* const* wet, std::uint32_t, std::uint32_t frames) {
    m_pDelay->Process(wet, wet, static_cast<int>(frames));
}

bool CQ7K2EffectUnit::UsesWetSet(std::uint32_t channels, bool active, bool changed) const {
    // The network renders silence for two channels: the switch would only mute.
    if (channels == 2) return false;
    return CQ7K2Unit::UsesWetSet(channels, active, changed);
}
