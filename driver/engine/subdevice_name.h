// The face both miniports of the device answer for the port driver's
// set-up: the name a subdevice is registered under, and the value that ties
// a wave filter to the topology filter (the wave miniport gives its
// streaming terminal's id, the topology miniport turns an id into the pin of
// its filter that carries it).
#pragma once

#include "driver/common/interface_ids.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unknown.h"

#include <cstdint>

class ISubdeviceName : public kernel::IUnknown {
public:
    // Wave miniport: value is ignored, result is the streaming terminal's id.
    // Topology miniport: value is a terminal id, result the pin that carries
    // it; STATUS_UNSUCCESSFUL when no pin does.
    virtual kernel::NTSTATUS GetConnection(std::uint32_t value, std::uint32_t* result) = 0;
    // The subdevice name, valid while the miniport lives.
    virtual kernel::NTSTATUS GetName(const char16_t** name) = 0;

protected:
    ~ISubdeviceName() = default;
};
