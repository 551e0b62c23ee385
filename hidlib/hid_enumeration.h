#pragma once

// hidapi's enumeration list, freed when it goes out of scope.

#include "hidlib/process_wide_calls.h"

#include <cstdint>

namespace kestrel {

class HidEnumeration {
public:
    HidEnumeration(std::uint16_t vendorId, std::uint16_t productId)
        : m_head(enumerateInterfaces(vendorId, productId)) {}
    ~HidEnumeration() { hid_free_enumeration(m_head); }

    HidEnumeration(const HidEnumeration&) = delete;
    HidEnumeration& operator=(const HidEnumeration&) = delete;

    // Visits the interfaces in enumeration order.
    template <typename Visit> void forEach(Visit visit) const {
        for (const hid_device_info* info = m_head; info; info = info->next) visit(*info);
    }

private:
    hid_device_info* m_head;
};

// Opens the interface and closes it again.
inline bool canOpen(const char* path) {
    hid_device* handle = openInterface(path);
    if (!handle) return false;
    hid_close(handle);
    return true;
}

} // namespace kestrel
