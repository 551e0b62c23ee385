// What the on/off and value items share: a channel count and a channel mode
// that decides how many of the channels are exposed. Modes 0, 1, 4 and 6
// expose every channel, any other mode at most two; what the modes stand for
// is set by the entities that write them.
#pragma once

#include "driver/engine/audio_node.h"
#include "platform/kernel/callback_object.h"

#include <cstddef>
#include <cstdint>

class IChannelMode : public kernel::IUnknown {
public:
    // The entities' controls reload their values for the new mode and
    // announce the change on the callback object when one is given.
    virtual kernel::NTSTATUS SetChannelMode(std::uint32_t mode,
                                            kernel::CallbackObject* callback) = 0;

protected:
    ~IChannelMode() = default;
};

// The number of channels a mode exposes of count.
std::uint32_t ExposedChannelCount(std::uint32_t mode, std::uint32_t count);

class CChannelItem : public CForwardingUnknown<CAudioNode, IChannelMode> {
public:
    using CForwardingUnknown::CForwardingUnknown;

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    // The item keeps the mode; the callback belongs to the entities' controls.
    kernel::NTSTATUS SetChannelMode(std::uint32_t mode, kernel::CallbackObject*) override {
        m_ulMode = mode;
        return kernel::STATUS_SUCCESS;
    }

    std::uint32_t GetChannelMode() const { return m_ulMode; }

protected:
    kernel::NTSTATUS ReportChannelCount(std::uint32_t* count) const;
    // A zeroed block of channels + 1 values of valueBytes each, and the
    // source id as the id list; the item is unchanged when either cannot be had.
    kernel::NTSTATUS AllocateValues(std::uint32_t sourceId, std::uint32_t channels,
                                    std::size_t valueBytes, kernel::PoolTag tag);

    std::uint32_t m_ulChannels = 0;
    CPoolBuffer m_Values;

private:
    std::uint32_t m_ulMode = 0;
};
