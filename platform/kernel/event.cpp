#include "platform/kernel/event.h"

#include "platform/kernel/detail/dispatcher.h"

namespace kernel {

Event::Event(EventType type, bool signalled) : type_(type), signalled_(signalled) {}

bool Event::set() {
    auto lock = detail::lockDispatcher();
    const bool previous = signalled_;
    signalled_ = true;
    detail::wakeWaiters();
    return previous;
}

bool Event::reset() {
    auto lock = detail::lockDispatcher();
    const bool previous = signalled_;
    signalled_ = false;
    return previous;
}

bool Event::readState() const {
    auto lock = detail::lockDispatcher();
    return signalled_;
}

bool Event::signalledFor(const void*) const { return signalled_; }

void Event::satisfyWait(const void*) {
    if (type_ == EventType::Synchronization) signalled_ = false;
}

} // namespace kernel
