// The Q7K2 model's reverberator unit (vendor control 139): a 5.1 or 7.1
// block becomes a stereo room in wet planes 0 and 1, raised by up to 9 dB
// through its wet limiter. A stereo block has no room to render and keeps
// the dry set.
#pragma once

#include "driver/devmodel/chips/q7k2/q7k2_unit.h"
#include "driver/effects/multi_tap_delay.h"
#include "driver/usermode/topology_properties.h"

#include <memory>

class CQ7K2EffectUnit : public CQ7K2Unit {
public:
    static constexpr float WetGainLimit = 2.8183f; // +9 dB

    CQ7K2EffectUnit(kernel::IUnknown* outer, std::uint32_t id)
        : CQ7K2Unit(outer, id, Q7K2EffectUnitIdentity, 0, WetGainLimit) {}

    // The effect control, both plane sets, the reverberator and the two
    // limiters. A refused allocation gives everything back and fails with
    // STATUS_INSUFFICIENT_RESOURCES.
    kernel::NTSTATUS Init(kernel::IUnknown* entity, std::uint8_t selector,
                          io::DeviceObject* settings);

    // Keeps the format; the reverberator follows its rate and channel layout.
    kernel::NTSTATUS SetFormat(const ks::WaveFormatExtensible* format) override;
    // The reverberator's memory and the limiters cleared.
    kernel::NTSTATUS Flush() override;

    const CMultiTapDelay* Delay() const { return m_pDelay.get(); }

protected:
    bool HasEffect() const override { return m_pDelay != nullptr; }
    // A tiny offset keeps the feedback network clear of subnormal numbers.
    void PrepareInput(const EffectBlock& block) override;
    void RunEffect(float* const* wet, std::uint32_t channels, std::uint32_t frames) override;
    bool UsesWetSet(std::uint32_t channels, bool active, bool changed) const override;

private:
    std::unique_ptr<CMultiTapDelay> m_pDelay;
};
