// The operating-system version the driver sees; tests set it.
#pragma once

#include <cstdint>

namespace kernel {

struct OsVersion {
    std::uint32_t major;
    std::uint32_t minor;
    std::uint32_t build;
    std::uint32_t servicePack;
};

// Version 6.1, build 7601, service pack 1 until set otherwise.
inline constexpr OsVersion defaultOsVersion{6, 1, 7601, 1};

OsVersion osVersion();
void setOsVersion(const OsVersion& version);

// True when the running system is at least the version given in the
// packed form 0xMMmmSS00 (major, minor, service pack).
bool isVersionAvailable(std::uint32_t packedVersion);

} // namespace kernel
