// The hidapi C functions over the simulated world. Behaviour follows the
// hidraw backend where a caller could tell the difference: unnumbered input
// reports arrive without a leading report-id byte, errors are -1 or null, a
// timed read that runs out returns 0.

#include "sim/hid/sim_world.h"

#include <hidapi/hidapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <cwchar>

using hidsim::InterfaceDesc;
using hidsim::Op;
using hidsim::detail::SimDevice;
using hidsim::detail::SimInterface;
using hidsim::detail::World;
using hidsim::detail::world;

namespace {

using Lock = std::unique_lock<std::mutex>;
using Bytes = std::vector<std::uint8_t>;

wchar_t* copyWide(const std::wstring& text) {
    auto* out = static_cast<wchar_t*>(std::malloc((text.size() + 1) * sizeof(wchar_t)));
    if (out) std::wmemcpy(out, text.c_str(), text.size() + 1);
    return out;
}

hid_device_info* describeInterface(const SimDevice& dev, const SimInterface& iface) {
    auto* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
    if (!info) return nullptr;
    info->path = strdup(iface.path.c_str());
    info->vendor_id = dev.desc.vendorId;
    info->product_id = dev.desc.productId;
    info->serial_number = copyWide(dev.desc.serialNumber);
    info->release_number = dev.desc.releaseNumber;
    info->manufacturer_string = copyWide(dev.desc.manufacturer);
    info->product_string = copyWide(dev.desc.product);
    info->usage_page = iface.desc.usagePage;
    info->usage = iface.desc.usage;
    info->interface_number = iface.desc.number;
    info->bus_type = HID_API_BUS_USB;
    return info;
}

hid_device* openInterface(World& w, SimDevice& dev, std::size_t index) {
    if (!dev.present || dev.interfaces[index].openFails) {
        w.globalError = L"Failed to open the device";
        return nullptr;
    }
    auto* handle = new hid_device_;
    handle->device = dev.id;
    handle->interfaceIndex = index;
    handle->generation = w.generation;
    handle->removals = dev.removals;
    ++w.liveHandles;
    ++w.opens;
    w.globalError.clear();
    return handle;
}

// The interface behind a handle whose device is still there.
SimInterface* liveInterface(World& w, const hid_device* dev) {
    SimDevice* sim = w.liveDevice(*dev);
    return sim ? &sim->interfaces[dev->interfaceIndex] : nullptr;
}

int fail(hid_device* dev, const wchar_t* why) {
    dev->lastError = why;
    return -1;
}

// A report the interface takes: it starts with the interface's report id and
// is no longer than the length the interface declares for its kind.
bool fits(const InterfaceDesc& desc, std::uint16_t declared, const unsigned char* data,
          std::size_t length) {
    return length > 0 && length <= declared && data[0] == desc.reportId;
}

Bytes bytesOf(const unsigned char* data, std::size_t length) { return Bytes(data, data + length); }

// hidapi's enumeration and opens free and replace one process-wide error text
// without a lock, so two of them under way at once can free it twice. The
// world is safe either way; it counts such overlaps so that tests can show a
// caller never makes them.
class ProcessWideCall {
public:
    ProcessWideCall() {
        if (s_underWay.fetch_add(1) > 0) world().overlappingCalls.fetch_add(1);
    }
    ~ProcessWideCall() { s_underWay.fetch_sub(1); }
    ProcessWideCall(const ProcessWideCall&) = delete;
    ProcessWideCall& operator=(const ProcessWideCall&) = delete;

private:
    static inline std::atomic<int> s_underWay{0};
};

// Block data the firmware wants to send replaces what the interface still had queued.
void queueOutgoingBlock(SimDevice& dev, SimInterface& iface) {
    auto block = dev.firmware.takeOutgoingBlock();
    if (!block) return;
    iface.input.clear();
    const std::size_t chunk = iface.desc.inputLength > 1 ? iface.desc.inputLength - 1u : 0u;
    for (std::size_t at = 0; chunk > 0 && at < block->size(); at += chunk) {
        Bytes report(iface.desc.inputLength, 0);
        report[0] = iface.desc.reportId;
        const std::size_t n = std::min(chunk, block->size() - at);
        std::copy_n(block->begin() + static_cast<std::ptrdiff_t>(at), n, report.begin() + 1);
        iface.input.push_back(std::move(report));
    }
}

// Hands out the oldest queued report as hidraw does: without the id byte when
// the interface's reports are unnumbered.
int deliver(World& w, hid_device* dev, SimInterface& iface, unsigned char* data, std::size_t length,
            int timeoutMs) {
    Bytes report = std::move(iface.input.front());
    iface.input.pop_front();
    if (iface.desc.reportId == 0 && !report.empty()) report.erase(report.begin());
    const std::size_t n = std::min(length, report.size());
    std::copy_n(report.begin(), n, data);
    report.resize(n);
    w.record(Op::Read, *dev, std::move(report), static_cast<int>(n), timeoutMs);
    w.inputChanged.notify_all();
    return static_cast<int>(n);
}

} // namespace

extern "C" {

int HID_API_EXPORT HID_API_CALL hid_init(void) { return 0; }

int HID_API_EXPORT HID_API_CALL hid_exit(void) { return 0; }

struct hid_device_info HID_API_EXPORT* HID_API_CALL hid_enumerate(unsigned short vendor_id,
                                                                  unsigned short product_id) {
    const ProcessWideCall call;
    World& w = world();
    Lock lock(w.mutex);
    hid_device_info* head = nullptr;
    hid_device_info** tail = &head;
    for (const auto& dev : w.devices) {
        if (!dev->present) continue;
        if (vendor_id != 0 && dev->desc.vendorId != vendor_id) continue;
        if (product_id != 0 && dev->desc.productId != product_id) continue;
        for (const auto& iface : dev->interfaces) {
            hid_device_info* info = describeInterface(*dev, iface);
            if (!info) break;
            *tail = info;
            tail = &info->next;
        }
    }
    w.globalError = head ? L"" : L"No HID devices with requested VID/PID found in the system.";
    return head;
}

void HID_API_EXPORT HID_API_CALL hid_free_enumeration(struct hid_device_info* devs) {
    while (devs) {
        hid_device_info* next = devs->next;
        std::free(devs->path);
        std::free(devs->serial_number);
        std::free(devs->manufacturer_string);
        std::free(devs->product_string);
        std::free(devs);
        devs = next;
    }
}

HID_API_EXPORT hid_device* HID_API_CALL hid_open(unsigned short vendor_id,
                                                 unsigned short product_id,
                                                 const wchar_t* serial_number) {
    const ProcessWideCall call;
    World& w = world();
    Lock lock(w.mutex);
    for (auto& dev : w.devices) {
        if (!dev->present || dev->interfaces.empty()) continue;
        if (dev->desc.vendorId != vendor_id || dev->desc.productId != product_id) continue;
        if (serial_number && dev->desc.serialNumber != serial_number) continue;
        return openInterface(w, *dev, 0);
    }
    w.globalError = L"Device with requested VID/PID/(SerialNumber) not found";
    return nullptr;
}

HID_API_EXPORT hid_device* HID_API_CALL hid_open_path(const char* path) {
    const ProcessWideCall call;
    World& w = world();
    Lock lock(w.mutex);
    SimDevice* dev = nullptr;
    SimInterface* iface = path ? w.findPath(path, &dev) : nullptr;
    if (!iface) {
        w.globalError = L"No such device";
        return nullptr;
    }
    return openInterface(w, *dev, static_cast<std::size_t>(iface - dev->interfaces.data()));
}

void HID_API_EXPORT HID_API_CALL hid_close(hid_device* dev) {
    if (!dev) return;
    World& w = world();
    {
        Lock lock(w.mutex);
        if (dev->generation == w.generation) --w.liveHandles;
    }
    delete dev;
}

int HID_API_EXPORT HID_API_CALL hid_write(hid_device* dev, const unsigned char* data,
                                          size_t length) {
    if (!dev || !data) return -1;
    World& w = world();
    Lock lock(w.mutex);
    SimDevice* sim = w.liveDevice(*dev);
    if (!sim) {
        if (dev->generation == w.generation) w.record(Op::Write, *dev, bytesOf(data, length), -1);
        return fail(dev, L"The device has been disconnected");
    }
    SimInterface& iface = sim->interfaces[dev->interfaceIndex];
    const bool taken = fits(iface.desc, iface.desc.outputLength, data, length);
    const bool injected = sim->writesUntilFailure > 0 && --sim->writesUntilFailure == 0;
    if (!taken || injected) {
        w.record(Op::Write, *dev, bytesOf(data, length), -1);
        return fail(dev, taken ? L"Broken pipe" : L"Invalid argument");
    }
    w.record(Op::Write, *dev, bytesOf(data, length), static_cast<int>(length));
    if (iface.desc.speaksCommandSet) {
        Bytes payload(data + 1, data + length);
        payload.resize(iface.desc.outputLength - 1u, 0);
        sim->firmware.receiveOutput(payload);
        queueOutgoingBlock(*sim, iface);
        w.inputChanged.notify_all();
    }
    return static_cast<int>(length);
}

int HID_API_EXPORT HID_API_CALL hid_read_timeout(hid_device* dev, unsigned char* data,
                                                 size_t length, int milliseconds) {
    if (!dev || !data) return -1;
    World& w = world();
    Lock lock(w.mutex);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    bool runOut = false;
    for (;;) {
        SimDevice* sim = w.liveDevice(*dev);
        if (!sim) {
            if (dev->generation == w.generation) w.record(Op::Read, *dev, {}, -1, milliseconds);
            return fail(dev, L"The device has been disconnected");
        }
        SimInterface& iface = sim->interfaces[dev->interfaceIndex];
        if (!iface.input.empty()) return deliver(w, dev, iface, data, length, milliseconds);
        if (sim->silent && milliseconds > 0 && !runOut) {
            w.clockMs += static_cast<std::uint64_t>(milliseconds);
            runOut = true;
        }
        if (runOut || milliseconds == 0) {
            w.record(Op::Read, *dev, {}, 0, milliseconds);
            return 0;
        }
        if (milliseconds < 0)
            w.inputChanged.wait(lock);
        else
            runOut = w.inputChanged.wait_until(lock, deadline) == std::cv_status::timeout;
    }
}

int HID_API_EXPORT HID_API_CALL hid_read(hid_device* dev, unsigned char* data, size_t length) {
    if (!dev) return -1;
    return hid_read_timeout(dev, data, length, dev->nonBlocking ? 0 : -1);
}

int HID_API_EXPORT HID_API_CALL hid_set_nonblocking(hid_device* dev, int nonblock) {
    if (!dev) return -1;
    dev->nonBlocking = nonblock != 0;
    return 0;
}

int HID_API_EXPORT HID_API_CALL hid_send_feature_report(hid_device* dev, const unsigned char* data,
                                                        size_t length) {
    if (!dev || !data) return -1;
    World& w = world();
    Lock lock(w.mutex);
    const SimInterface* iface = liveInterface(w, dev);
    if (!iface) return fail(dev, L"The device has been disconnected");
    const InterfaceDesc& desc = iface->desc;
    const bool taken = fits(desc, desc.featureLength, data, length);
    const int result = taken ? static_cast<int>(length) : -1;
    w.record(Op::SetFeature, *dev, bytesOf(data, length), result);
    return taken ? result : fail(dev, L"Invalid argument");
}

int HID_API_EXPORT HID_API_CALL hid_get_feature_report(hid_device* dev, unsigned char* data,
                                                       size_t length) {
    if (!dev || !data) return -1;
    World& w = world();
    Lock lock(w.mutex);
    SimDevice* sim = w.liveDevice(*dev);
    if (!sim) return fail(dev, L"The device has been disconnected");
    const InterfaceDesc& desc = sim->interfaces[dev->interfaceIndex].desc;
    // A buffer longer than the report takes all of it.
    if (sim->featureGetFails ||
        !fits(desc, desc.featureLength, data, std::min<std::size_t>(length, desc.featureLength))) {
        w.record(Op::GetFeature, *dev, {}, -1);
        return fail(dev, L"Broken pipe");
    }
    Bytes report(desc.featureLength, 0);
    report[0] = desc.reportId;
    if (desc.speaksCommandSet) {
        const auto reply = sim->firmware.featureReply();
        std::copy_n(reply.begin(), std::min(reply.size(), report.size() - 1), report.begin() + 1);
    }
    report.resize(std::min(length, report.size()));
    std::copy(report.begin(), report.end(), data);
    const int n = static_cast<int>(report.size());
    w.record(Op::GetFeature, *dev, std::move(report), n);
    return n;
}

HID_API_EXPORT const wchar_t* HID_API_CALL hid_error(hid_device* dev) {
    if (dev) return dev->lastError.empty() ? L"Success" : dev->lastError.c_str();
    // Every thread's calls rewrite the world's error, so the caller gets a copy
    // taken under the lock that stays put until its own thread asks again.
    thread_local std::wstring error;
    {
        World& w = world();
        Lock lock(w.mutex);
        error = w.globalError;
    }
    return error.empty() ? L"Success" : error.c_str();
}

} // extern "C"
