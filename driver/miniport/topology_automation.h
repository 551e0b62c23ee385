// The automation tables of the topology filter and of its nodes, one per
// family of nodes that answer the same properties.
#pragma once

#include "platform/portcls/descriptors.h"

namespace topology_automation {

extern const portcls::AutomationTable filter;

extern const portcls::AutomationTable mute;
extern const portcls::AutomationTable volume;
extern const portcls::AutomationTable multiplexer;
extern const portcls::AutomationTable plainSelector;
extern const portcls::AutomationTable automaticGain;
extern const portcls::AutomationTable loudness;
extern const portcls::AutomationTable tone; // bass, mid and treble: the node picks its own
extern const portcls::AutomationTable deviceSpecific; // with the node-name set
extern const portcls::AutomationTable typeList;
extern const portcls::AutomationTable parameters;
extern const portcls::AutomationTable effect;

} // namespace topology_automation
