// The T6L1 model's 3D speaker virtualizer on its output terminal: a
// parameter control of 17 signed values (0 the on/off value; for speaker s,
// in the speaker map's order, 1 + 2s its distance and 2 + 2s its angle in
// degrees) that is also a DSP node of the endpoint's chain. While on, every
// block is moved to the speakers' positions (CSpeakerMap), rendered
// binaurally (CHrtfRoom) and raised by 4 dB; while off it leaves as the
// stereo fold. Switching crossfades in the next block. The values persist
// one by one as "Unit07_0" to "Unit07_16".
#pragma once

#include "driver/common/dsp_node.h"
#include "driver/devmodel/parameter_control.h"
#include "driver/effects/effect_block.h"
#include "driver/effects/hrtf_room.h"
#include "driver/effects/speaker_map.h"
#include "driver/usermode/topology_properties.h"
#include "platform/io/device_object.h"

#include <cstdint>
#include <memory>

inline constexpr kernel::PoolTag T6L1Tag = kernel::poolTag("T6L1");

class CT6L1EffectHost : public CForwardingUnknown<CUacParameterControl, IDspNode> {
public:
    static constexpr std::uint32_t ValueCount = 17;
    static constexpr std::uint32_t OnOffValue = T6L1EffectOnOffValue;
    static constexpr std::int32_t ResetDistance = 30;
    static constexpr float OnGain = 1.5848f; // +4 dB
    // The speakers' default angles; the last, the low-frequency speaker's, is not used.
    static constexpr std::int32_t DefaultAngles[CSpeakerMap::Speakers] = {-30, 30,   -150, 150,
                                                                          0,   -100, 100,  15};

    CT6L1EffectHost(kernel::IUnknown* outer, std::uint32_t id)
        : CForwardingUnknown(outer, id, T6L1EffectHostIdentity, ValueCount) {}

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    // The owner (the output terminal), both plane sets, the speaker map and
    // the room, the speakers at their defaults, then the persisted values
    // over them, and the source id as the item's id list. A refused
    // allocation gives everything back: STATUS_INSUFFICIENT_RESOURCES.
    kernel::NTSTATUS Init(kernel::IUnknown* owner, io::DeviceObject* settings,
                          std::uint32_t sourceId);

    // first + count within the 17 values, else STATUS_INVALID_PARAMETER.
    kernel::NTSTATUS GetParameters(std::uint32_t first, std::uint32_t count,
                                   std::uint32_t* values) override;
    kernel::NTSTATUS SetParameters(std::uint32_t first, std::uint32_t count,
                                   const std::uint32_t* values) override {
        return SetValues(first, count, values);
    }
    // Every value spans the signed 32-bit range in steps of 1.
    kernel::NTSTATUS GetParameterInfo(std::uint32_t index, std::uint32_t* maximum,
                                      std::uint32_t* minimum, std::uint32_t* step) override;

    // The values stored and applied under the unit's lock, then persisted.
    kernel::NTSTATUS SetValues(std::uint32_t first, std::uint32_t count,
                               const std::uint32_t* values);
    // Moves the speakers whose values changed since they were last applied
    // and takes the on/off value into force (a change starts a fade). True.
    bool ApplySpeakerPositions();
    // Every speaker at distance 30 and its default angle, applied. True.
    bool ResetSpeakers();

    kernel::NTSTATUS GetParameter(const kernel::Guid&, void*, std::uint32_t) override {
        return kernel::STATUS_NOT_IMPLEMENTED;
    }
    kernel::NTSTATUS SetParameter(const kernel::Guid&, const void*, std::uint32_t) override {
        return kernel::STATUS_NOT_IMPLEMENTED;
    }
    // The room follows the rate and starts afresh; the positions are
    // applied. STATUS_INVALID_PARAMETER without a format or a room.
    kernel::NTSTATUS SetFormat(const ks::WaveFormatExtensible* format) override;
    kernel::NTSTATUS Reset() override {
        m_bFormatApplied = false;
        return kernel::STATUS_SUCCESS;
    }
    // The skeleton around the virtualizer; 0 in every case.
    kernel::NTSTATUS Process(const ks::WaveFormatExtensible* format, void* data,
                             std::uint32_t frames) override;
    kernel::NTSTATUS Flush() override { return kernel::STATUS_SUCCESS; }

    bool IsComplete() const;
    bool IsFormatApplied() const { return m_bFormatApplied; }
    std::int32_t Value(std::uint32_t index) const { return m_Values[index]; }
    CEffectSwitch& Switch() { return m_Switch; }
    const CSpeakerMap* SpeakerMap() const { return m_pSpeakerMap.get(); }

private:
    bool AllocateEffect();
    void FreeEffect();
    void ReadPersistedValues();
    // The caller holds the lock.
    bool ApplyPositionsLocked();
    void ResetSpeakersLocked();

    CEffectSwitch m_Switch;
    CEffectPlanes m_DryPlanes;
    CEffectPlanes m_WetPlanes;
    std::unique_ptr<CSpeakerMap> m_pSpeakerMap;
    std::unique_ptr<CHrtfRoom> m_pRoom;
    std::int32_t m_Values[ValueCount] = {};
    std::int32_t m_Applied[ValueCount] = {};
    ks::WaveFormatExtensible m_Format{};
    std::uint32_t m_ulRate = 48000;
    bool m_bFormatApplied = false;
    io::DeviceObject* m_pSettings = nullptr;
};
