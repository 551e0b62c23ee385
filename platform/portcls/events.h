// The event list of a port. An event request that enables an event hands
// the miniport an entry; the miniport puts it on its port's list with
// AddEventToEventList, and later raises every matching entry with
// GenerateEventList. Whoever enabled the event sees the raise in the
// entry's count and, when it gave one, its kernel event set.
#pragma once

#include "platform/kernel/event.h"
#include "platform/kernel/guid.h"
#include "platform/kernel/unknown.h"
#include "platform/portcls/descriptors.h"

#include <atomic>
#include <cstdint>

namespace portcls {

inline constexpr kernel::Guid IID_IPortEvents =
    kernel::makeGuid("{A80F29C4-5498-11D2-95D9-00C04FB925D3}");

struct EventEntry {
    const portcls::EventItem* EventItem;
    std::uint32_t NodeId; // nodeNone for an event of the filter or a pin
    std::uint32_t PinId;  // nodeNone for an event of the filter or a node
    // Raises so far; set by the port layer.
    std::atomic<std::uint32_t> Signalled{0};
    kernel::Event* Notify = nullptr; // set on each raise when given
};

class IPortEvents : public kernel::IUnknown {
public:
    // Puts the entry on the list until the event is disabled. Up to dispatch level.
    virtual void AddEventToEventList(EventEntry* eventEntry) = 0;
    // Raises every listed entry of the set and id; a pin event only the
    // entries of that pin, a node event only those of that node. Up to
    // dispatch level.
    virtual void GenerateEventList(const kernel::Guid* set, std::uint32_t eventId, bool pinEvent,
                                   std::uint32_t pinId, bool nodeEvent, std::uint32_t nodeId) = 0;

protected:
    ~IPortEvents() = default;
};

} // namespace portcls
