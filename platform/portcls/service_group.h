// Service sinks and groups. A sink is something that wants to run when a
// stream has news (a buffer position reached); a group gathers sinks. A
// notification on a group never runs the sinks in the caller's context: it
// queues the group's deferred procedure call, which runs every member at
// dispatch level, once for however many notifications came before it ran.
#pragma once

#include "platform/kernel/guid.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unknown.h"

namespace portcls {

inline constexpr kernel::Guid IID_IServiceSink =
    kernel::makeGuid("{671003E9-C569-4E88-92DE-5F918568B83B}");
inline constexpr kernel::Guid IID_IServiceGroup =
    kernel::makeGuid("{78EB9283-E8C2-4A75-A36E-C34E82D1CEC4}");

class IServiceSink : public kernel::IUnknown {
public:
    virtual void RequestService() = 0;

protected:
    ~IServiceSink() = default;
};

class IServiceGroup : public IServiceSink {
public:
    // A member is held with a reference until it is removed or the group goes.
    // STATUS_INVALID_PARAMETER for null or a member already in the group.
    virtual kernel::NTSTATUS AddMember(IServiceSink* serviceSink) = 0;
    virtual void RemoveMember(IServiceSink* serviceSink) = 0;

protected:
    ~IServiceGroup() = default;
};

// A new group with no members and one reference. outerUnknown must be null
// (groups are not aggregated): STATUS_INVALID_PARAMETER otherwise.
kernel::NTSTATUS PcNewServiceGroup(IServiceGroup** serviceGroup, kernel::IUnknown* outerUnknown);

} // namespace portcls
