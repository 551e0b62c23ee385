#include "driver/devmodel/uac1_feature_unit.h"

#include "driver/devmodel/level_wire.h"
#include "platform/usb/audio_requests.h"
#include "platform/usb/little_endian.h"

#include <algorithm>

namespace {

// The vendor control map: its total length (16 bits) at 16, the element
// size at 18, the elements from 19.
constexpr std::size_t VendorSizeAt = 18;
constexpr std::size_t VendorElementsAt = 19;

constexpr std::uint8_t Uac1Order[] = {1, 2, 3, 4, 5, 7, 10, 139, 140};

} // namespace

kernel::NTSTATUS CUac1FeatureUnit::Parse(std::span<const std::uint8_t> bytes,
                                         kernel::IUnknown* device, CAudioHal* hal) {
    return ParseFeatureUnit(bytes, device, hal, usb::AudioRelease::uac1, usb::uac1::request::getMem,
                            VendorElementsAt, Uac1EntityTag);
}

CUac1FeatureUnit::Elements CUac1FeatureUnit::ElementsFor(std::uint8_t selector) const {
    Elements elements;
    if (selector >= feature_selector::firstVendor) {
        const std::span<const std::uint8_t> block = VendorBlock();
        if (block.empty()) return elements;
        elements.size = block[VendorSizeAt];
        if (elements.size == 0) return elements;
        elements.bytes = block.subspan(VendorElementsAt);
        elements.count = elements.bytes.size() / elements.size;
        elements.usable = elements.size == 2;
        return elements;
    }
    const std::span<const std::uint8_t> descriptor = Descriptor();
    if (descriptor.size() < 7 || descriptor[5] == 0) return elements;
    elements.size = descriptor[5];
    elements.bytes = descriptor.subspan(6, descriptor.size() - 7);
    elements.count = elements.bytes.size() / elements.size;
    elements.usable = true;
    return elements;
}

// An element's bits, read byte by byte (the elements sit at odd offsets).
bool CUac1FeatureUnit::ElementHas(const Elements& elements, std::size_t index,
                                  std::uint8_t selector) {
    if (!elements.usable || index >= elements.count) return false;
    const std::size_t at = index * elements.size;
    const std::uint32_t bits =
        elements.size == 1 ? elements.bytes[at] : usb::readLittleEndian<2>(elements.bytes, at);
    const unsigned bit =
        selector >= feature_selector::firstVendor ? (selector - 1u) % 32u : selector - 1u;
    return bit < 16 && (bits >> bit & 1u) != 0;
}

std::size_t CUac1FeatureUnit::ElementCount(std::uint8_t selector) const {
    return ElementsFor(selector).count;
}

std::uint32_t CUac1FeatureUnit::ElementBits(std::uint8_t selector, std::size_t index) const {
    return ElementHas(ElementsFor(selector), index, selector) ? 1 : 0;
}

kernel::NTSTATUS CUac1FeatureUnit::ChannelNumber(std::uint8_t selector, std::uint32_t channel,
                                                 std::uint8_t* number) {
    std::size_t element = 0;
    const kernel::NTSTATUS status = ChannelElement(selector, channel, &element);
    if (!kernel::succeeded(status)) return status;
    // The device numbers its surround pairs the other way round.
    switch (element) {
    case 5:
    case 6:
        element += 2;
        break;
    case 7:
    case 8:
        element -= 2;
        break;
    default:
        break;
    }
    *number = static_cast<std::uint8_t>(element);
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUac1FeatureUnit::Transfer(std::uint8_t selector, std::uint8_t request,
                                            std::uint8_t channel, void* buffer,
                                            std::uint32_t length) {
    return TransferControl(selector >= feature_selector::firstVendor, (request & 0x80) != 0,
                           request, selector, channel, buffer, length);
}

kernel::NTSTATUS CUac1FeatureUnit::GetByte(std::uint8_t selector, std::uint32_t channel,
                                           std::uint8_t* value) {
    if (value == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    std::uint8_t number = 0;
    const kernel::NTSTATUS status = ChannelNumber(selector, channel, &number);
    if (!kernel::succeeded(status)) return status;
    return Transfer(selector, usb::uac1::request::getCur, number, value, 1);
}

kernel::NTSTATUS CUac1FeatureUnit::SetByte(std::uint8_t selector, std::uint32_t channel,
                                           std::uint8_t value) {
    std::uint8_t number = 0;
    const kernel::NTSTATUS status = ChannelNumber(selector, channel, &number);
    if (!kernel::succeeded(status)) return status;
    return Transfer(selector, usb::uac1::request::setCur, number, &value, 1);
}

kernel::NTSTATUS CUac1FeatureUnit::GetValue(std::uint8_t selector, std::uint32_t channel,
                                            std::int32_t* value) {
    if (value == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    std::uint8_t number = 0;
    kernel::NTSTATUS status = ChannelNumber(selector, channel, &number);
    if (!kernel::succeeded(status)) return status;
    const std::uint32_t length = LevelBytes(selector);
    std::uint8_t bytes[2] = {};
    status = Transfer(selector, usb::uac1::request::getCur, number, bytes, length);
    if (kernel::succeeded(status)) *value = ReadLevel(bytes, length, true);
    return status;
}

// Values beyond what the wire carries saturate: a loud value stays loud
// rather than wrapping into silence, and minus infinity stays the quietest.
kernel::NTSTATUS CUac1FeatureUnit::SetValue(std::uint8_t selector, std::uint32_t channel,
                                            std::int32_t value) {
    std::uint8_t number = 0;
    const kernel::NTSTATUS status = ChannelNumber(selector, channel, &number);
    if (!kernel::succeeded(status)) return status;
    std::uint8_t bytes[2] = {};
    const std::uint32_t length = WriteLevel(selector, value, bytes);
    return Transfer(selector, usb::uac1::request::setCur, number, bytes, length);
}

kernel::NTSTATUS CUac1FeatureUnit::GetRange(std::uint8_t selector, std::int32_t* maximum,
                                            std::int32_t* minimum, std::int32_t* resolution) {
    if (maximum == nullptr || minimum == nullptr || resolution == nullptr || !HoldsFeatureUnit())
        return kernel::STATUS_INVALID_PARAMETER;
    const std::uint8_t number = FirstChannelElement(selector);
    const std::uint32_t length = LevelBytes(selector);
    const std::uint8_t requests[] = {usb::uac1::request::getMax, usb::uac1::request::getMin,
                                     usb::uac1::request::getRes};
    std::int32_t* outs[] = {maximum, minimum, resolution};
    for (std::size_t i = 0; i < 3; ++i) {
        std::uint8_t bytes[2] = {};
        const kernel::NTSTATUS status = Transfer(selector, requests[i], number, bytes, length);
        if (!kernel::succeeded(status)) return status;
        *outs[i] = ReadLevel(bytes, length, false);
    }
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUac1FeatureUnit::CreateControls(CAudioHal* hal) {
    return CreateSourcedControls(hal, Uac1Order, Uac1EntityTag);
}
