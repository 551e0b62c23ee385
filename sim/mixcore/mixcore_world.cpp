#include "sim/mixcore/mixcore_world.h"

namespace mixcoresim {

namespace {

constexpr std::int32_t kRender = 0;

DeviceInfo defaultDevice(std::int32_t flow, std::int32_t index) {
    const auto i = static_cast<std::uint32_t>(index);
    if (flow == kRender) return {0x100 + i, 12, 0, 1};
    return {0x200 + i, 2, 1, 1};
}

} // namespace

void World::reset() {
    initResult = 0;
    counts = {1, 1};
    failingCounts = {};
    devices.clear();
    failedNames.clear();
    store.clear();
    log.clear();
}

bool World::deviceAt(std::int32_t flow, std::int32_t index, DeviceInfo& out) const {
    if (flow != 0 && flow != 1) return false;
    if (index < 0 || static_cast<std::uint32_t>(index) >= counts[flow]) return false;
    const auto set = devices.find({flow, index});
    out = set != devices.end() ? set->second : defaultDevice(flow, index);
    return true;
}

bool World::knowsDevice(std::uint32_t word0) const {
    for (std::int32_t flow = 0; flow < 2; ++flow) {
        DeviceInfo info{};
        for (std::int32_t index = 0; deviceAt(flow, index, info); ++index)
            if (info[0] == word0) return true;
    }
    return false;
}

World& world() {
    static World instance;
    return instance;
}

} // namespace mixcoresim
