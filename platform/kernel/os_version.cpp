#include "platform/kernel/os_version.h"

#include <mutex>

namespace kernel {
namespace {

std::mutex lock;
OsVersion current = defaultOsVersion;

} // namespace

OsVersion osVersion() {
    std::lock_guard guard(lock);
    return current;
}

void setOsVersion(const OsVersion& version) {
    std::lock_guard guard(lock);
    current = version;
}

bool isVersionAvailable(std::uint32_t packedVersion) {
    const OsVersion v = osVersion();
    const std::uint32_t running =
        (v.major & 0xFF) << 24 | (v.minor & 0xFF) << 16 | (v.servicePack & 0xFF) << 8;
    return running >= (packedVersion & 0xFFFFFF00u);
}

} // namespace kernel
