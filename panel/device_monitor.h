#pragma once

// Tells the panel when a HID device arrives or leaves.

#include <functional>
#include <memory>

namespace panel {

class IDeviceMonitor {
public:
    virtual ~IDeviceMonitor() = default;
    // Called on the GUI thread for every change the system reports.
    virtual void setHandler(std::function<void()> onChange) = 0;
};

// Watches udev's "hidraw" devices; the handler runs from the event loop.
std::unique_ptr<IDeviceMonitor> makeUdevDeviceMonitor();

} // namespace panel
