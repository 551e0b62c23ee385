// The on/off items (mute, automatic gain, loudness and the plain on/off
// control): one byte per channel, channels numbered from 0.
#pragma once

#include "driver/engine/channel_item.h"

#include <cstdint>

// The per-channel bytes of an on/off item live in non-paged pool under this
// tag (the software mute node uses its own).
inline constexpr kernel::PoolTag OnOffValueTag = kernel::poolTag("MTag");

class IOnOffControl : public kernel::IUnknown {
public:
    virtual kernel::NTSTATUS GetOnOff(std::uint32_t channel, std::uint8_t* value) = 0;
    virtual kernel::NTSTATUS SetOnOff(std::uint32_t channel, std::uint8_t value) = 0;
    virtual kernel::NTSTATUS GetOnOffChannelCount(std::uint32_t* count) = 0;
    // The source id becomes the item's id list; the values start at 0.
    virtual kernel::NTSTATUS AllocateOnOff(std::uint32_t sourceId, std::uint32_t channels) = 0;

protected:
    ~IOnOffControl() = default;
};

class COnOffItem : public CForwardingUnknown<CChannelItem, IOnOffControl> {
public:
    COnOffItem(kernel::IUnknown* outer, std::uint32_t id, std::uint32_t type,
               kernel::PoolTag valueTag = OnOffValueTag)
        : CForwardingUnknown(outer, id, type), m_ValueTag(valueTag) {}

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    kernel::NTSTATUS GetOnOff(std::uint32_t channel, std::uint8_t* value) override;
    kernel::NTSTATUS SetOnOff(std::uint32_t channel, std::uint8_t value) override;
    kernel::NTSTATUS GetOnOffChannelCount(std::uint32_t* count) override {
        return ReportChannelCount(count);
    }
    kernel::NTSTATUS AllocateOnOff(std::uint32_t sourceId, std::uint32_t channels) override;

protected:
    // The value of channel 0, or 0 before the values exist; a single aligned
    // byte, read by the streaming path without a lock.
    std::uint8_t FirstValue() const {
        return m_Values.IsValid() ? *m_Values.Get<volatile std::uint8_t>() : 0;
    }

private:
    const kernel::PoolTag m_ValueTag;
};
