#include "sim/hid/hidsim.h"
#include "sim/hid/sim_world.h"

#include <chrono>
#include <stdexcept>

namespace hidsim {

using detail::SimDevice;
using detail::SimInterface;
using detail::World;
using detail::world;

namespace {

using Lock = std::lock_guard<std::mutex>;

// Runs `use` on the world with its lock held.
template <typename Use> auto locked(Use use) {
    World& w = world();
    Lock lock(w.mutex);
    return use(w);
}

SimDevice& deviceOrThrow(World& w, DeviceId id) {
    SimDevice* dev = w.device(id);
    if (!dev) throw std::out_of_range("hidsim: no such device");
    return *dev;
}

SimInterface& interfaceOrThrow(World& w, DeviceId id, std::size_t index) {
    SimInterface* iface = w.interfaceAt(id, index);
    if (!iface) throw std::out_of_range("hidsim: no such interface");
    return *iface;
}

} // namespace

DeviceDesc headsetDescription() {
    DeviceDesc desc;
    desc.vendorId = 0x04D9;
    desc.productId = 0xA29C;
    desc.releaseNumber = 0x0100;
    desc.serialNumber = L"SIM0001";
    desc.manufacturer = L"Simulated";
    desc.product = L"USB Gaming Headset";
    desc.interfaces = {
        {.number = 3, .usagePage = 0xFF01, .usage = 0x0001, .reportId = 1, .inputLength = 16},
        {.number = 4,
         .usagePage = 0x000C,
         .usage = 0x0001,
         .reportId = 0xFF,
         .featureLength = 9,
         .inputLength = 65,
         .outputLength = 65,
         .speaksCommandSet = true},
    };
    return desc;
}

void reset() {
    World& w = world();
    Lock lock(w.mutex);
    w.devices.clear();
    w.entries.clear();
    w.clockMs = 0;
    ++w.generation;
    w.liveHandles = 0;
    w.opens = 0;
    w.globalError.clear();
    w.overlappingCalls = 0;
    w.inputChanged.notify_all();
}

DeviceId addDevice(const DeviceDesc& desc, const HeadsetState& state) {
    World& w = world();
    Lock lock(w.mutex);
    auto dev = std::make_unique<SimDevice>();
    dev->id = static_cast<DeviceId>(w.devices.size());
    dev->desc = desc;
    dev->firmware.setState(state);
    for (const InterfaceDesc& iface : desc.interfaces) {
        SimInterface sim;
        sim.desc = iface;
        // Paths stay unique across resets, as a new device node would be.
        sim.path = "simhid:" + std::to_string(w.generation) + ":" + std::to_string(dev->id) + ":" +
                   std::to_string(iface.number);
        dev->interfaces.push_back(std::move(sim));
    }
    w.devices.push_back(std::move(dev));
    return w.devices.back()->id;
}

DeviceId addHeadset(const HeadsetState& state) { return addDevice(headsetDescription(), state); }

void setPresent(DeviceId device, bool present) {
    locked([&](World& w) {
        SimDevice& dev = deviceOrThrow(w, device);
        if (dev.present && !present) ++dev.removals;
        dev.present = present;
        w.inputChanged.notify_all();
    });
}

std::string path(DeviceId device, std::size_t interfaceIndex) {
    return locked([&](World& w) { return interfaceOrThrow(w, device, interfaceIndex).path; });
}

void pushInput(DeviceId device, std::size_t interfaceIndex, std::vector<std::uint8_t> report) {
    locked([&](World& w) {
        interfaceOrThrow(w, device, interfaceIndex).input.push_back(std::move(report));
        w.inputChanged.notify_all();
    });
}

void pressButton(DeviceId device, std::uint8_t code) {
    std::vector<std::uint8_t> report(16, 0);
    report[0] = 1;
    report[1] = code;
    pushInput(device, kButtonInterface, std::move(report));
}

std::size_t pendingInput(DeviceId device, std::size_t interfaceIndex) {
    return locked(
        [&](World& w) { return interfaceOrThrow(w, device, interfaceIndex).input.size(); });
}

bool awaitInputTaken(DeviceId device, std::size_t interfaceIndex) {
    World& w = world();
    std::unique_lock<std::mutex> lock(w.mutex);
    return w.inputChanged.wait_for(lock, std::chrono::seconds(10), [&] {
        return interfaceOrThrow(w, device, interfaceIndex).input.empty();
    });
}

HeadsetState state(DeviceId device) {
    return locked([&](World& w) { return deviceOrThrow(w, device).firmware.state(); });
}

void setState(DeviceId device, const HeadsetState& state) {
    locked([&](World& w) { deviceOrThrow(w, device).firmware.setState(state); });
}

void setOpenFails(DeviceId device, std::size_t interfaceIndex, bool fails) {
    locked([&](World& w) { interfaceOrThrow(w, device, interfaceIndex).openFails = fails; });
}

void failWrite(DeviceId device, unsigned nth) {
    locked([&](World& w) { deviceOrThrow(w, device).writesUntilFailure = nth; });
}

void setFeatureGetFails(DeviceId device, bool fails) {
    locked([&](World& w) { deviceOrThrow(w, device).featureGetFails = fails; });
}

void setNoInput(DeviceId device, bool silent) {
    locked([&](World& w) {
        deviceOrThrow(w, device).silent = silent;
        w.inputChanged.notify_all();
    });
}

std::vector<LogEntry> log() {
    return locked([&](World& w) { return w.entries; });
}

void clearLog() {
    locked([&](World& w) { w.entries.clear(); });
}

std::uint64_t nowMs() {
    return locked([&](World& w) { return w.clockMs; });
}

int openHandles() {
    return locked([&](World& w) { return w.liveHandles; });
}

int openCount() {
    return locked([&](World& w) { return w.opens; });
}

int overlappingProcessWideCalls() { return world().overlappingCalls.load(); }

void sleepMs(unsigned ms) {
    World& w = world();
    Lock lock(w.mutex);
    LogEntry entry;
    entry.atMs = w.clockMs;
    entry.op = Op::Delay;
    entry.durationMs = static_cast<int>(ms);
    w.entries.push_back(std::move(entry));
    w.clockMs += ms;
}

std::optional<InterfaceDesc> describe(const std::string& path) {
    World& w = world();
    Lock lock(w.mutex);
    if (SimInterface* iface = w.findPath(path, nullptr)) return iface->desc;
    return std::nullopt;
}

} // namespace hidsim
