// Creation of one entity from its class-specific descriptor, shared by the
// release factories and the chip models' tables.
#pragma once

#include "driver/devmodel/uac_device.h"

#include <cstdint>
#include <span>

// The parser is given the device twice over: as the USB face its requests
// go through and as the HAL its controls join. An extension unit is a mixer
// entity with the extension parser. The entity comes back with the
// creator's reference; nothing is kept on failure. What a model hands its
// own classes follows the HAL.
template <class Entity, bool Extension = false, class... Extra>
kernel::NTSTATUS CreateParsedEntity(CUacDevice& device, std::span<const std::uint8_t> descriptor,
                                    IAudioNode** result, const Extra&... extra) {
    auto* entity = new (kernel::PoolType::NonPagedNx, device.Tag()) Entity(nullptr);
    if (entity == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    entity->NonDelegatingAddRef();
    kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    if constexpr (Extension)
        status = entity->ParseExtension(descriptor, device.UsbDevice(), &device, extra...);
    else
        status = entity->Parse(descriptor, device.UsbDevice(), &device, extra...);
    if (!kernel::succeeded(status)) {
        entity->NonDelegatingRelease();
        return status;
    }
    *result = static_cast<IAudioNode*>(entity);
    return kernel::STATUS_SUCCESS;
}
