// The states a streaming pin moves through, one step at a time: STOP,
// ACQUIRE (resources held), PAUSE (ready, position held) and RUN.
#pragma once

#include <cstdint>

namespace ks {

enum class KsState : std::uint32_t {
    Stop = 0,
    Acquire = 1,
    Pause = 2,
    Run = 3,
};

} // namespace ks
