// Whether the machine kept up with the wall clock while a test ran on it.
// A thread of the test's own waits for one deadline a millisecond after the
// other, at the precedence the run's threads are given, and notes how late
// each wake came against its deadline. A loaded machine wakes it late; a
// machine that kept up wakes it on time, and then anything the run lost is a
// fault of the run, not of the machine.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace driverhost::testing {

// What the waits saw, in microseconds.
struct Lateness {
    std::uint64_t wakes = 0;
    std::uint64_t lateWakes = 0; // later than the allowance
    std::int64_t worstMicroseconds = 0;
    std::string describe() const;
};

class WakeLateness {
public:
    // Later than this a wake lets the bus's transfers in flight run out.
    static constexpr std::chrono::microseconds allowance{2000};

    WakeLateness();
    ~WakeLateness(); // stops the waits
    WakeLateness(const WakeLateness&) = delete;
    WakeLateness& operator=(const WakeLateness&) = delete;

    // Stops the waits and returns what they saw.
    Lateness stop();

private:
    void watch();

    std::atomic<bool> m_stop{false};
    Lateness m_seen;
    std::thread m_thread;
};

// Busy loops on other threads until destroyed: a machine loaded to `threads`.
class CpuLoad {
public:
    explicit CpuLoad(unsigned threads);
    ~CpuLoad();
    CpuLoad(const CpuLoad&) = delete;
    CpuLoad& operator=(const CpuLoad&) = delete;

    // The loops ran (each counted at least one round).
    bool ran() const;

private:
    std::atomic<bool> m_stop{false};
    std::unique_ptr<std::atomic<std::uint64_t>[]> m_rounds;
    std::vector<std::thread> m_threads;
};

} // namespace driverhost::testing
