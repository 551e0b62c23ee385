// The CPU time of the calling thread, so that other load on the machine does
// not count in a benchmark's per-packet figures.
#pragma once

#include <ctime>

inline double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}
