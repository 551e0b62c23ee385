// The identifier that names a property, an event or an interface on a
// kernel-streaming object: a set, an id within the set and the verb flags of
// the request. Property and event requests begin with it; node requests add
// the node, audio channel requests the channel. These records cross between
// user mode, the port layer and the driver, so they are pinned.
#pragma once

#include "platform/kernel/guid.h"

#include <cstddef>
#include <cstdint>

namespace ks {

struct Identifier {
    kernel::Guid Set;
    std::uint32_t Id;
    std::uint32_t Flags; // the verb of a request
};
static_assert(sizeof(Identifier) == 24 && offsetof(Identifier, Id) == 16 &&
              offsetof(Identifier, Flags) == 20);

using Property = Identifier;
using Event = Identifier;

// Verbs of a property request; an item of an automation table lists the ones
// it supports.
namespace property_verb {
inline constexpr std::uint32_t get = 0x00000001;
inline constexpr std::uint32_t set = 0x00000002;
inline constexpr std::uint32_t basicSupport = 0x00000200;
// Added to the verb when the request names a node.
inline constexpr std::uint32_t topology = 0x10000000;
} // namespace property_verb

// Verbs of an event request.
namespace event_verb {
inline constexpr std::uint32_t enable = 0x00000001;
inline constexpr std::uint32_t basicSupport = 0x00000200;
inline constexpr std::uint32_t topology = 0x10000000;
} // namespace event_verb

// A property of one node of a filter.
struct NodeProperty {
    Identifier Property;
    std::uint32_t NodeId;
    std::uint32_t Reserved;
};
static_assert(sizeof(NodeProperty) == 32 && offsetof(NodeProperty, NodeId) == 24);

// A property of one channel of a node; channel -1 stands for all channels.
struct NodePropertyAudioChannel {
    ks::NodeProperty NodeProperty;
    std::int32_t Channel;
    std::uint32_t Reserved;
};
static_assert(sizeof(NodePropertyAudioChannel) == 40 &&
              offsetof(NodePropertyAudioChannel, Channel) == 32);

// An event of one node of a filter.
struct NodeEvent {
    Identifier Event;
    std::uint32_t NodeId;
    std::uint32_t Reserved;
};
static_assert(sizeof(NodeEvent) == 32 && offsetof(NodeEvent, NodeId) == 24);

// The device control that carries a property request from user mode to a
// filter opened as a file: the input is the property identifier (a
// NodeProperty when the verb names a node) followed by the instance, the
// output the value. Device type 0x2F, function 0, buffered, any access.
inline constexpr std::uint32_t IOCTL_KS_PROPERTY = 0x002F0000;

inline constexpr kernel::Guid GUID_NULL{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

} // namespace ks
