#pragma once

// The headset's button interface, opened by vendor and product id (the first
// interface of that device) and closed when the object goes.

#include <cstdint>
#include <vector>

struct hid_device_;

namespace panel {

class ButtonHandle {
public:
    ButtonHandle() = default;
    ~ButtonHandle() { close(); }
    ButtonHandle(const ButtonHandle&) = delete;
    ButtonHandle& operator=(const ButtonHandle&) = delete;

    // Opens in blocking mode; false when the device can't be opened.
    bool open(std::uint16_t vendorId, std::uint16_t productId);
    bool isOpen() const { return m_handle != nullptr; }
    void close();
    // One report of up to `report.size()` bytes within `timeoutMs`; the byte
    // count, 0 on time-out, -1 on failure or when not open.
    int read(std::vector<std::uint8_t>& report, int timeoutMs);

private:
    hid_device_* m_handle = nullptr;
};

} // namespace panel
