// The message that announces a changed control value: sent through a callback
// object as the first argument (the second is 0) by whoever changed a value,
// read by the topology filter, which raises its control-change event on the
// node of that id. Callable up to dispatch level.
#pragma once

#include "platform/kernel/callback_object.h"

#include <cstdint>

struct ControlChangeMessage {
    std::uint32_t kind;   // 1: a control changed
    std::uint32_t marker; // 1
    std::uint32_t nodeId; // the entity or control whose value changed
    std::uint32_t reserved;
};
static_assert(sizeof(ControlChangeMessage) == 16);

inline constexpr std::uint32_t ControlChangeKind = 1;

// Whether a message received on the callback object is a control change.
inline bool IsControlChange(const ControlChangeMessage& message) {
    return message.kind == ControlChangeKind && message.marker == 1;
}

void NotifyControlChange(kernel::CallbackObject& callback, std::uint32_t nodeId);
