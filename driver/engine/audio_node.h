// The base of everything in the device model's graph: entities, the control
// items that cache a control's values, and the software DSP nodes. A node has
// an id, a kind (an item's type code, an entity's descriptor subtype) and a
// list of ids (an entity's sources, an item's source or input table).
#pragma once

#include "driver/common/interface_ids.h"
#include "driver/common/object_model.h"
#include "driver/common/pool_buffer.h"
#include "platform/kernel/status.h"

#include <cstdint>
#include <type_traits>

// Item type codes: the kind of a control item.
namespace item_type {
inline constexpr std::uint32_t inputTerminal = 0;
inline constexpr std::uint32_t outputTerminal = 1;
inline constexpr std::uint32_t mute = 2;
inline constexpr std::uint32_t volume = 3;
inline constexpr std::uint32_t selector = 4;
inline constexpr std::uint32_t mixer = 5;
inline constexpr std::uint32_t automaticGain = 6;
inline constexpr std::uint32_t loudness = 7;
inline constexpr std::uint32_t level = 8;
inline constexpr std::uint32_t bass = 9;
inline constexpr std::uint32_t mid = 10;
inline constexpr std::uint32_t treble = 11;
inline constexpr std::uint32_t clockRates = 12;
inline constexpr std::uint32_t terminalTypeSelection = 13;
inline constexpr std::uint32_t onOff = 18;
inline constexpr std::uint32_t effectParameters = 20;
inline constexpr std::uint32_t effectRecord = 23;
} // namespace item_type

// A derived class's NonDelegatingQueryInterface: the base's answer when the
// base knows the id, else the class's own face for its own id, else the
// base's refusal.
template <class Face>
kernel::NTSTATUS AnswerAfterBase(kernel::NTSTATUS baseStatus, Face* face, const kernel::Guid& id,
                                 const kernel::Guid& ownId, void** object) {
    if (kernel::succeeded(baseStatus) || object == nullptr || !IsEqualId(id, ownId))
        return baseStatus;
    return ReturnInterface(face, object);
}

// Stores a value in an operation's out argument; refused for a null one.
template <class Value>
kernel::NTSTATUS ReportValue(const std::type_identity_t<Value>& value, Value* out) {
    if (out == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *out = value;
    return kernel::STATUS_SUCCESS;
}

// Id lists live in paged pool under this tag.
inline constexpr kernel::PoolTag NodeIdListTag = kernel::poolTag("Topo");

class IAudioNode : public kernel::IUnknown {
public:
    virtual std::uint32_t GetId() = 0;
    virtual std::uint32_t GetType() = 0;
    virtual std::uint32_t GetIdCount() = 0;
    // count is in/out: lowered to the stored count when larger; that many
    // ids are copied.
    virtual kernel::NTSTATUS GetIdList(std::uint32_t* count, std::uint32_t* ids) = 0;
    // Writes the cached values to the device; reads them back from it.
    virtual kernel::NTSTATUS ApplyToDevice() = 0;
    virtual kernel::NTSTATUS ReadFromDevice() = 0;
    virtual kernel::NTSTATUS Start() = 0;
    virtual kernel::NTSTATUS Stop() = 0;
    // Ids and a count: a copy is stored. No ids and no count: the list is
    // cleared. No ids with a count: refused.
    virtual kernel::NTSTATUS SetIdList(std::uint32_t count, const std::uint32_t* ids) = 0;

protected:
    ~IAudioNode() = default;
};

class CAudioNode : public CForwardingUnknown<CUnknown, IAudioNode> {
public:
    CAudioNode(kernel::IUnknown* outer, std::uint32_t id, std::uint32_t type)
        : CForwardingUnknown(outer), m_ulId(id), m_ulType(type) {}

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    std::uint32_t GetId() override { return m_ulId; }
    std::uint32_t GetType() override { return m_ulType; }
    std::uint32_t GetIdCount() override { return m_ulIdCount; }
    kernel::NTSTATUS GetIdList(std::uint32_t* count, std::uint32_t* ids) override;
    kernel::NTSTATUS ApplyToDevice() override { return kernel::STATUS_SUCCESS; }
    kernel::NTSTATUS ReadFromDevice() override { return kernel::STATUS_SUCCESS; }
    kernel::NTSTATUS Start() override { return kernel::STATUS_SUCCESS; }
    kernel::NTSTATUS Stop() override { return kernel::STATUS_SUCCESS; }
    kernel::NTSTATUS SetIdList(std::uint32_t count, const std::uint32_t* ids) override;

protected:
    // A list of count zero ids: an input table to be filled later.
    kernel::NTSTATUS SetZeroIdList(std::uint32_t count);
    // The list as the single id given.
    kernel::NTSTATUS SetSingleId(std::uint32_t id) { return SetIdList(1, &id); }
    // Entry index of the list, or 0 beyond it.
    std::uint32_t IdAt(std::uint32_t index) const;

private:
    const std::uint32_t m_ulId;
    const std::uint32_t m_ulType;
    std::uint32_t m_ulIdCount = 0;
    CPoolBuffer m_IdList;
};
