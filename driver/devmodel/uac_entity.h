// The base of every unit, terminal and clock source of a device's
// AudioControl interface. An entity keeps a copy of its class-specific
// descriptor (its id is byte 3, its kind the subtype), the ids of the
// entities that feed it, and an ordered list of control items. An item added
// goes to the front: the front item is the entity's input side, the back
// item its output side, and ChainItems links them front to back.
#pragma once

#include "driver/engine/audio_hal.h"
#include "driver/engine/audio_node.h"
#include "platform/kernel/pool.h"
#include "platform/usb/audio_descriptors.h"

#include <cstdint>
#include <span>

class CList;

// Descriptor copies and item lists of entities.
inline constexpr kernel::PoolTag EntityTag = kernel::poolTag("AUAT");

// What the device classes ask of every entity once the walk has built it.
class IUacEntity : public kernel::IUnknown {
public:
    // The device reported a change of one of the entity's controls: re-read
    // it and name the item that changed.
    virtual kernel::NTSTATUS OnDeviceChange(std::uint8_t selector, std::uint8_t channel,
                                            std::uint32_t* nodeId) = 0;
    // Units whose controls are made after the walk (mixer units).
    virtual kernel::NTSTATUS CreateControls(CAudioHal* hal) = 0;
    virtual kernel::NTSTATUS GetOutputNodeId(std::uint32_t* nodeId) = 0;
    // The output-side node ids of the sources, in descriptor order.
    virtual kernel::NTSTATUS SetSourceIds(std::uint32_t count, const std::uint32_t* ids) = 0;

protected:
    ~IUacEntity() = default;
};

class CUacEntity : public CForwardingUnknown<CAudioNode, IUacEntity> {
public:
    explicit CUacEntity(kernel::IUnknown* outer) : CForwardingUnknown(outer, 0, 0) {}
    ~CUacEntity() override;

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    std::uint32_t GetId() override { return m_ulEntityId; }
    std::uint32_t GetType() override { return m_ulEntityType; }

    // Copies the descriptor at the start of bytes (which run to the end of
    // the configuration) and creates the item list. A bLength below 2 (3
    // for a class-specific descriptor) or past the end: STATUS_UNSUCCESSFUL;
    // no device: STATUS_INVALID_PARAMETER. Nothing is kept on failure.
    kernel::NTSTATUS StoreDescriptor(std::span<const std::uint8_t> bytes, kernel::IUnknown* device);

    // Adds a reference and puts the item at the front.
    kernel::NTSTATUS AddItem(IAudioNode* item);
    kernel::NTSTATUS GetItemCount(std::uint32_t* count) const;
    // The item at the index from the front, no reference added; null past
    // the end.
    kernel::NTSTATUS GetItemAt(std::uint32_t index, IAudioNode** item) const;
    // Each item takes the one before it as its source; see the .cpp.
    kernel::NTSTATUS ChainItems();
    void ReleaseItems();

    kernel::NTSTATUS GetOutputNodeId(std::uint32_t* nodeId) override;
    kernel::NTSTATUS SetSourceIds(std::uint32_t count, const std::uint32_t* ids) override;
    // Answers for an entity of exactly one item with that item's id.
    kernel::NTSTATUS OnDeviceChange(std::uint8_t selector, std::uint8_t channel,
                                    std::uint32_t* nodeId) override;
    kernel::NTSTATUS CreateControls(CAudioHal*) override { return kernel::STATUS_NOT_IMPLEMENTED; }

protected:
    // What every entity's parser does: the descriptor checked against its
    // release's rules and copied, the controls created, then chained.
    kernel::NTSTATUS ParseEntity(std::span<const std::uint8_t> bytes, kernel::IUnknown* device,
                                 CAudioHal* hal, usb::AudioRelease release, std::uint8_t subtype);
    // The stored descriptor; empty before StoreDescriptor.
    std::span<const std::uint8_t> Descriptor() const {
        return {m_Descriptor.Get<const std::uint8_t>(), m_Descriptor.Size()};
    }
    kernel::IUnknown* Device() const { return m_pDevice; }
    // The descriptor's source list, bNrInPins at countAt and the ids after
    // it, as the entity's sources; the descriptor rules checked its length.
    kernel::NTSTATUS StoreSourceList(std::size_t countAt);
    bool HasItemList() const { return m_pItems != nullptr; }
    // The first item of that type, no reference added; null when none.
    IAudioNode* FindItemOfType(std::uint32_t type) const;

private:
    CPoolBuffer m_Descriptor;
    CList* m_pItems = nullptr;
    kernel::IUnknown* m_pDevice = nullptr; // not counted: the device outlives its entities
    std::uint32_t m_ulEntityId = 0;
    std::uint32_t m_ulEntityType = 0;
};

// What OnDeviceChange leaves in its node id when it succeeds without naming
// an item: there is no change to announce.
inline constexpr std::uint32_t NoChangedNode = 0xFFFFFFFF;

// Makes entry 0 of a node's id list the id given, keeping the others; an
// empty list becomes the one id.
kernel::NTSTATUS WriteFirstSource(IAudioNode& node, std::uint32_t id);

// Checks the class-specific AudioControl descriptor at the start of bytes
// (which run to the end of the configuration) before any field is read:
// STATUS_UNSUCCESSFUL when its bLength is below its header or runs past the
// end; STATUS_INVALID_PARAMETER for another type or subtype, or a length
// short of what its fixed and variable parts need.
kernel::NTSTATUS CheckEntityDescriptor(std::span<const std::uint8_t> bytes,
                                       usb::AudioRelease release, std::uint8_t subtype);
