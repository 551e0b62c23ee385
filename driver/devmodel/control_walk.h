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

// The interface descriptor and the bytes from it to the end of the
// configuration. A missing or foreign interface is STATUS_INVALID_PARAMETER,
// a descriptor shorter than its header or running past the bytes
// STATUS_UNSUCCESSFUL, one shorter than the table asks
// STATUS_INVALID_PARAMETER. The walk ends without error at the first
// descriptor that is not class-specific.
kernel::NTSTATUS WalkControlDescriptors(CUacDevice& device,
                                        const usb::InterfaceDescriptor* interface,
                                        std::uint32_t length, EntityFactory factory);
// Gives every entity with items the output-side node ids of its sources.
kernel::NTSTATUS ResolveEntitySources(CUacDevice& device);
// The generic models' whole control walk: entities by release, sources,
// then the device rules that need the finished list.
kernel::NTSTATUS WalkControlInterface(CUacDevice& device, const usb::InterfaceDescriptor* interface,
                                      std::uint32_t length);
