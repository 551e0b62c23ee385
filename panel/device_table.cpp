#include "panel/device_table.h"

namespace panel {

void DeviceTable::publish(const std::vector<DeviceEntry>& entries) {
    std::vector<std::unique_ptr<Kestrel>> devices;
    for (const DeviceEntry& e : entries)
        devices.push_back(
            std::make_unique<Kestrel>(e.vid, e.pid, e.page, e.usage, e.pageVendor, e.usageVendor));
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries = entries;
    m_devices = std::move(devices);
}

int DeviceTable::size() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_devices.size());
}

Kestrel* DeviceTable::at(int index) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (index < 0 || index >= static_cast<int>(m_devices.size())) return nullptr;
    return m_devices[static_cast<std::size_t>(index)].get();
}

bool DeviceTable::testDevice() {
    DeviceEntry first;
    bool any = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_entries.empty()) {
            first = m_entries.front();
            any = true;
        }
    }
    const bool present = any && Kestrel::testConnect(first.vid, first.pid, first.page, first.usage);
    stopPoll = !present;
    return present;
}

void DeviceTable::clear() {
    std::vector<std::unique_ptr<Kestrel>> devices;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_entries.clear();
        devices.swap(m_devices);
    }
}

} // namespace panel
