// What the Q7K2 model's two effect units share: the vendor effect control
// whose byte switches them, a dry and a wet set of planes, a limiter on
// each (the dry one at unity gain, the wet one at the effect's make-up
// limit) and the processing skeleton around the unit's effect. A unit that
// lacks any of these after Init is never processed.
#pragma once

#include "driver/devmodel/effect_control.h"
#include "driver/effects/effect_block.h"
#include "driver/effects/fir8.h"

#include <cstdint>
#include <memory>

// Both units and their limiters and virtualizer.
inline constexpr kernel::PoolTag Q7K2Tag = kernel::poolTag("Q7K2");
inline constexpr kernel::PoolTag Q7K2PlanesTag = kernel::poolTag("DoHP");
inline constexpr kernel::PoolTag Q7K2EffectTag = kernel::poolTag("VYNE");

class CQ7K2Unit : public CUacEffectControl {
public:
    // The skeleton; 0 in every case.
    kernel::NTSTATUS Process(const ks::WaveFormatExtensible* format, void* data,
                             std::uint32_t frames) override;
    // The limiters forget the past; 0.
    kernel::NTSTATUS Reset() override;

    bool IsComplete() const;

    // Another unit of the same chain runs after this one and folds the
    // block to stereo.
    void SetFoldedLater() { m_bFoldedLater = true; }

protected:
    CQ7K2Unit(kernel::IUnknown* outer, std::uint32_t id, const kernel::Guid& identity,
              std::uint32_t valueCount, float wetGainLimit)
        : CUacEffectControl(outer, id, identity, valueCount), m_fWetGainLimit(wetGainLimit) {}

    // Both plane sets; false when the pool refused a block.
    bool AllocatePlanes();
    // The wet limiter, then the dry one.
    bool AllocateLimiters();
    // Everything this class made given back (Init failed).
    void FreeShared();
    void SetLimiterFormats(const ks::WaveFormatExtensible& format);

    virtual bool HasEffect() const = 0;
    // Before the block is copied, in the caller's planes.
    virtual void PrepareInput(const EffectBlock&) {}
    virtual void RunEffect(float* const* wet, std::uint32_t channels, std::uint32_t frames) = 0;
    // Whether the block leaves as the wet set.
    virtual bool UsesWetSet(std::uint32_t channels, bool active, bool changed) const;

    CEffectPlanes m_DryPlanes;
    CEffectPlanes m_WetPlanes;
    std::unique_ptr<CFir8> m_pWetLimiter;
    std::unique_ptr<CFir8> m_pDryLimiter;

private:
    const float m_fWetGainLimit;
    bool m_bFoldedLater = false;
};
