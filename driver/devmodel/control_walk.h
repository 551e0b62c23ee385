// The walk over a function's AudioControl interface: one entity per
// terminal, unit and clock source, each checked against the descriptor
// table before it is built, then every entity's sources resolved from
// entity ids to the output-side node ids of those entities.
#pragma once

#include "driver/engine/audio_node.h"
#include "platform/usb/descriptors.h"

#include <cstdint>
#include <span>

class CUacDevice;

// Creates and parses the entity of a class-specific descriptor (exactly its
// bLength bytes) and returns it with the creator's reference:
// STATUS_INSUFFICIENT_RESOURCES when it cannot be had, the parser's failure
// (nothing kept), STATUS_UNSUCCESSFUL for a subtype the model has no class for.
using EntityFactory = kernel::NTSTATUS (*)(CUacDevice& device,
                                           std::span<const std::uint8_t> descriptor,
                                           IAudioNode** entity);

kernel::NTSTATUS CreateUac1Entity(CUacDevice& device, std::span<const std::uint8_t> descriptor,
                                  IAudioNode** entity);
kernel::NTSTATUS CreateUac2Entity(CUacDevice& device, std::span<const std::uint8_t> descriptor,
                                  IAudioNode** entity);

// A chip model's entity classes: the first row whose subtype and unit id
// (byte 3; 0 takes every id) match creates the entity, and a descriptor no
// row takes gets the release-1 class. A row's factory may still decline a
// descriptor (STATUS_NOT_SUPPORTED), which then falls to the rows after it.
struct ChipEntityRow {
    std::uint8_t subtype;
    std::uint8_t unitId;
    EntityFactory create;
};

// A chip model's control walk: its entity table and the id of the output
// terminal a vendor-0x1B1C device has as a speaker and plays as headphones
// (0: none).
struct ChipControlWalk {
    std::span<const ChipEntityRow> entities;
    std::uint8_t headphoneTerminalId;
};

// The interface descriptor and the bytes from it to the end of the
// configuration. A missing or foreign interface is STATUS_INVALID_PARAMETER,
// a descriptor shorter than its header or running past the bytes
// STATUS_UNSUCCESSFUL, one shorter than the table asks
// STATUS_INVALID_PARAMETER. The walk ends without error at the first
// descriptor that is not class-specific.
kernel::NTSTATUS WalkControlDescriptors(CUacDevice& device,
                                        const usb::InterfaceDescriptor* interface,
                                        std::uint32_t length, EntityFactory factory);
// The release-1 walk with the chip's classes and terminal rule, then the
// sources; the generic models' rule on terminals 16 and 64 does not apply.
kernel::NTSTATUS WalkChipControlInterface(CUacDevice& device,
                                          const usb::InterfaceDescriptor* interface,
                                          std::uint32_t length, const ChipControlWalk& walk);
// Gives every entity with items the output-side node ids of its sources.
kernel::NTSTATUS ResolveEntitySources(CUacDevice& device);
// The generic models' whole control walk: entities by release, sources,
// then the device rules that need the finished list.
kernel::NTSTATUS WalkControlInterface(CUacDevice& device, const usb::InterfaceDescriptor* interface,
                                      std::uint32_t length);
