#include "driver/devmodel/chips/t6l1/t6l1_effect_host.h"

#include "driver/common/settings_store.h"
#include "driver/devmodel/control_settings.h"

#include <cstring>

namespace {

constexpr std::uint32_t DistanceOf(int speaker) { return 1 + 2 * speaker; }
constexpr std::uint32_t AngleOf(int speaker) { return 2 + 2 * speaker; }

} // namespace

kernel::NTSTATUS CT6L1EffectHost::NonDelegatingQueryInterface(const kernel::Guid& id,
                                                              void** object) {
    return AnswerAfterBase(CUacParameterControl::NonDelegatingQueryInterface(id, object),
                           static_cast<IDspNode*>(this), id, IID_IDspNode, object);
}

bool CT6L1EffectHost::AllocateEffect() {
    if (!m_DryPlanes.Allocate(T6L1Tag) || !m_WetPlanes.Allocate(T6L1Tag)) return false;
    m_pSpeakerMap.reset(new (kernel::PoolType::NonPagedNx, T6L1Tag) CSpeakerMap);
    if (m_pSpeakerMap == nullptr || m_pSpeakerMap->Alloc() == 0) return false;
    m_pRoom.reset(new (kernel::PoolType::NonPagedNx, T6L1Tag) CHrtfRoom);
    return m_pRoom != nullptr && m_pRoom->CreateFilterSet() != 0;
}

void CT6L1EffectHost::FreeEffect() {
    m_pRoom.reset();
    m_pSpeakerMap.reset();
    m_WetPlanes.Free();
    m_DryPlanes.Free();
}

bool CT6L1EffectHost::IsComplete() const {
    return m_DryPlanes.IsComplete() && m_WetPlanes.IsComplete() && m_pSpeakerMap != nullptr &&
           m_pRoom != nullptr;
}

kernel::NTSTATUS CT6L1EffectHost::Init(kernel::IUnknown* owner, io::DeviceObject* settings,
                                       std::uint32_t sourceId) {
    BindOwner(owner);
    m_pSettings = settings;
    if (!AllocateEffect()) {
        FreeEffect();
        return kernel::STATUS_INSUFFICIENT_RESOURCES;
    }
    ResetSpeakers();
    ReadPersistedValues();
    const kernel::NTSTATUS status = SetUpParameters(sourceId);
    if (!kernel::succeeded(status)) FreeEffect();
    return status;
}

// A value not stored keeps its reset value.
void CT6L1EffectHost::ReadPersistedValues() {
    for (std::uint32_t index = 0; index < ValueCount; ++index)
        AccessUnitIndexedSetting(m_pSettings, SETTING_READ, &m_Values[index],
                                 sizeof(m_Values[index]), GetId(), index);
}

kernel::NTSTATUS CT6L1EffectHost::GetParameters(std::uint32_t first, std::uint32_t count,
                                                std::uint32_t* values) {
    if (!IsParameterRange(first, count) || (count != 0 && values == nullptr))
        return kernel::STATUS_INVALID_PARAMETER;
    CEffectLockScope hold(m_Switch.Lock());
    std::memcpy(values, &m_Values[first], count * sizeof(std::uint32_t));
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CT6L1EffectHost::GetParameterInfo(std::uint32_t index, std::uint32_t* maximum,
                                                   std::uint32_t* minimum, std::uint32_t* step) {
    if (!IsParameterRange(index, 1) || maximum == nullptr || minimum == nullptr || step == nullptr)
        return kernel::STATUS_INVALID_PARAMETER;
    *maximum = 0x7FFFFFFF;
    *minimum = 0x80000000;
    *step = 1;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CT6L1EffectHost::SetValues(std::uint32_t first, std::uint32_t count,
                                            const std::uint32_t* values) {
    if (!IsParameterRange(first, count) || (count != 0 && values == nullptr))
        return kernel::STATUS_INVALID_PARAMETER;
    {
        CEffectLockScope hold(m_Switch.Lock());
        std::memcpy(&m_Values[first], values, count * sizeof(std::uint32_t));
        ApplyPositionsLocked();
    }
    for (std::uint32_t k = 0; k < count; ++k) {
        std::uint32_t value = values[k];
        AccessUnitIndexedSetting(m_pSettings, SETTING_WRITE, &value, sizeof(value), GetId(),
                                 first + k);
    }
    return kernel::STATUS_SUCCESS;
}

bool CT6L1EffectHost::ApplySpeakerPositions() {
    CEffectLockScope hold(m_Switch.Lock());
    return ApplyPositionsLocked();
}

bool CT6L1EffectHost::ApplyPositionsLocked() {
    if (m_pSpeakerMap == nullptr) return true;
    for (int speaker = 0; speaker < CSpeakerMap::Speakers; ++speaker) {
        const std::int32_t distance = m_Values[DistanceOf(speaker)];
        const std::int32_t angle = m_Values[AngleOf(speaker)];
        if (distance != m_Applied[DistanceOf(speaker)] || angle != m_Applied[AngleOf(speaker)])
            m_pSpeakerMap->SetPosition(speaker, static_cast<float>(distance),
                                       static_cast<float>(angle));
    }
    const std::uint32_t active = static_cast<std::uint32_t>(m_Values[OnOffValue]);
    if (m_Switch.ExchangeActive(active) != active) m_Switch.RaiseChanged();
    std::memcpy(m_Applied, m_Values, sizeof(m_Values));
    return true;
}

bool CT6L1EffectHost::ResetSpeakers() {
    CEffectLockScope hold(m_Switch.Lock());
    ResetSpeakersLocked();
    return ApplyPositionsLocked();
}

void CT6L1EffectHost::ResetSpeakersLocked() {
    for (int speaker = 0; speaker < CSpeakerMap::Speakers; ++speaker) {
        m_Values[DistanceOf(speaker)] = ResetDistance;
        m_Values[AngleOf(speaker)] = DefaultAngles[speaker];
    }
}

kernel::NTSTATUS CT6L1EffectHost::SetFormat(const ks::WaveFormatExtensible* format) {
    if (format == nullptr || m_pRoom == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    {
        CEffectLockScope hold(m_Switch.Lock());
        m_Format = *format;
        m_ulRate = format->Format.nSamplesPerSec;
        m_pRoom->SetRate(static_cast<int>(m_ulRate));
        m_pRoom->Reset();
        if (!ApplyPositionsLocked()) return kernel::STATUS_INVALID_PARAMETER;
    }
    m_bFormatApplied = true;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CT6L1EffectHost::Process(const ks::WaveFormatExtensible* format, void* data,
                                          std::uint32_t frames) {
    if (m_Switch.TakeChanged()) m_Switch.StartFade();
    if (!IsComplete() || format == nullptr) return kernel::STATUS_SUCCESS;
    if (ks::effectiveFormatTag(*format) != ks::format_tag::pcm) return kernel::STATUS_SUCCESS;
    const EffectBlock block{static_cast<float* const*>(data), format->Format.nChannels, frames};
    if (!IsEffectBlock(block)) return kernel::STATUS_SUCCESS;

    CEffectLockScope hold(m_Switch.Lock());
    LoadEffectBlock(block, m_DryPlanes, m_WetPlanes);
    const int count = static_cast<int>(frames);
    m_pSpeakerMap->Process(m_WetPlanes.Planes(), m_WetPlanes.Planes(), count);
    m_pRoom->Process(m_WetPlanes.Planes(), m_WetPlanes.Planes(), count);
    const bool active = m_Switch.Active() != 0;
    StoreEffectBlock(block, m_DryPlanes, m_WetPlanes, active, active ? OnGain : 1.0f,
                     m_Switch.TakeFade(), m_ulRate);
    return kernel::STATUS_SUCCESS;
}
