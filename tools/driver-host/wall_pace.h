// Paces the simulated system's frames by the wall clock: in real time each
// bus frame begins once its millisecond has passed since the pace started;
// in lockstep frames follow each other at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

namespace driverhost {

class WallPace {
public:
    explicit WallPace(bool realTime)
        : m_realTime(realTime), m_start(std::chrono::steady_clock::now()) {}

    // Waits for the beginning of the next frame.
    void next() {
        if (m_realTime) std::this_thread::sleep_until(m_start + std::chrono::milliseconds(m_frame));
        ++m_frame;
    }

private:
    const bool m_realTime;
    const std::chrono::steady_clock::time_point m_start;
    std::uint64_t m_frame = 0;
};

} // namespace driverhost
