// The effect controls of a started device as a user-mode program finds
// them: the topology filter's nodes that answer the effect parameter or
// effect unit property sets, with what they say of themselves.
#pragma once

#include "sim/os/simulated_system.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace driverhost {

struct EffectControl {
    std::uint32_t node = 0;
    std::string name;         // by the identifier it reports
    std::uint32_t values = 0; // its parameter count
    std::string ranges;       // "0..2 step 1, ..." (runs of equal ranges joined)
    std::optional<bool> on;   // its switch, where it has one
};

std::vector<EffectControl> EffectControls(ossim::SimulatedSystem& system);

} // namespace driverhost
