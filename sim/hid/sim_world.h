#pragma once

// The simulated HID world that the hidapi functions and the control API share:
// the devices, the open handles' view of them, the report log and the clock.
// Everything here is used with the world's lock held.

#include "sim/hid/headset_firmware.h"
#include "sim/hid/hidsim.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// hidapi's opaque handle.
struct hid_device_ {
    hidsim::DeviceId device = -1;
    std::size_t interfaceIndex = 0;
    std::uint64_t generation = 0; // the world's reset count when the handle was opened
    unsigned removals = 0;        // the device's removal count when the handle was opened
    bool nonBlocking = false;
    std::wstring lastError;
};

namespace hidsim::detail {

struct SimInterface {
    InterfaceDesc desc;
    std::string path;
    bool openFails = false;
    std::deque<std::vector<std::uint8_t>> input; // report id first, even when unnumbered
};

struct SimDevice {
    DeviceId id = -1;
    DeviceDesc desc;
    bool present = true;
    // A removal ends every handle open at the time, also when the device comes back.
    unsigned removals = 0;
    std::vector<SimInterface> interfaces;
    HeadsetFirmware firmware;
    unsigned writesUntilFailure = 0; // 0: no write fault armed
    bool featureGetFails = false;
    bool silent = false;
};

class World {
public:
    std::mutex mutex;
    std::condition_variable inputChanged;

    std::vector<std::unique_ptr<SimDevice>> devices;
    std::vector<LogEntry> entries;
    std::uint64_t clockMs = 0;
    std::uint64_t generation = 0;
    int liveHandles = 0;
    int opens = 0;
    std::wstring globalError;
    // Counted before the lock is taken, so it is atomic instead.
    std::atomic<int> overlappingCalls{0};

    SimDevice* device(DeviceId id);
    SimInterface* interfaceAt(DeviceId id, std::size_t index);
    // The device behind a handle, or null when the device has left or the
    // world was reset since the handle was opened.
    SimDevice* liveDevice(const hid_device_& handle);
    SimInterface* findPath(const std::string& path, SimDevice** owner);

    void record(Op op, const hid_device_& handle, std::vector<std::uint8_t> bytes, int result,
                int durationMs = 0);
};

World& world();

} // namespace hidsim::detail
