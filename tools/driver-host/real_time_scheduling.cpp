#include "tools/driver-host/real_time_scheduling.h"

#include <pthread.h>
#include <sched.h>

namespace driverhost {
namespace {

// Low in the real-time range: above every ordinary thread, below the
// system's own real-time work.
constexpr int audioPriority = 10;

} // namespace

RealTimeScheduling::RealTimeScheduling() {
    sched_param previous{};
    if (pthread_getschedparam(pthread_self(), &m_policy, &previous) != 0) return;
    m_priority = previous.sched_priority;
    // FIFO: the host's threads all get the same priority, so a thread that
    // yields while it waits for a spin lock lets the holder on its processor run.
    sched_param wanted{};
    wanted.sched_priority = audioPriority;
    m_granted = pthread_setschedparam(pthread_self(), SCHED_FIFO, &wanted) == 0;
}

RealTimeScheduling::~RealTimeScheduling() {
    if (!m_granted) return;
    sched_param previous{};
    previous.sched_priority = m_priority;
    pthread_setschedparam(pthread_self(), m_policy, &previous);
}

} // namespace driverhost
