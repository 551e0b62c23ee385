#include "driver/devmodel/chips/k7d2_p9f4/chip_feature_units.h"

#include "platform/usb/audio_requests.h"

#include <algorithm>

namespace {

constexpr std::uint8_t ChipOrder[] = {1, 2, 3, 4, 5, 7, 10};
// Tone bytes are quarter dB: 1/65536 dB is 2^14 of them.
constexpr int ToneShift = 14;

bool IsTone(std::uint8_t selector) {
    return selector >= feature_selector::bass && selector <= feature_selector::treble;
}

bool IsLevel(std::uint8_t selector) {
    return selector == feature_selector::volume || IsTone(selector);
}

std::int32_t ReadTone(std::uint8_t byte) {
    return static_cast<std::int8_t>(byte) * (1 << ToneShift);
}

} // namespace

kernel::NTSTATUS CChipFeatureUnit::Parse(std::span<const std::uint8_t> bytes,
                                         kernel::IUnknown* device, CAudioHal* hal) {
    return ParseEntity(bytes, device, hal, usb::AudioRelease::uac1, FeatureUnitSubtype);
}

kernel::NTSTATUS CChipFeatureUnit::CreateControls(CAudioHal* hal) {
    return CreateSourcedControls(hal, ChipOrder, m_Tag);
}

kernel::NTSTATUS CChipFeatureUnit::Send(bool in, std::uint8_t request, std::uint8_t selector,
                                        std::uint8_t channel, void* buffer, std::uint32_t length) {
    return TransferControl(false, in, request, selector, channel, buffer, length);
}

kernel::NTSTATUS CChipFeatureUnit::GetByte(std::uint8_t selector, std::uint32_t channel,
                                           std::uint8_t* value) {
    if (value == nullptr || channel != 0) return kernel::STATUS_INVALID_PARAMETER;
    return Send(true, usb::uac1::request::getCur, selector, 0, value, 1);
}

kernel::NTSTATUS CChipFeatureUnit::SetByte(std::uint8_t selector, std::uint32_t channel,
                                           std::uint8_t value) {
    if (channel != 0) return kernel::STATUS_INVALID_PARAMETER;
    return Send(false, usb::uac1::request::setCur, selector, 0, &value, 1);
}

kernel::NTSTATUS CChipFeatureUnit::GetChannelCount(std::uint8_t selector, std::uint32_t* count) {
    if (IsLevel(selector)) return CUac1FeatureUnit::GetChannelCount(selector, count);
    if (count == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *count = 1;
    return kernel::STATUS_SUCCESS;
}

// A logical channel is the n-th channel element that has the control; a
// control only the master has is the master's.
kernel::NTSTATUS CChipFeatureUnit::GetValue(std::uint8_t selector, std::uint32_t channel,
                                            std::int32_t* value) {
    if (value == nullptr || !IsLevel(selector)) return kernel::STATUS_INVALID_PARAMETER;
    std::size_t element = 0;
    kernel::NTSTATUS status = ChannelElement(selector, channel, &element);
    if (!kernel::succeeded(status)) return status;
    std::uint8_t bytes[2] = {};
    const std::uint32_t length = IsTone(selector) ? 1 : 2;
    status = Send(true, usb::uac1::request::getCur, selector, static_cast<std::uint8_t>(element),
                  bytes, length);
    if (!kernel::succeeded(status)) return status;
    *value = IsTone(selector)
                 ? ReadTone(bytes[0])
                 : ReadChipLevel(m_Map, static_cast<std::int16_t>(bytes[0] | bytes[1] << 8));
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CChipFeatureUnit::SetValue(std::uint8_t selector, std::uint32_t channel,
                                            std::int32_t value) {
    if (!IsLevel(selector)) return kernel::STATUS_INVALID_PARAMETER;
    std::size_t element = 0;
    const kernel::NTSTATUS status = ChannelElement(selector, channel, &element);
    if (!kernel::succeeded(status)) return status;
    std::uint8_t bytes[2] = {};
    std::uint32_t length = 1;
    if (IsTone(selector)) {
        bytes[0] = static_cast<std::uint8_t>(std::clamp(value >> ToneShift, -127, 127));
    } else {
        const auto word = static_cast<std::uint16_t>(WriteChipLevel(m_Map, value));
        bytes[0] = static_cast<std::uint8_t>(word);
        bytes[1] = static_cast<std::uint8_t>(word >> 8);
        length = 2;
    }
    return Send(false, usb::uac1::request::setCur, selector, static_cast<std::uint8_t>(element),
                bytes, length);
}

kernel::NTSTATUS CChipFeatureUnit::GetRange(std::uint8_t selector, std::int32_t* maximum,
                                            std::int32_t* minimum, std::int32_t* resolution) {
    if (maximum == nullptr || minimum == nullptr || resolution == nullptr || !HoldsFeatureUnit() ||
        !IsLevel(selector))
        return kernel::STATUS_INVALID_PARAMETER;
    if (!IsTone(selector)) {
        *maximum = m_Map.maximum;
        *minimum = m_Map.minimum;
        *resolution = m_Map.resolution;
        return kernel::STATUS_SUCCESS;
    }
    const std::uint8_t requests[] = {usb::uac1::request::getMax, usb::uac1::request::getMin,
                                     usb::uac1::request::getRes};
    std::int32_t* outs[] = {maximum, minimum, resolution};
    for (std::size_t i = 0; i < 3; ++i) {
        std::uint8_t byte = 0;
        const kernel::NTSTATUS status =
            Send(true, requests[i], selector, FirstChannelElement(selector), &byte, 1);
        if (!kernel::succeeded(status)) return status;
        *outs[i] = ReadTone(byte);
    }
    return kernel::STATUS_SUCCESS;
}
