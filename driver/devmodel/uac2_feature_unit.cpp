#include "driver/devmodel/uac2_feature_unit.h"

#include "driver/devmodel/level_wire.h"
#include "platform/usb/audio_requests.h"
#include "platform/usb/little_endian.h"

#include <algorithm>

namespace {

constexpr std::size_t VendorWordsAt = 18;
constexpr std::size_t ControlsAt = 5;
constexpr std::uint32_t Readable = 1;
constexpr std::uint32_t Writable = 2;

constexpr std::uint8_t Uac2Order[] = {1, 2, 3, 4, 5, 7, 10, 12, 144, 130};

// The item kind a changed control selector names.
std::uint32_t ItemTypeOf(std::uint8_t selector) {
    switch (selector) {
    case 1:
        return item_type::mute;
    case 2:
    case 130:
        return item_type::volume;
    case 3:
        return item_type::bass;
    case 4:
        return item_type::mid;
    case 5:
        return item_type::treble;
    case 7:
        return item_type::automaticGain;
    case 10:
        return item_type::loudness;
    default:
        return 0xFFFFFFFF;
    }
}

} // namespace

kernel::NTSTATUS CUac2FeatureUnit::Parse(std::span<const std::uint8_t> bytes,
                                         kernel::IUnknown* device, CAudioHal* hal) {
    return ParseFeatureUnit(bytes, device, hal, usb::AudioRelease::uac2, usb::uac2::request::mem,
                            VendorWordsAt, Uac2EntityTag);
}

CUac2FeatureUnit::Words CUac2FeatureUnit::WordsFor(std::uint8_t selector) const {
    Words words;
    if (selector >= feature_selector::firstVendor) {
        const std::span<const std::uint8_t> block = VendorBlock();
        if (block.empty()) return words;
        words.bytes = block.subspan(VendorWordsAt);
    } else {
        const std::span<const std::uint8_t> descriptor = Descriptor();
        if (descriptor.size() < ControlsAt + 1) return words;
        words.bytes = descriptor.subspan(ControlsAt, descriptor.size() - ControlsAt - 1);
    }
    words.count = words.bytes.size() / 4;
    return words;
}

std::uint32_t CUac2FeatureUnit::Field(const Words& words, std::size_t index,
                                      std::uint8_t selector) {
    if (index >= words.count) return 0;
    const std::uint32_t word = usb::readLittleEndian<4>(words.bytes, index * 4);
    return word >> ((2u * selector - 2u) % 32u) & 3u;
}

std::size_t CUac2FeatureUnit::ElementCount(std::uint8_t selector) const {
    return WordsFor(selector).count;
}

std::uint32_t CUac2FeatureUnit::ElementBits(std::uint8_t selector, std::size_t index) const {
    return Field(WordsFor(selector), index, selector);
}

// A write needs the element's writable bit, a read its readable one.
kernel::NTSTATUS CUac2FeatureUnit::ChannelNumber(std::uint8_t selector, std::uint32_t channel,
                                                 bool write, std::uint8_t* number) {
    std::size_t element = 0;
    const kernel::NTSTATUS status = ChannelElement(selector, channel, &element);
    if (!kernel::succeeded(status)) return status;
    const std::uint32_t needed = write ? Writable : Readable;
    if ((ElementBits(selector, element) & needed) == 0) return kernel::STATUS_INVALID_PARAMETER;
    *number = static_cast<std::uint8_t>(element);
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUac2FeatureUnit::Transfer(std::uint8_t selector, std::uint8_t request, bool in,
                                            std::uint8_t channel, void* buffer,
                                            std::uint32_t length) {
    return TransferControl(false, in, request, selector, channel, buffer, length);
}

kernel::NTSTATUS CUac2FeatureUnit::GetByte(std::uint8_t selector, std::uint32_t channel,
                                           std::uint8_t* value) {
    if (value == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    std::uint8_t number = 0;
    const kernel::NTSTATUS status = ChannelNumber(selector, channel, false, &number);
    if (!kernel::succeeded(status)) return status;
    return Transfer(selector, usb::uac2::request::cur, true, number, value, 1);
}

kernel::NTSTATUS CUac2FeatureUnit::SetByte(std::uint8_t selector, std::uint32_t channel,
                                           std::uint8_t value) {
    std::uint8_t number = 0;
    const kernel::NTSTATUS status = ChannelNumber(selector, channel, true, &number);
    if (!kernel::succeeded(status)) return status;
    return Transfer(selector, usb::uac2::request::cur, false, number, &value, 1);
}

kernel::NTSTATUS CUac2FeatureUnit::GetValue(std::uint8_t selector, std::uint32_t channel,
                                            std::int32_t* value) {
    if (value == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    std::uint8_t number = 0;
    kernel::NTSTATUS status = ChannelNumber(selector, channel, false, &number);
    if (!kernel::succeeded(status)) return status;
    const std::uint32_t length = LevelBytes(selector);
    std::uint8_t bytes[2] = {};
    status = Transfer(selector, usb::uac2::request::cur, true, number, bytes, length);
    if (kernel::succeeded(status)) *value = ReadLevel(bytes, length, true);
    return status;
}

kernel::NTSTATUS CUac2FeatureUnit::SetValue(std::uint8_t selector, std::uint32_t channel,
                                            std::int32_t value) {
    std::uint8_t number = 0;
    const kernel::NTSTATUS status = ChannelNumber(selector, channel, true, &number);
    if (!kernel::succeeded(status)) return status;
    std::uint8_t bytes[2] = {};
    const std::uint32_t length = WriteLevel(selector, value, bytes);
    return Transfer(selector, usb::uac2::request::cur, false, number, bytes, length);
}

// RANGE answers a count of sub-ranges and then minimum, maximum and
// resolution; only the bytes returned are read.
kernel::NTSTATUS CUac2FeatureUnit::GetRange(std::uint8_t selector, std::int32_t* maximum,
                                            std::int32_t* minimum, std::int32_t* resolution) {
    if (maximum == nullptr || minimum == nullptr || resolution == nullptr || !HoldsFeatureUnit())
        return kernel::STATUS_INVALID_PARAMETER;
    const std::uint8_t number = FirstChannelElement(selector);
    const std::uint32_t size = LevelBytes(selector);
    std::uint8_t bytes[8] = {};
    const kernel::NTSTATUS status =
        Transfer(selector, usb::uac2::request::range, true, number, bytes, 2 + 3 * size);
    if (!kernel::succeeded(status)) return status;
    if (usb::readLittleEndian<2>(bytes, 0) != 1) return kernel::STATUS_UNSUCCESSFUL;
    *minimum = ReadLevel(bytes + 2, size, false);
    *maximum = ReadLevel(bytes + 2 + size, size, false);
    *resolution = ReadLevel(bytes + 2 + 2 * size, size, false);
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUac2FeatureUnit::CreateControls(CAudioHal* hal) {
    return CreateSourcedControls(hal, Uac2Order, Uac2EntityTag);
}

kernel::NTSTATUS CUac2FeatureUnit::OnDeviceChange(std::uint8_t selector, std::uint8_t,
                                                  std::uint32_t* nodeId) {
    if (nodeId == nullptr || !HasControl(selector)) return kernel::STATUS_UNSUCCESSFUL;
    const std::uint32_t type = ItemTypeOf(selector);
    if (type == 0xFFFFFFFF) return kernel::STATUS_UNSUCCESSFUL;
    IAudioNode* item = FindItemOfType(type);
    if (item == nullptr) {
        *nodeId = NoChangedNode;
        return kernel::STATUS_SUCCESS;
    }
    *nodeId = item->GetId();
    item->ReadFromDevice();
    return kernel::STATUS_SUCCESS;
}
