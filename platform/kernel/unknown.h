// The base interface of every object reached through interfaces: identity
// and further interfaces by identifier, and a reference count. Interfaces are
// abstract classes that derive from it without virtual inheritance.
#pragma once

#include "platform/kernel/guid.h"
#include "platform/kernel/status.h"

#include <cstdint>

namespace kernel {

inline constexpr Guid IID_IUnknown = makeGuid("{00000000-0000-0000-C000-000000000046}");

class IUnknown {
public:
    // Stores the interface for the identifier with one reference added and
    // returns STATUS_SUCCESS, or stores null and returns STATUS_INVALID_PARAMETER.
    virtual NTSTATUS QueryInterface(const Guid& id, void** object) = 0;
    virtual std::uint32_t AddRef() = 0;
    virtual std::uint32_t Release() = 0;

protected:
    ~IUnknown() = default;
};

} // namespace kernel
