#include "hidlib/process_wide_calls.h"

#include <mutex>

namespace kestrel {

namespace {

std::mutex& processWideLock() {
    static std::mutex lock;
    return lock;
}

} // namespace

hid_device_info* enumerateInterfaces(std::uint16_t vendorId, std::uint16_t productId) {
    std::lock_guard<std::mutex> locker(processWideLock());
    return hid_enumerate(vendorId, productId);
}

hid_device* openInterface(const char* path) {
    if (!path) return nullptr;
    std::lock_guard<std::mutex> locker(processWideLock());
    return hid_open_path(path);
}

} // namespace kestrel
