// What a run of the whole system may not leave behind once its system is
// gone: system threads, callback registrations, the port layer's adapter
// devices and subdevices, enabled device interfaces, user mappings and
// handles, and pool blocks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace entry_test {

// Where things stood before the run.
struct Baseline {
    std::uint64_t poolSerial;
    std::size_t userHandles;
    std::size_t threads;
};

Baseline TakeBaseline();

// A test failure for each thing left since the baseline (pool blocks listed
// by tag and size), naming the moment.
void ExpectNothingLeft(const Baseline& before, const char* when);

// The same for pool blocks alone.
void ExpectNoBlocksSince(std::uint64_t serial, const char* when);

} // namespace entry_test
