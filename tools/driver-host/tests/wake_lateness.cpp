#include "tools/driver-host/tests/wake_lateness.h"

#include "tools/driver-host/real_time_scheduling.h"

#include <algorithm>

namespace driverhost::testing {

std::string Lateness::describe() const {
    return std::to_string(lateWakes) + " of " + std::to_string(wakes) +
           " timed waits woke more than " + std::to_string(WakeLateness::allowance.count()) +
           " us late, the latest by " + std::to_string(worstMicroseconds) + " us";
}

WakeLateness::WakeLateness() : m_thread([this] { watch(); }) {}

WakeLateness::~WakeLateness() { stop(); }

Lateness WakeLateness::stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    return m_seen;
}

void WakeLateness::watch() {
    // The same precedence as the run's threads: where they are granted
    // real-time scheduling, so is this thread.
    const RealTimeScheduling scheduling;
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now();
    while (!m_stop) {
        deadline += std::chrono::milliseconds(1);
        std::this_thread::sleep_until(deadline);
        const auto late =
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - deadline);
        ++m_seen.wakes;
        if (late > allowance) ++m_seen.lateWakes;
        m_seen.worstMicroseconds = std::max<std::int64_t>(m_seen.worstMicroseconds, late.count());
        // After a late wake the next deadline is a millisecond from now, not
        // the missed ones one after the other.
        deadline = std::max(deadline, Clock::now() - std::chrono::milliseconds(1));
    }
}

CpuLoad::CpuLoad(unsigned threads) : m_rounds(new std::atomic<std::uint64_t>[threads]) {
    for (unsigned t = 0; t < threads; ++t) {
        m_rounds[t] = 0;
        m_threads.emplace_back([this, t] {
            while (!m_stop) m_rounds[t].fetch_add(1, std::memory_order_relaxed);
        });
    }
}

CpuLoad::~CpuLoad() {
    m_stop = true;
    for (std::thread& thread : m_threads) thread.join();
}

bool CpuLoad::ran() const {
    for (std::size_t t = 0; t < m_threads.size(); ++t)
        if (m_rounds[t] == 0) return false;
    return true;
}

} // namespace driverhost::testing
