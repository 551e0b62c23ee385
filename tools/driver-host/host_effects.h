// The effect controls of a started device as a user-mode program finds
// them: the topology filter's nodes that answer the effect parameter or
// effect unit property sets, with what they say of themselves; and the
// settings `--effect NAME=VALUE` makes through the same property requests.
#pragma once

#include "sim/os/simulated_system.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace driverhost {

struct EffectControl {
    std::uint32_t node = 0;
    std::string name;         // by the identifier it reports
    std::string key;          // the NAME of --effect: one word
    bool effectUnit = false;  // answers the effect unit set, else the parameter set
    std::uint32_t values = 0; // its parameter count
    std::vector<std::pair<std::int32_t, std::int32_t>> bounds; // each value's minimum, maximum
    std::string ranges;     // "0..2 step 1, ..." (runs of equal ranges joined)
    std::optional<bool> on; // its switch, where it has one
    // The value that switches it on and off, where it has no switch of its own.
    std::optional<std::uint32_t> switchValue;

    // What --effect takes for it: "KEY=on|off, KEY.0..N=VALUE".
    std::string settings() const;
};

std::vector<EffectControl> EffectControls(ossim::SimulatedSystem& system);

// Sets each NAME=VALUE in turn on the device's controls: NAME=on|off its
// switch, NAME.INDEX=VALUE one of its values within its range, read back
// once set. False with the reason, naming what would work, on the first
// that cannot be set.
bool ApplyEffects(ossim::SimulatedSystem& system, const std::vector<std::string>& settings,
                  std::string& error);

} // namespace driverhost
