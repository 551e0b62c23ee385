// What the release-1 models of the maker's chips that keep the generic
// walks' shape share: the chip sets its words of the information record
// ("masks"), then both walks and AfterParse run, the first failure ending
// the parse. Such a model answers no device-model interface, so the adapter
// keeps none.
#pragma once

#include "driver/devmodel/uac1_device.h"

#include <cstdint>

class CUac1ChipDevice : public CUac1Device {
public:
    using CUac1Device::CUac1Device;

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override {
        return CAudioHal::NonDelegatingQueryInterface(id, object);
    }
    kernel::NTSTATUS ParseDescriptors() override;

protected:
    // The chip's words, set on a cleared record; a failure ends the parse.
    virtual kernel::NTSTATUS SetInfoMasks(IUsbDevice& usb, EndpointInfoRecord& info) = 0;
};

// The shape the chip models without state of their own share: made from the
// device's ids, building their entities under `EntityTag`, the model itself
// made under `DeviceTag` (CreateChipDevice, chip_devices.h).
template <kernel::PoolTag DeviceTag, kernel::PoolTag EntityTag = DeviceTag,
          class Base = CUac1ChipDevice>
class CUac1ChipDeviceOf : public Base {
public:
    static constexpr kernel::PoolTag ObjectTag = DeviceTag;

    CUac1ChipDeviceOf(kernel::IUnknown* outer, std::uint16_t vendorId, std::uint16_t productId)
        : Base(outer, vendorId, productId, EntityTag) {}
};
