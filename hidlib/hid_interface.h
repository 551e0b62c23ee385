#pragma once

// One opened HID interface with the report lengths it declares. Kestrel holds
// no handle between operations: each opens one of these and lets it close.

#include "hidlib/report_lengths.h"

#include <hidapi/hidapi.h>

#include <QString>

#include <cstdint>

namespace kestrel {

class HidInterface {
public:
    HidInterface(const QString& path, std::uint16_t usagePage, std::uint16_t usage);
    ~HidInterface();

    HidInterface(const HidInterface&) = delete;
    HidInterface& operator=(const HidInterface&) = delete;

    bool isOpen() const { return m_handle != nullptr; }
    hid_device* handle() const { return m_handle; }
    const ReportLengths& lengths() const { return m_lengths; }

    // One input report framed as the original platform framed it: byte 0 is
    // the report id, 0 on an interface whose reports carry none (hidraw
    // leaves that byte out). Returns the framed length, 0 on time-out, -1 on
    // error. `size` counts the id byte.
    int readInputReport(unsigned char* buffer, unsigned size, int timeoutMs);

private:
    hid_device* m_handle = nullptr;
    ReportLengths m_lengths;
};

} // namespace kestrel
