// What the feature units of both releases share: the entity that answers its
// controls' access interfaces and creates one control per selector it has,
// in a fixed order, with consecutive node ids from the HAL's child count.
// Each control joins the HAL's child list and the unit's item list; the
// last one created is the unit's input side, mute its output side.
#pragma once

#include "driver/common/object_model.h"
#include "driver/devmodel/feature_unit_access.h"
#include "driver/devmodel/uac_entity.h"
#include "platform/io/device_object.h"

#include <cstdint>
#include <span>

inline constexpr std::uint8_t FeatureUnitSubtype = 6;

// Control selectors as the feature units' controls know them.
namespace feature_selector {
inline constexpr std::uint8_t mute = 1;
inline constexpr std::uint8_t volume = 2;
inline constexpr std::uint8_t bass = 3;
inline constexpr std::uint8_t mid = 4;
inline constexpr std::uint8_t treble = 5;
inline constexpr std::uint8_t automaticGain = 7;
inline constexpr std::uint8_t loudness = 10;
inline constexpr std::uint8_t gainPad = 12;
inline constexpr std::uint8_t softVolume = 130;
inline constexpr std::uint8_t vendorSwitch = 144;
// The vendor's effect switches: a room and a headphone virtualizer.
inline constexpr std::uint8_t reverberator = 139;
inline constexpr std::uint8_t virtualizer = 140;
// Selectors from here on are the vendor's, found in the vendor control map.
inline constexpr std::uint8_t firstVendor = 128;
} // namespace feature_selector

// Allocates a control of the class for the node id (a null node when the
// pool refused it) and binds it to the unit's selector.
template <class Control>
kernel::NTSTATUS CreateBoundControl(std::uint32_t nodeId, kernel::PoolTag tag,
                                    kernel::IUnknown* unit, std::uint8_t selector,
                                    io::DeviceObject* settings, IAudioNode** node) {
    Control* control = nullptr;
    const kernel::NTSTATUS status =
        CreateDriverObject<Control>(&control, nullptr, kernel::PoolType::NonPagedNx, tag, nodeId);
    *node = control;
    if (!kernel::succeeded(status)) return status;
    return control->Bind(unit, selector, settings);
}

class CFeatureUnit : public CForwardingUnknown<CUacEntity, IFeatureUnitSwitch, IFeatureUnitLevel> {
public:
    using CForwardingUnknown::CForwardingUnknown;

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    // Whether the unit's descriptors give it the control: some element has it.
    virtual bool HasControl(std::uint8_t selector);
    // The logical channels of a control: the channel elements (1 and on)
    // that have it, else the master alone.
    kernel::NTSTATUS GetChannelCount(std::uint8_t selector, std::uint32_t* count) override;

    // The vendor control map's bytes; empty when the device gave none.
    std::span<const std::uint8_t> VendorBlock() const {
        return {m_VendorBlock.Get<const std::uint8_t>(), m_ulVendorBytes};
    }

protected:
    // The release's control elements of the selector (the master first): how
    // many there are, and the bits of one, 0 where it lacks the control.
    virtual std::size_t ElementCount(std::uint8_t selector) const = 0;
    virtual std::uint32_t ElementBits(std::uint8_t selector, std::size_t index) const = 0;
    // The element of a logical channel.
    kernel::NTSTATUS ChannelElement(std::uint8_t selector, std::uint32_t channel,
                                    std::size_t* element);
    // The first channel element that has the control; 0 (the master) if none.
    std::uint8_t FirstChannelElement(std::uint8_t selector) const;
    // A control request of the unit for the selector and device channel: a
    // read must return every byte.
    kernel::NTSTATUS TransferControl(bool vendor, bool in, std::uint8_t request,
                                     std::uint8_t selector, std::uint8_t channel, void* buffer,
                                     std::uint32_t length);
    // Whether the stored descriptor is a feature unit's.
    bool HoldsFeatureUnit() const;

    // The release's descriptor checked and copied, the vendor map read (MEM
    // with the release's request code; a map shorter than headerBytes is
    // absent), the controls created and chained.
    kernel::NTSTATUS ParseFeatureUnit(std::span<const std::uint8_t> bytes, kernel::IUnknown* device,
                                      CAudioHal* hal, usb::AudioRelease release,
                                      std::uint8_t memRequest, std::uint32_t headerBytes,
                                      kernel::PoolTag tag);
    // Creates the controls of the selectors the unit has, in the order given;
    // the pool tag is the release's. No mute control: nothing is created.
    kernel::NTSTATUS CreateFeatureControls(CAudioHal& hal, std::span<const std::uint8_t> order,
                                           kernel::PoolTag tag);
    // The control of one selector, created and bound: the release's class
    // for it; STATUS_NOT_SUPPORTED with no node for a selector without one.
    // A unit whose controls act otherwise puts its own classes here.
    virtual kernel::NTSTATUS CreateControl(std::uint8_t selector, std::uint32_t nodeId,
                                           kernel::PoolTag tag, io::DeviceObject* settings,
                                           IAudioNode** control);
    // The unit's source from its descriptor, then its controls as above.
    kernel::NTSTATUS CreateSourcedControls(CAudioHal* hal, std::span<const std::uint8_t> order,
                                           kernel::PoolTag tag);

private:
    void ReadVendorBlock(std::uint8_t memRequest, std::uint32_t headerBytes, kernel::PoolTag tag);

    CPoolBuffer m_VendorBlock;
    std::uint32_t m_ulVendorBytes = 0;
};
