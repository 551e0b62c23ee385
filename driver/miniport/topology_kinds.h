// What the topology filter makes of an entity: a terminal's endpoint type
// gives its pin's category and name, a control item's type code its node's
// type, name and automation table.
#pragma once

#include "platform/kernel/guid.h"
#include "platform/portcls/descriptors.h"

#include <cstdint>

struct TopologyPinKind {
    const kernel::Guid* category;
    const kernel::Guid* name;      // a fixed name; null: none (or from the setting)
    const char16_t* nameSetting;   // the base of the setting that names the pin; null: none
    const kernel::Guid* unsetName; // the name when the setting cannot be read; null: none
};

// The pin of an endpoint type (0 to 17) on the output or input side, as the
// running system shows it; false for a type without a pin.
bool FindPinKind(std::uint32_t endpointType, bool output, TopologyPinKind* kind);

enum class NodeNameFrom {
    Table,        // the name below (null: none)
    EffectRecord, // the identifier of the entity's effect record
    ControlBlock, // the identifier of the entity's control block
};

struct TopologyNodeKind {
    const kernel::Guid* type;
    const kernel::Guid* name;
    NodeNameFrom nameFrom;
    // What the node-name set answers; null: the node has no name property.
    const kernel::Guid* identifier;
    const portcls::AutomationTable* automation; // null: no properties
};

// The node of an item type code; a selector with fewer than two sources is
// no multiplexer. Null for a code without a node.
const TopologyNodeKind* FindNodeKind(std::uint32_t typeCode, std::uint32_t sources);
