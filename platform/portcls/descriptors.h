// How a miniport describes its filter to the port: pins with their data
// ranges, nodes, the connections between them, the filter's categories, and
// automation tables (property items with the verbs they take and their
// handler, event items) on the filter, on pins and on nodes. The miniport
// owns every table; the port only reads them, for as long as the miniport
// lives. Requests reach handlers as PropertyRequest and EventRequest.
#pragma once

#include "platform/kernel/guid.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unknown.h"
#include "platform/ks/data_format.h"
#include "platform/ks/identifier.h"
#include "platform/ks/topology_ids.h"

#include <cstdint>

namespace portcls {

struct PropertyItem;
struct EventItem;
struct EventEntry;

// A property request as a handler sees it.
struct PropertyRequest {
    kernel::IUnknown* MajorTarget; // the miniport
    kernel::IUnknown* MinorTarget; // the stream, for a pin property; else null
    std::uint32_t Node;            // nodeNone for a filter or pin property
    const portcls::PropertyItem* PropertyItem;
    std::uint32_t Verb; // one of ks::property_verb get, set, basicSupport
    std::uint32_t InstanceSize;
    void* Instance; // what follows the property identifier (channel, pin, ...)
    // In: the room of Value. Out: the bytes the handler wrote, or needs.
    std::uint32_t ValueSize;
    void* Value;
};

using PropertyHandler = kernel::NTSTATUS (*)(PropertyRequest* request);

struct PropertyItem {
    const kernel::Guid* Set;
    std::uint32_t Id;
    std::uint32_t Flags; // the verbs it takes: ks::property_verb get, set, basicSupport
    PropertyHandler Handler;
};

// Verbs of an event request.
namespace event_verb {
inline constexpr std::uint32_t add = 1;     // enable the event for the entry
inline constexpr std::uint32_t remove = 2;  // disable it
inline constexpr std::uint32_t support = 4; // may the event be enabled
} // namespace event_verb

struct EventRequest {
    kernel::IUnknown* MajorTarget;
    kernel::IUnknown* MinorTarget;
    std::uint32_t Node;
    const portcls::EventItem* EventItem;
    portcls::EventEntry* EventEntry; // what the port hands IPortEvents::AddEventToEventList
    std::uint32_t Verb;
};

using EventHandler = kernel::NTSTATUS (*)(EventRequest* request);

struct EventItem {
    const kernel::Guid* Set;
    std::uint32_t Id;
    std::uint32_t Flags; // ks::event_verb enable, basicSupport
    EventHandler Handler;
};

struct AutomationTable {
    std::uint32_t PropertyItemSize; // sizeof(PropertyItem)
    std::uint32_t PropertyCount;
    const PropertyItem* Properties;
    std::uint32_t EventItemSize; // sizeof(EventItem)
    std::uint32_t EventCount;
    const EventItem* Events;
};

// One entry of a pin's range table. A range whose flags carry
// ks::data_flags::attributes is followed by an entry that is its attribute
// list.
struct AttributeList {
    std::uint32_t Count;
    const ks::Attribute* const* Attributes;
};
union DataRangeEntry {
    const ks::DataRange* Range;
    const AttributeList* Attributes;
};

struct PinDescriptor {
    std::uint32_t MaxGlobalInstanceCount; // 0: no instances (a bridge pin)
    std::uint32_t MaxFilterInstanceCount;
    std::uint32_t MinFilterInstanceCount;
    const portcls::AutomationTable* AutomationTable;
    std::uint32_t InterfacesCount;
    const ks::Identifier* Interfaces;
    std::uint32_t DataRangesCount; // entries of the range table, attribute lists included
    const DataRangeEntry* DataRanges;
    ks::PinDataFlow DataFlow;
    ks::PinCommunication Communication;
    const kernel::Guid* Category;
    const kernel::Guid* Name; // null: none
};

struct NodeDescriptor {
    std::uint32_t Flags;
    const portcls::AutomationTable* AutomationTable;
    const kernel::Guid* Type;
    const kernel::Guid* Name; // null: none
};

// The filter itself, in place of a node, in a connection.
inline constexpr std::uint32_t nodeNone = 0xFFFFFFFFu;

struct ConnectionDescriptor {
    std::uint32_t FromNode; // nodeNone: the filter's pin FromNodePin
    std::uint32_t FromNodePin;
    std::uint32_t ToNode;
    std::uint32_t ToNodePin;
};
static_assert(sizeof(ConnectionDescriptor) == 16);

struct FilterDescriptor {
    std::uint32_t Version;
    const portcls::AutomationTable* AutomationTable;
    std::uint32_t PinSize; // sizeof(PinDescriptor)
    std::uint32_t PinCount;
    const PinDescriptor* Pins;
    std::uint32_t NodeSize; // sizeof(NodeDescriptor)
    std::uint32_t NodeCount;
    const NodeDescriptor* Nodes;
    std::uint32_t ConnectionCount;
    const ConnectionDescriptor* Connections;
    std::uint32_t CategoryCount;
    const kernel::Guid* Categories;
};

} // namespace portcls
