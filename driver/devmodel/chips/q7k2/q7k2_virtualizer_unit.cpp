#include "driver/devmodel/chips/q7k2/q7k2_virtualizer_unit.h"

#include "driver/effects/float_format.h"

#include "driver/common/settings_store.h"
#include "driver/devmodel/control_settings.h"

namespace {

// The virtualizer's format until a stream gives one: 16-bit stereo at 44.1 kHz.
constexpr ks::WaveFormatEx InitialVirtualizerFormat{
    ks::format_tag::ieeeFloat, 2, 44100, 176400, 4, 16, 0};
constexpr int InitialAngleIndex = 3;
constexpr int InitialCrosstalkAngle = 0; // 5 degrees

int AsFlag(std::uint32_t value) { return value != 0 ? 1 : 0; }

} // namespace

kernel::NTSTATUS CQ7K2VirtualizerUnit::Init(kernel::IUnknown* entity, std::uint8_t selector,
                                            io::DeviceObject* settings) {
    const kernel::NTSTATUS status = InitEffectControl(entity, selector, settings);
    if (!kernel::succeeded(status)) return status;
    if (!AllocatePlanes() || !AllocateLimiters() || !CreateVirtualizer()) {
        m_pVirtualizer.reset();
        FreeShared();
        return kernel::STATUS_INSUFFICIENT_RESOURCES;
    }
    m_ulRoom = static_cast<std::uint32_t>(m_pVirtualizer->GetHeadphoneRoom());
    m_ulTableFlag = static_cast<std::uint32_t>(m_pVirtualizer->GetHeadphoneFlag());
    ReadPersistedValues();
    ApplyTableFlag(m_ulTableFlag);
    ApplyRoom(m_ulRoom);
    return status;
}

bool CQ7K2VirtualizerUnit::CreateVirtualizer() {
    m_pVirtualizer.reset(new (kernel::PoolType::NonPagedNx, Q7K2EffectTag) CVshEffect);
    if (m_pVirtualizer == nullptr || !m_pVirtualizer->HasState()) return false;
    // This fixed format fails only when memory is short.
    if (m_pVirtualizer->SetFormat(&InitialVirtualizerFormat) != 1) return false;
    m_pVirtualizer->SetEnable(1);
    m_pVirtualizer->SetOutputMode(0);
    m_pVirtualizer->SetHeadphoneAngle(InitialAngleIndex);
    m_pVirtualizer->SetSpeakerAngle(InitialAngleIndex);
    m_pVirtualizer->SetCTCAngle(InitialCrosstalkAngle);
    return true;
}

void CQ7K2VirtualizerUnit::ReadPersistedValues() {
    std::uint32_t room = m_ulRoom;
    AccessUnitIndexedSetting(Settings(), SETTING_READ, &room, sizeof(room), GetId(), RoomValue);
    if (room <= MaxRoom) m_ulRoom = room;
    AccessUnitIndexedSetting(Settings(), SETTING_READ, &m_ulTableFlag, sizeof(m_ulTableFlag),
                             GetId(), TableFlagValue);
}

void CQ7K2VirtualizerUnit::ApplyTableFlag(std::uint32_t flag) {
    const int value = AsFlag(flag);
    if (m_pVirtualizer->GetSpeakerFlag() != value) m_pVirtualizer->SetSpeakerFlag(value);
    if (m_pVirtualizer->GetHeadphoneFlag() != value) m_pVirtualizer->SetHeadphoneFlag(value);
}

void CQ7K2VirtualizerUnit::ApplyRoom(std::uint32_t room) {
    const int value = static_cast<int>(room);
    if (m_pVirtualizer->GetOutputMode() != 0) {
        if (m_pVirtualizer->GetSpeakerRoom() != value) m_pVirtualizer->SetSpeakerRoom(value);
    } else if (m_pVirtualizer->GetHeadphoneRoom() != value) {
        m_pVirtualizer->SetHeadphoneRoom(value);
    }
}

kernel::NTSTATUS CQ7K2VirtualizerUnit::GetRecordParameters(std::uint32_t first, std::uint32_t count,
                                                           std::uint32_t* values) {
    if (first > ValueCount || count > ValueCount - first || (count != 0 && values == nullptr))
        return kernel::STATUS_INVALID_PARAMETER;
    CMutexLockScope hold(m_Lock);
    const std::uint32_t stored[ValueCount] = {m_ulRoom, m_ulTableFlag};
    for (std::uint32_t k = 0; k < count; ++k) values[k] = stored[first + k];
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CQ7K2VirtualizerUnit::SetRecordParameters(std::uint32_t first, std::uint32_t count,
                                                           const std::uint32_t* values) {
    if (first > ValueCount || count == 0 || count > ValueCount - first || values == nullptr)
        return kernel::STATUS_INVALID_PARAMETER;
    // A refused room must not leave a flag of the same call applied but not stored.
    for (std::uint32_t k = 0; k < count; ++k)
        if (first + k == RoomValue && values[k] > MaxRoom) return kernel::STATUS_INVALID_PARAMETER;
    if (m_pVirtualizer == nullptr) return kernel::STATUS_UNSUCCESSFUL;

    CMutexLockScope hold(m_Lock);
    std::uint32_t* stored[ValueCount] = {&m_ulRoom, &m_ulTableFlag};
    {
        CEffectLockScope block(m_Switch.Lock());
        for (std::uint32_t k = 0; k < count; ++k) {
            if (values[k] == *stored[first + k]) continue;
            if (first + k == RoomValue)
                ApplyRoom(values[k]);
            else
                ApplyTableFlag(values[k]);
        }
    }
    for (std::uint32_t k = 0; k < count; ++k) {
        *stored[first + k] = values[k];
        std::uint32_t value = values[k];
        AccessUnitIndexedSetting(Settings(), SETTING_WRITE, &value, sizeof(value), GetId(),
                                 first + k);
    }
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CQ7K2VirtualizerUnit::SetFormat(const ks::WaveFormatExtensible* format) {
    const kernel::NTSTATUS status = CUacEffectControl::SetFormat(format);
    if (!kernel::succeeded(status)) return status;
    m_FloatFormat = FloatDescription(*format);
    if (m_pVirtualizer != nullptr) {
        const ks::WaveFormatEx& stream = format->Format;
        ks::WaveFormatEx own{};
        own.wFormatTag = ks::format_tag::ieeeFloat;
        own.nChannels = stream.nChannels;
        own.nSamplesPerSec = stream.nSamplesPerSec;
        own.wBitsPerSample = stream.wBitsPerSample;
        own.nBlockAlign = static_cast<std::uint16_t>(stream.wBitsPerSample * stream.nChannels / 8);
        own.nAvgBytesPerSec = stream.nSamplesPerSec * own.nBlockAlign;
        // A format the virtualizer renders but has no memory for refuses the
        // stream's start, which the next start tries again; one it cannot
        // render is served by its bypass.
        if (m_pVirtualizer->SetFormat(&own) == 0) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    }
    SetLimiterFormats(m_FloatFormat);
    return kernel::STATUS_SUCCESS;
}

void CQ7K2VirtualizerUnit::RunEffect(float* const* wet, std::uint32_t, std::uint32_t frames) {
    m_pVirtualizer->Process(wet, static_cast<int>(frames));
}
