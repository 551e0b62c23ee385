// Events that a user-mode client creates (user_process.h) and hands to a
// driver by handle, in the buffer of an I/O control. The driver looks the
// handle up while it carries out the client's request, keeps a reference,
// sets the event whenever the client is to wake, and gives the reference back
// when done; the client closing its handle does not take the event away.
#pragma once

#include "platform/kernel/event.h"
#include "platform/kernel/object.h"
#include "platform/kernel/status.h"

#include <cstdint>

namespace io {

class EventObject final : public kernel::Object {
public:
    kernel::Event& event() { return event_; }

private:
    friend struct EventObjectAccess;
    EventObject(kernel::EventType type, bool signalled) : event_(type, signalled) {}
    ~EventObject() override = default;

    kernel::Event event_;
};

// Looks the handle up among the events of the current user process (the one
// whose request this thread carries out) and gives the caller a reference
// (kernel::dereferenceObject). STATUS_INVALID_HANDLE when the thread carries
// out no user request or the handle is not one of that process's events.
// Passive level.
kernel::NTSTATUS referenceEventByHandle(std::uint32_t handle, EventObject** event);

} // namespace io
