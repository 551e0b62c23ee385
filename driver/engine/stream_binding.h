// The face of a node that follows a selector or a terminal-type switch: the
// owner tells it a change is coming (new and old value), then the value now
// current; the graph connection tells it which input of the owner it is.
#pragma once

#include "platform/kernel/status.h"
#include "platform/kernel/unknown.h"

#include <cstdint>

class IStreamBinding : public kernel::IUnknown {
public:
    virtual kernel::NTSTATUS OnValueChanging(std::uint32_t newValue, std::uint32_t oldValue) = 0;
    virtual kernel::NTSTATUS SetCurrentValue(std::uint32_t value) = 0;
    virtual kernel::NTSTATUS SetOwnValue(std::uint32_t value) = 0;

protected:
    ~IStreamBinding() = default;
};
