#include "panel/button_handle.h"

#include <hidapi/hidapi.h>

namespace panel {

bool ButtonHandle::open(std::uint16_t vendorId, std::uint16_t productId) {
    close();
    m_handle = hid_open(vendorId, productId, nullptr);
    if (!m_handle) return false;
    hid_set_nonblocking(m_handle, 0);
    return true;
}

void ButtonHandle::close() {
    if (m_handle) hid_close(m_handle);
    m_handle = nullptr;
}

int ButtonHandle::read(std::vector<std::uint8_t>& report, int timeoutMs) {
    if (!m_handle) return -1;
    return hid_read_timeout(m_handle, report.data(), report.size(), timeoutMs);
}

} // namespace panel
