// How often a change has woken a thread blocked in a wait of this layer (the
// layer's own threads included) since the program started. A change wakes
// only the threads whose wait it may end; tests check that with this count.
#pragma once

#include <cstdint>

namespace kernel {

std::uint64_t threadWakeups();

} // namespace kernel
