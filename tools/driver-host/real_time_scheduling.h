// The precedence a system gives its audio engine and the driver's deferred
// calls over ordinary work, asked of the operating system for a run on the
// real clock: the calling thread is put under real-time scheduling, and the
// threads it starts from then on (the clock's service thread that runs the
// deferred calls, the driver's workers, the system's calls) inherit it.
// Without it a busy machine may keep those threads waiting for longer than
// the transfers in flight last: the device misses packets, the driver stops
// and restarts its stream, and the run's end comes late. An ordinary user
// may not be granted it; the run then goes on at ordinary precedence.
#pragma once

namespace driverhost {

class RealTimeScheduling {
public:
    RealTimeScheduling();
    ~RealTimeScheduling(); // the calling thread's own scheduling again
    RealTimeScheduling(const RealTimeScheduling&) = delete;
    RealTimeScheduling& operator=(const RealTimeScheduling&) = delete;

    bool granted() const { return m_granted; }

private:
    int m_policy = 0;
    int m_priority = 0;
    bool m_granted = false;
};

} // namespace driverhost
