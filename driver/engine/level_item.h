// The value items (volume, bass, mid, treble and the plain value control):
// one signed 32-bit value per index 0 to the channel count, and the range
// the device gives. Values are not checked against the range; callers clamp.
#pragma once

#include "driver/engine/channel_item.h"

#include <cstdint>

inline constexpr kernel::PoolTag LevelValueTag = kernel::poolTag("VTag");

class ILevelControl : public kernel::IUnknown {
public:
    virtual kernel::NTSTATUS GetLevel(std::uint32_t index, std::int32_t* value) = 0;
    virtual kernel::NTSTATUS SetLevel(std::uint32_t index, std::int32_t value) = 0;
    // In the order AllocateLevel received them.
    virtual kernel::NTSTATUS GetLevelRange(std::int32_t* maximum, std::int32_t* minimum,
                                           std::int32_t* step) = 0;
    virtual kernel::NTSTATUS GetLevelChannelCount(std::uint32_t* count) = 0;
    virtual kernel::NTSTATUS AllocateLevel(std::uint32_t sourceId, std::uint32_t channels,
                                           std::int32_t maximum, std::int32_t minimum,
                                           std::int32_t step) = 0;

protected:
    ~ILevelControl() = default;
};

class CLevelItem : public CForwardingUnknown<CChannelItem, ILevelControl> {
public:
    using CForwardingUnknown::CForwardingUnknown;

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    kernel::NTSTATUS GetLevel(std::uint32_t index, std::int32_t* value) override;
    kernel::NTSTATUS SetLevel(std::uint32_t index, std::int32_t value) override;
    kernel::NTSTATUS GetLevelRange(std::int32_t* maximum, std::int32_t* minimum,
                                   std::int32_t* step) override;
    kernel::NTSTATUS GetLevelChannelCount(std::uint32_t* count) override {
        return ReportChannelCount(count);
    }
    kernel::NTSTATUS AllocateLevel(std::uint32_t sourceId, std::uint32_t channels,
                                   std::int32_t maximum, std::int32_t minimum,
                                   std::int32_t step) override;

private:
    std::int32_t m_lMaximum = 0;
    std::int32_t m_lMinimum = 0;
    std::int32_t m_lStep = 0;
};
