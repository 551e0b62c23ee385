// The release-1 models of four of the maker's chips. Each sets the chip's
// words of the information record and picks, per unit id, the entity
// classes that speak the chip's dialect; T6L1 and Q7K2 also play their
// render interfaces through the effect engine at eight channels.
#pragma once

#include "driver/common/object_model.h"
#include "driver/devmodel/chips/chip_device_create.h"
#include "driver/devmodel/chips/uac1_chip_device.h"
#include "driver/devmodel/uac1_device.h"

#include <cstdint>

inline constexpr kernel::PoolTag K7D2DeviceTag = kernel::poolTag("K7D2");
inline constexpr kernel::PoolTag P9F4DeviceTag = kernel::poolTag("P9F4");
inline constexpr kernel::PoolTag T6L1DeviceTag = kernel::poolTag("T6L1");
inline constexpr kernel::PoolTag Q7K2DeviceTag = kernel::poolTag("Q7K2");

// The Q7K2's later revision starts at this device release (bcdDevice).
inline constexpr std::uint16_t Q7K2LaterRevision = 0x0200;

// Volume units 9 to 14 in three level dialects.
class CUac1DeviceK7D2 : public CUac1ChipDeviceOf<K7D2DeviceTag> {
public:
    using CUac1ChipDeviceOf::CUac1ChipDeviceOf;
    kernel::NTSTATUS ParseControlInterface(const usb::InterfaceDescriptor* interface,
                                           std::uint32_t length) override;

protected:
    kernel::NTSTATUS SetInfoMasks(IUsbDevice& usb, EndpointInfoRecord& info) override;
};

// Volume units 9, 10 and 13 in three dialects; one vendor's speaker
// terminal 6 plays as headphones.
class CUac1DeviceP9F4 : public CUac1ChipDeviceOf<P9F4DeviceTag> {
public:
    using CUac1ChipDeviceOf::CUac1ChipDeviceOf;
    kernel::NTSTATUS ParseControlInterface(const usb::InterfaceDescriptor* interface,
                                           std::uint32_t length) override;

protected:
    kernel::NTSTATUS SetInfoMasks(IUsbDevice& usb, EndpointInfoRecord& info) override;
};

// What T6L1 and Q7K2 share: generic entities under the release-1 tag and
// eight-channel render formats on the effect engine.
class CUac1EffectChipDevice : public CUac1ChipDevice {
public:
    using CUac1ChipDevice::CUac1ChipDevice;
    kernel::NTSTATUS ParseStreamingInterfaces(const usb::ConfigurationDescriptor* configuration,
                                              const usb::InterfaceDescriptor* interface,
                                              std::uint32_t length) override;
};

// A speaker output terminal carrying the chip's virtualizer.
class CUac1DeviceT6L1
    : public CUac1ChipDeviceOf<T6L1DeviceTag, Uac1DeviceTag, CUac1EffectChipDevice> {
public:
    using CUac1ChipDeviceOf::CUac1ChipDeviceOf;
    kernel::NTSTATUS ParseControlInterface(const usb::InterfaceDescriptor* interface,
                                           std::uint32_t length) override;

protected:
    kernel::NTSTATUS SetInfoMasks(IUsbDevice& usb, EndpointInfoRecord& info) override;
};

// Every feature unit carries the chip's effects; the chip revision, read
// from the device descriptor, picks the masks.
class CUac1DeviceQ7K2
    : public CUac1ChipDeviceOf<Q7K2DeviceTag, Uac1DeviceTag, CUac1EffectChipDevice> {
public:
    using CUac1ChipDeviceOf::CUac1ChipDeviceOf;
    kernel::NTSTATUS ParseControlInterface(const usb::InterfaceDescriptor* interface,
                                           std::uint32_t length) override;

protected:
    kernel::NTSTATUS SetInfoMasks(IUsbDevice& usb, EndpointInfoRecord& info) override;
};

template <class Device>
kernel::NTSTATUS CreateChipDevice(INonDelegatingUnknown** out, kernel::IUnknown* outer,
                                  std::uint16_t vendorId, std::uint16_t productId) {
    return CreateDriverObject<Device>(out, outer, kernel::PoolType::NonPagedNx, Device::ObjectTag,
                                      vendorId, productId);
}
