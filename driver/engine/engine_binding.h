// The faces through which the HAL binds nodes of the device model to the
// endpoints that carry them when it connects the graph. A capture endpoint
// hands itself to every entity that answers the control or the switch face
// (the control first); a render endpoint sets the bound value of every
// entity that answers the render face to 0.
#pragma once

#include "platform/kernel/status.h"
#include "platform/kernel/unknown.h"

#include <cstdint>

class IStreamEngine;

// The shape of both capture faces (IID_ICaptureBoundControl and
// IID_ICaptureBoundSwitch): a value the topology filter reads and writes, and
// the endpoint the node works for.
class ICaptureBound : public kernel::IUnknown {
public:
    virtual kernel::NTSTATUS SetBoundValue(std::uint32_t value) = 0;
    virtual kernel::NTSTATUS GetBoundValue(std::uint32_t* value) = 0;
    virtual kernel::NTSTATUS BindEngine(IStreamEngine* engine) = 0;

protected:
    ~ICaptureBound() = default;
};

class IRenderBoundControl : public kernel::IUnknown {
public:
    virtual kernel::NTSTATUS SetRenderBoundValue(std::uint32_t value) = 0;

protected:
    ~IRenderBoundControl() = default;
};
