#pragma once

// hidapi's enumeration and open each free and replace one process-wide error
// text without a lock, so two of them under way at once can free it twice: the
// poll task opens its interface beside a caller's transfer, and several Kestrel
// objects may work at once. The library makes these calls only through here,
// one at a time.

#include <hidapi/hidapi.h>

#include <cstdint>

namespace kestrel {

hid_device_info* enumerateInterfaces(std::uint16_t vendorId, std::uint16_t productId);
hid_device* openInterface(const char* path);

} // namespace kestrel
