#include "driver/devmodel/feature_unit.h"

#include "driver/devmodel/effect_control.h"
#include "driver/devmodel/entity_request.h"
#include "driver/devmodel/level_controls.h"
#include "driver/devmodel/soft_volume_control.h"
#include "driver/devmodel/switch_controls.h"
#include "platform/usb/audio_requests.h"
#include "platform/usb/little_endian.h"

#include <algorithm>

namespace {

// Allocates the control (null node when the pool refused it) and binds it.
using ControlFactory = kernel::NTSTATUS (*)(std::uint32_t nodeId, kernel::PoolTag tag,
                                            kernel::IUnknown* unit, std::uint8_t selector,
                                            io::DeviceObject* settings, IAudioNode** node);

struct SelectorControl {
    std::uint8_t selector;
    ControlFactory create;
};

constexpr SelectorControl SelectorControls[] = {
    {feature_selector::mute, &CreateBoundControl<CUacMuteControl>},
    {feature_selector::volume, &CreateBoundControl<CUacVolumeControl>},
    {feature_selector::bass, &CreateBoundControl<CUacBassControl>},
    {feature_selector::mid, &CreateBoundControl<CUacMidControl>},
    {feature_selector::treble, &CreateBoundControl<CUacTrebleControl>},
    {feature_selector::automaticGain, &CreateBoundControl<CUacAgcControl>},
    {feature_selector::loudness, &CreateBoundControl<CUacLoudnessControl>},
    {feature_selector::gainPad, &CreateBoundControl<CUacGainPadControl>},
    {feature_selector::vendorSwitch, &CreateBoundControl<CUacVendorSwitchControl>},
    {feature_selector::softVolume, &CreateBoundControl<CUacSoftVolumeControl>},
    {feature_selector::reverberator, &CreateBoundControl<CUacEffectControl>},
    {feature_selector::virtualizer, &CreateBoundControl<CUacEffectControl>},
};

ControlFactory FactoryOf(std::uint8_t selector) {
    for (const SelectorControl& entry : SelectorControls)
        if (entry.selector == selector) return entry.create;
    return nullptr;
}

} // namespace

kernel::NTSTATUS CFeatureUnit::NonDelegatingQueryInterface(const kernel::Guid& id, void** object) {
    kernel::NTSTATUS status =
        AnswerAfterBase(CUacEntity::NonDelegatingQueryInterface(id, object),
                        static_cast<IFeatureUnitSwitch*>(this), id, IID_IFeatureUnitSwitch, object);
    return AnswerAfterBase(status, static_cast<IFeatureUnitLevel*>(this), id, IID_IFeatureUnitLevel,
                           object);
}

bool CFeatureUnit::HasControl(std::uint8_t selector) {
    const std::size_t count = ElementCount(selector);
    for (std::size_t index = 0; index < count; ++index)
        if (ElementBits(selector, index) != 0) return true;
    return false;
}

bool CFeatureUnit::HoldsFeatureUnit() const {
    const std::span<const std::uint8_t> descriptor = Descriptor();
    return descriptor.size() >= 3 && descriptor[2] == FeatureUnitSubtype;
}

kernel::NTSTATUS CFeatureUnit::GetChannelCount(std::uint8_t selector, std::uint32_t* count) {
    if (count == nullptr || !HoldsFeatureUnit()) return kernel::STATUS_INVALID_PARAMETER;
    if (selector >= feature_selector::firstVendor && VendorBlock().empty())
        return kernel::STATUS_INVALID_PARAMETER;
    const std::size_t elements = ElementCount(selector);
    std::uint32_t channels = 0;
    for (std::size_t index = 1; index < elements; ++index)
        if (ElementBits(selector, index) != 0) ++channels;
    if (channels != 0) {
        *count = channels;
        return kernel::STATUS_SUCCESS;
    }
    *count = ElementBits(selector, 0) != 0 ? 1 : 0;
    return *count != 0 ? kernel::STATUS_SUCCESS : kernel::STATUS_UNSUCCESSFUL;
}

// A single channel is the master when the master has the control; otherwise
// logical channel c is the (c+1)-th channel element that has it, so a
// control on a later channel alone is still reached.
kernel::NTSTATUS CFeatureUnit::ChannelElement(std::uint8_t selector, std::uint32_t channel,
                                              std::size_t* element) {
    std::uint32_t channels = 0;
    const kernel::NTSTATUS status = GetChannelCount(selector, &channels);
    if (!kernel::succeeded(status)) return status;
    if (channel >= channels) return kernel::STATUS_INVALID_PARAMETER;
    *element = 0;
    if (channels == 1 && ElementBits(selector, 0) != 0) return kernel::STATUS_SUCCESS;
    const std::size_t elements = ElementCount(selector);
    std::uint32_t seen = 0;
    for (std::size_t index = 1; index < elements; ++index)
        if (ElementBits(selector, index) != 0 && seen++ == channel) {
            *element = index;
            return kernel::STATUS_SUCCESS;
        }
    return kernel::STATUS_INVALID_PARAMETER;
}

std::uint8_t CFeatureUnit::FirstChannelElement(std::uint8_t selector) const {
    const std::size_t elements = ElementCount(selector);
    for (std::size_t index = 1; index < elements; ++index)
        if (ElementBits(selector, index) != 0) return static_cast<std::uint8_t>(index);
    return 0;
}

kernel::NTSTATUS CFeatureUnit::TransferControl(bool vendor, bool in, std::uint8_t request,
                                               std::uint8_t selector, std::uint8_t channel,
                                               void* buffer, std::uint32_t length) {
    const EntityRequest entityRequest{vendor,
                                      in,
                                      request,
                                      usb::controlValue(selector, channel),
                                      static_cast<std::uint8_t>(GetId()),
                                      buffer,
                                      length};
    if (in) return ReadEntityExactly(Device(), entityRequest);
    return SendEntityRequest(Device(), entityRequest);
}

kernel::NTSTATUS CFeatureUnit::CreateSourcedControls(CAudioHal* hal,
                                                     std::span<const std::uint8_t> order,
                                                     kernel::PoolTag tag) {
    if (hal == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    const std::uint32_t source = Descriptor()[4];
    const kernel::NTSTATUS status = SetIdList(1, &source);
    if (!kernel::succeeded(status)) return status;
    return CreateFeatureControls(*hal, order, tag);
}

kernel::NTSTATUS CFeatureUnit::CreateControl(std::uint8_t selector, std::uint32_t nodeId,
                                             kernel::PoolTag tag, io::DeviceObject* settings,
                                             IAudioNode** control) {
    *control = nullptr;
    const ControlFactory create = FactoryOf(selector);
    if (create == nullptr) return kernel::STATUS_NOT_SUPPORTED;
    return create(nodeId, tag, static_cast<IFeatureUnitSwitch*>(this), selector, settings, control);
}

kernel::NTSTATUS CFeatureUnit::CreateFeatureControls(CAudioHal& hal,
                                                     std::span<const std::uint8_t> order,
                                                     kernel::PoolTag tag) {
    if (!HasControl(feature_selector::mute)) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    std::uint32_t nodeId = hal.GetChildCount();
    io::DeviceObject* settings = hal.GetDeviceObject();
    for (const std::uint8_t selector : order) {
        if (!HasControl(selector)) continue;
        IAudioNode* control = nullptr;
        kernel::NTSTATUS status = CreateControl(selector, nodeId, tag, settings, &control);
        if (status == kernel::STATUS_NOT_SUPPORTED && control == nullptr) continue;
        if (control == nullptr) {
            // Only the output side is needed; a missing control further in
            // is left out.
            if (selector == feature_selector::mute) return kernel::STATUS_INSUFFICIENT_RESOURCES;
            continue;
        }
        if (kernel::succeeded(status)) status = hal.AddChildObject(control);
        if (kernel::succeeded(status)) status = AddItem(control);
        control->Release();
        if (!kernel::succeeded(status)) return status;
        ++nodeId;
    }
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CFeatureUnit::ParseFeatureUnit(std::span<const std::uint8_t> bytes,
                                                kernel::IUnknown* device, CAudioHal* hal,
                                                usb::AudioRelease release, std::uint8_t memRequest,
                                                std::uint32_t headerBytes, kernel::PoolTag tag) {
    if (device == nullptr || hal == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    kernel::NTSTATUS status = CheckEntityDescriptor(bytes, release, FeatureUnitSubtype);
    if (!kernel::succeeded(status)) return status;
    status = StoreDescriptor(bytes, device);
    if (!kernel::succeeded(status)) return status;
    ReadVendorBlock(memRequest, headerBytes, tag);
    status = CreateControls(hal);
    if (!kernel::succeeded(status)) return status;
    return ChainItems();
}

// The map's total length (16 bits) sits at 16. It is kept only as far as
// the device returned it and that length covers.
void CFeatureUnit::ReadVendorBlock(std::uint8_t memRequest, std::uint32_t headerBytes,
                                   kernel::PoolTag tag) {
    constexpr std::uint16_t MapLengthValue = 0x0010;
    constexpr std::size_t MapLengthAt = 16;
    std::uint8_t header[2] = {};
    EntityRequest request{
        false,  true,          memRequest, MapLengthValue, static_cast<std::uint8_t>(GetId()),
        header, sizeof(header)};
    if (!kernel::succeeded(ReadEntityExactly(Device(), request))) return;
    const std::uint32_t length = usb::readLittleEndian<2>(header, 0);
    if (length < headerBytes) return;
    CPoolBuffer block(kernel::PoolType::NonPagedNx, length, tag);
    if (!block.IsValid()) return;
    request.value = 0;
    request.buffer = block.Get();
    request.length = length;
    std::uint32_t returned = 0;
    if (!kernel::succeeded(SendEntityRequest(Device(), request, &returned))) return;
    if (returned < headerBytes) return;
    const std::uint32_t inner =
        usb::readLittleEndian<2>({block.Get<const std::uint8_t>(), returned}, MapLengthAt);
    const std::uint32_t usable = std::min(returned, inner);
    if (usable < headerBytes) return;
    m_VendorBlock = std::move(block);
    m_ulVendorBytes = usable;
}
