// The handlers behind the topology filter's automation tables. Each finds
// the entity of the node (or the pin) the request names, asks it for the
// control face that fits the property, and replies in the property's layout.
#pragma once

#include "platform/portcls/descriptors.h"

namespace topology_handlers {

// Filter: the interface version, jack descriptions and terminal records.
kernel::NTSTATUS Version(portcls::PropertyRequest* request);
kernel::NTSTATUS JackDescription(portcls::PropertyRequest* request);
kernel::NTSTATUS JackDescription2(portcls::PropertyRequest* request);
kernel::NTSTATUS TerminalRecord(portcls::PropertyRequest* request);

// Nodes.
kernel::NTSTATUS Level(portcls::PropertyRequest* request);
kernel::NTSTATUS OnOff(portcls::PropertyRequest* request);
kernel::NTSTATUS Selector(portcls::PropertyRequest* request);
kernel::NTSTATUS NodeName(portcls::PropertyRequest* request);
// Device-specific properties and the private node sets, by the node's item type.
kernel::NTSTATUS DeviceSpecific(portcls::PropertyRequest* request);

kernel::NTSTATUS ControlChangeEvent(portcls::EventRequest* request);

} // namespace topology_handlers
