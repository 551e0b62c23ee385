#include "hidlib/hid_interface.h"

#include "hidlib/hid_backend.h"
#include "hidlib/process_wide_calls.h"

namespace kestrel {

HidInterface::HidInterface(const QString& path, std::uint16_t usagePage, std::uint16_t usage) {
    const QByteArray native = path.toLocal8Bit();
    m_handle = openInterface(native.constData());
    if (m_handle) m_lengths = interfaceReportLengths(native.constData(), usagePage, usage);
}

HidInterface::~HidInterface() {
    if (m_handle) hid_close(m_handle);
}

int HidInterface::readInputReport(unsigned char* buffer, unsigned size, int timeoutMs) {
    if (!m_handle || size == 0) return -1;
    if (m_lengths.numbered) return hid_read_timeout(m_handle, buffer, size, timeoutMs);
    const int n = hid_read_timeout(m_handle, buffer + 1, size - 1, timeoutMs);
    if (n <= 0) return n;
    buffer[0] = 0;
    return n + 1;
}

} // namespace kestrel
