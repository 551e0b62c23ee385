// Two device-specific controls that the topology filter serves but that no
// item of the engine answers itself; the entities of a chip model implement
// them: a value with a range of its own (item type 17) and a block of bytes
// named by an identifier (item type 24). Both are reached at passive level.
#pragma once

#include "platform/kernel/guid.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unknown.h"

#include <cstdint>

// Item type codes of the controls above and of the other device-specific
// nodes the topology filter shows.
namespace item_type {
inline constexpr std::uint32_t captureBoundControl = 15;
inline constexpr std::uint32_t rangedValue = 17;
inline constexpr std::uint32_t captureBoundSwitch = 19;
inline constexpr std::uint32_t deviceSwitch = 22;
inline constexpr std::uint32_t controlBlock = 24;
} // namespace item_type

class IRangedValueControl : public kernel::IUnknown {
public:
    virtual kernel::NTSTATUS GetRangedValue(std::uint32_t* value) = 0;
    virtual kernel::NTSTATUS SetRangedValue(std::uint32_t value) = 0;
    virtual kernel::NTSTATUS GetValueRange(std::uint32_t* maximum, std::uint32_t* minimum) = 0;

protected:
    ~IRangedValueControl() = default;
};

class IControlBlock : public kernel::IUnknown {
public:
    virtual kernel::NTSTATUS GetBlockIdentifier(kernel::Guid* identifier) = 0;
    // Fills at most bytes of the block; written gets how many it filled.
    virtual kernel::NTSTATUS GetBlock(std::uint32_t bytes, void* block, std::uint32_t* written) = 0;
    // Takes the bytes given; a block of the wrong size is the control's to refuse.
    virtual kernel::NTSTATUS SetBlock(std::uint32_t bytes, const void* block) = 0;

protected:
    ~IControlBlock() = default;
};
