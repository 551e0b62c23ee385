#include "sim/hid/sim_world.h"

namespace hidsim::detail {

World& world() {
    static World instance;
    return instance;
}

SimDevice* World::device(DeviceId id) {
    if (id < 0 || static_cast<std::size_t>(id) >= devices.size()) return nullptr;
    return devices[static_cast<std::size_t>(id)].get();
}

SimInterface* World::interfaceAt(DeviceId id, std::size_t index) {
    SimDevice* dev = device(id);
    if (!dev || index >= dev->interfaces.size()) return nullptr;
    return &dev->interfaces[index];
}

SimDevice* World::liveDevice(const hid_device_& handle) {
    if (handle.generation != generation) return nullptr;
    SimDevice* dev = device(handle.device);
    return dev && dev->present && dev->removals == handle.removals ? dev : nullptr;
}

SimInterface* World::findPath(const std::string& path, SimDevice** owner) {
    for (auto& dev : devices) {
        for (auto& iface : dev->interfaces) {
            if (iface.path == path) {
                if (owner) *owner = dev.get();
                return &iface;
            }
        }
    }
    return nullptr;
}

void World::record(Op op, const hid_device_& handle, std::vector<std::uint8_t> bytes, int result,
                   int durationMs) {
    LogEntry entry;
    entry.atMs = clockMs;
    entry.op = op;
    entry.device = handle.device;
    if (SimInterface* iface = interfaceAt(handle.device, handle.interfaceIndex))
        entry.interfaceNumber = iface->desc.number;
    entry.bytes = std::move(bytes);
    entry.result = result;
    entry.durationMs = durationMs;
    entries.push_back(std::move(entry));
}

} // namespace hidsim::detail
