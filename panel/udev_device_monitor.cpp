#include "panel/device_monitor.h"

#include <QSocketNotifier>

#include <libudev.h>

namespace panel {

namespace {

class UdevDeviceMonitor final : public IDeviceMonitor {
public:
    UdevDeviceMonitor() : m_udev(udev_new()) {
        if (!m_udev) return;
        m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
        if (!m_monitor) return;
        udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "hidraw", nullptr);
        if (udev_monitor_enable_receiving(m_monitor) < 0) return;
        m_notifier = std::make_unique<QSocketNotifier>(udev_monitor_get_fd(m_monitor),
                                                       QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { drain(); });
    }
    ~UdevDeviceMonitor() override {
        m_notifier.reset();
        if (m_monitor) udev_monitor_unref(m_monitor);
        if (m_udev) udev_unref(m_udev);
    }
    UdevDeviceMonitor(const UdevDeviceMonitor&) = delete;
    UdevDeviceMonitor& operator=(const UdevDeviceMonitor&) = delete;

    void setHandler(std::function<void()> onChange) override { m_handler = std::move(onChange); }

private:
    void drain() {
        while (udev_device* device = udev_monitor_receive_device(m_monitor)) {
            udev_device_unref(device);
            if (m_handler) m_handler();
        }
    }

    udev* m_udev = nullptr;
    udev_monitor* m_monitor = nullptr;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::function<void()> m_handler;
};

} // namespace

std::unique_ptr<IDeviceMonitor> makeUdevDeviceMonitor() {
    return std::make_unique<UdevDeviceMonitor>();
}

} // namespace panel
