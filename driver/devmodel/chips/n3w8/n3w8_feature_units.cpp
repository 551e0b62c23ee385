#include "driver/devmodel/chips/n3w8/n3w8_feature_units.h"

#include "driver/common/settings_store.h"
#include "driver/devmodel/chips/n3w8/n3w8_control_nodes.h"
#include "driver/devmodel/chips/n3w8/n3w8_volume_scales.h"
#include "driver/devmodel/entity_controls.h"
#include "platform/usb/audio_requests.h"

namespace {

constexpr int FixedShift = 8; // 1/256 dB to 16.16
constexpr std::uint32_t LedRegister = 1;
constexpr std::uint16_t LedBits = 0x30;
constexpr std::uint16_t LedDark = 0x10;

// A one-byte switch, stored as a byte or as a number (the settings file
// writes "0x01" as one byte, "1" as four): its first byte; 0 when missing.
std::uint8_t FirstSettingByte(io::DeviceObject* settings, const char16_t* name) {
    std::uint8_t bytes[4] = {};
    AccessSetting(settings, SETTING_READ, bytes, sizeof bytes, name);
    return bytes[0];
}

N3W8Scale ScaleOf(N3W8VolumeMap map) {
    return map == N3W8VolumeMap::Analog ? N3W8Scale::Analog : N3W8Scale::Record;
}

} // namespace

kernel::NTSTATUS CN3W8FeatureUnit::Parse(std::span<const std::uint8_t> bytes,
                                         kernel::IUnknown* device, CAudioHal* hal,
                                         const N3W8EntityContext& context) {
    m_pRegisters = context.registers;
    return CUac1FeatureUnit::Parse(bytes, device, hal);
}

bool CN3W8FeatureUnit::Mapped(std::uint8_t selector) const {
    return selector == feature_selector::volume && m_Map != N3W8VolumeMap::Plain;
}

// Levels come off the wire in 16.16 (1/256 dB shifted); the map works on
// the device's own 1/256 dB steps.
kernel::NTSTATUS CN3W8FeatureUnit::GetValue(std::uint8_t selector, std::uint32_t channel,
                                            std::int32_t* value) {
    const kernel::NTSTATUS status = CUac1FeatureUnit::GetValue(selector, channel, value);
    if (!kernel::succeeded(status) || !Mapped(selector) || *value == MinusInfinity) return status;
    const std::int32_t device = *value >> FixedShift;
    *value = m_Map == N3W8VolumeMap::Table
                 ? N3W8TableLevel(static_cast<std::int16_t>(device))
                 : N3W8ScaleRead(ScaleOf(m_Map), device) * (1 << FixedShift);
    return status;
}

kernel::NTSTATUS CN3W8FeatureUnit::SetValue(std::uint8_t selector, std::uint32_t channel,
                                            std::int32_t value) {
    if (!Mapped(selector) || value == MinusInfinity)
        return CUac1FeatureUnit::SetValue(selector, channel, value);
    const std::int32_t mapped = m_Map == N3W8VolumeMap::Table
                                    ? std::int32_t{N3W8TableDeviceValue(value)} * (1 << FixedShift)
                                    : N3W8ScaleWrite(ScaleOf(m_Map), value);
    return CUac1FeatureUnit::SetValue(selector, channel, mapped);
}

kernel::NTSTATUS CN3W8FeatureUnit::ReadRangeWord(std::uint8_t request, std::int16_t* word) {
    std::uint8_t bytes[2] = {};
    const kernel::NTSTATUS status =
        TransferControl(false, true, request, feature_selector::volume,
                        FirstChannelElement(feature_selector::volume), bytes, sizeof bytes);
    if (kernel::succeeded(status)) *word = static_cast<std::int16_t>(bytes[0] | bytes[1] << 8);
    return status;
}

kernel::NTSTATUS CN3W8FeatureUnit::GetRange(std::uint8_t selector, std::int32_t* maximum,
                                            std::int32_t* minimum, std::int32_t* resolution) {
    if (!Mapped(selector))
        return CUac1FeatureUnit::GetRange(selector, maximum, minimum, resolution);
    if (maximum == nullptr || minimum == nullptr || resolution == nullptr || !HoldsFeatureUnit())
        return kernel::STATUS_INVALID_PARAMETER;
    std::int16_t low = 0;
    std::int16_t high = 0;
    kernel::NTSTATUS status = ReadRangeWord(usb::uac1::request::getMin, &low);
    if (kernel::succeeded(status)) status = ReadRangeWord(usb::uac1::request::getMax, &high);
    if (!kernel::succeeded(status)) return status;
    const N3W8VolumeRange range = m_Map == N3W8VolumeMap::Table
                                      ? N3W8TableRange(low, high)
                                      : N3W8ScaledRange(ScaleOf(m_Map), low, high);
    *maximum = range.maximum;
    *minimum = range.minimum;
    *resolution = range.resolution;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CN3W8RecordFeatureUnitSoft::CreateControl(std::uint8_t selector,
                                                           std::uint32_t nodeId,
                                                           kernel::PoolTag tag,
                                                           io::DeviceObject* settings,
                                                           IAudioNode** control) {
    if (selector != feature_selector::mute)
        return CN3W8RecordFeatureUnit::CreateControl(selector, nodeId, tag, settings, control);
    return CreateBoundControl<CN3W8SoftMuteNode>(
        nodeId, N3W8EntityTag, static_cast<IFeatureUnitSwitch*>(this), selector, settings, control);
}

kernel::NTSTATUS CN3W8RecordFeatureUnitLed::CreateControls(CAudioHal* hal) {
    const kernel::NTSTATUS status = CN3W8RecordFeatureUnit::CreateControls(hal);
    if (!kernel::succeeded(status)) return status;
    return AddEntityControl<CN3W8LedSwitchItem>(
        *this, *hal, N3W8EntityTag,
        [&](CN3W8LedSwitchItem& item) { return item.Bind(Registers()); });
}

kernel::NTSTATUS CN3W8MixFeatureUnit::CreateControl(std::uint8_t selector, std::uint32_t nodeId,
                                                    kernel::PoolTag tag, io::DeviceObject* settings,
                                                    IAudioNode** control) {
    if (selector != feature_selector::mute)
        return CN3W8FeatureUnit::CreateControl(selector, nodeId, tag, settings, control);
    return CreateBoundControl<CN3W8MuteNodeB>(
        nodeId, N3W8EntityTag, static_cast<IFeatureUnitSwitch*>(this), selector, settings, control);
}

kernel::NTSTATUS CN3W8MuteLedFeatureUnit::Parse(std::span<const std::uint8_t> bytes,
                                                kernel::IUnknown* device, CAudioHal* hal,
                                                const N3W8EntityContext& context) {
    io::DeviceObject* settings = hal != nullptr ? hal->GetDeviceObject() : nullptr;
    m_bNeedMuteLed = FirstSettingByte(settings, u"NeedMuteLED") != 0;
    m_bReverseMuteLed = FirstSettingByte(settings, u"ReverseMuteLED") == 1;
    return CN3W8FeatureUnit::Parse(bytes, device, hal, context);
}

kernel::NTSTATUS CN3W8MuteLedFeatureUnit::SetByte(std::uint8_t selector, std::uint32_t channel,
                                                  std::uint8_t value) {
    const kernel::NTSTATUS status = CN3W8FeatureUnit::SetByte(selector, channel, value);
    if (!kernel::succeeded(status) || selector != feature_selector::mute || !m_bNeedMuteLed)
        return status;
    if (Registers() == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    const bool lit = m_bReverseMuteLed ? value == 0 : value != 0;
    return Registers()->WriteRegister(LedRegister, lit ? LedBits : LedDark, LedBits);
}

kernel::NTSTATUS CN3W8MuteLedFeatureUnit::CreateControl(std::uint8_t selector, std::uint32_t nodeId,
                                                        kernel::PoolTag tag,
                                                        io::DeviceObject* settings,
                                                        IAudioNode** control) {
    auto* unit = static_cast<IFeatureUnitSwitch*>(this);
    if (selector == feature_selector::mute)
        return CreateBoundControl<CN3W8MuteNodeA>(nodeId, N3W8EntityTag, unit, selector, settings,
                                                  control);
    if (selector == feature_selector::volume)
        return CreateBoundControl<CN3W8SoftVolumeNode>(nodeId, N3W8EntityTag, unit, selector,
                                                       settings, control);
    return CN3W8FeatureUnit::CreateControl(selector, nodeId, tag, settings, control);
}

kernel::NTSTATUS CN3W8ForcedMuteFeatureUnit::NonDelegatingQueryInterface(const kernel::Guid& id,
                                                                         void** object) {
    return AnswerAfterBase(CN3W8AnalogFeatureUnit::NonDelegatingQueryInterface(id, object),
                           static_cast<IN3W8ForcedMute*>(this), id, IID_IN3W8ForcedMute, object);
}

kernel::NTSTATUS CN3W8ForcedMuteFeatureUnit::GetByte(std::uint8_t selector, std::uint32_t channel,
                                                     std::uint8_t* value) {
    if (selector != feature_selector::mute)
        return CN3W8AnalogFeatureUnit::GetByte(selector, channel, value);
    CMutexLockScope scope(m_Lock);
    const kernel::NTSTATUS status = CN3W8AnalogFeatureUnit::GetByte(selector, channel, value);
    if (!kernel::succeeded(status)) return status;
    if (m_bForced) {
        *value = m_Requested;
    } else {
        m_Requested = *value;
        m_ulChannel = channel;
    }
    return status;
}

kernel::NTSTATUS CN3W8ForcedMuteFeatureUnit::SetByte(std::uint8_t selector, std::uint32_t channel,
                                                     std::uint8_t value) {
    if (selector != feature_selector::mute)
        return CN3W8AnalogFeatureUnit::SetByte(selector, channel, value);
    CMutexLockScope scope(m_Lock);
    m_Requested = value;
    m_ulChannel = channel;
    return SendMute();
}

kernel::NTSTATUS CN3W8ForcedMuteFeatureUnit::SetForcedMute(bool forced) {
    CMutexLockScope scope(m_Lock);
    m_bForced = forced;
    return SendMute();
}

kernel::NTSTATUS CN3W8ForcedMuteFeatureUnit::SendMute() {
    const auto sent = static_cast<std::uint8_t>(m_Requested | (m_bForced ? 1 : 0));
    return CN3W8AnalogFeatureUnit::SetByte(feature_selector::mute, m_ulChannel, sent);
}
