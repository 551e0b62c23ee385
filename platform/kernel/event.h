// Events. A notification event stays signalled until cleared and releases
// every waiter; a synchronization event releases one waiter and clears itself.
#pragma once

#include "platform/kernel/dispatcher.h"

namespace kernel {

enum class EventType {
    Notification,
    Synchronization,
};

class Event final : public DispatcherObject {
public:
    Event(EventType type, bool signalled);

    // Each returns whether the event was signalled before.
    bool set();
    bool reset();
    void clear() { reset(); }
    bool readState() const;

    EventType type() const { return type_; }

private:
    bool signalledFor(const void* thread) const override;
    void satisfyWait(const void* thread) override;

    const EventType type_;
    bool signalled_; // under the dispatcher lock
};

} // namespace kernel
