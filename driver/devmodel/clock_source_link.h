// How a release-2 terminal names the clock source that times it: the walk
// over the streaming interfaces asks the terminal a stream is linked to.
#pragma once

#include "driver/common/interface_ids.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unknown.h"

#include <cstdint>
#include <span>

class IClockSourceLink : public kernel::IUnknown {
public:
    virtual kernel::NTSTATUS GetClockSourceId(std::uint32_t* id) = 0;

protected:
    ~IClockSourceLink() = default;
};

// bCSourceID of a terminal descriptor of the subtype given, at the offset
// given; another subtype or no room: STATUS_INVALID_PARAMETER.
kernel::NTSTATUS ReadClockSourceId(std::span<const std::uint8_t> descriptor, std::uint8_t subtype,
                                   std::size_t at, std::uint32_t* id);
