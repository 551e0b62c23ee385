#pragma once

// The panel's main window and device engine: a frameless translucent window
// hosting the QML view, a tray icon, the response to a second start of the
// program and to device arrivals and removals.

#include "panel/device_engine.h"
#include "panel/device_monitor.h"
#include "panel/device_table.h"
#include "panel/driver_client.h"
#include "panel/hid_command_set.h"
#include "panel/message_box.h"
#include "panel/pointer_settings.h"
#include "panel/profile_store.h"
#include "panel/settings_sync.h"
#include "panel/sleeper.h"
#include "panel/utc_clock.h"
#include "panel/view_port.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace panel {

// Everything Zen reaches outside itself; tests pass recording ones.
struct ZenServices {
    IDriverClient* driver = nullptr;
    std::function<std::unique_ptr<IView>(QWidget* parent)> makeView;
    IDeviceMonitor* monitor = nullptr;
    IMessageBox* messages = nullptr;
    ISleeper* sleeper = nullptr;
    const IUtcClock* clock = nullptr;
    IPointerSettings* pointer = nullptr;
    QString deviceFilterPath = ":/DevInfo.ini";
    QString profilePath = "./data/profile.ini";
};

class Zen : public QWidget {
    Q_OBJECT
public:
    explicit Zen(const ZenServices& services, QWidget* parent = nullptr);
    ~Zen() override;

    bool testDevice() { return m_devices.testDevice(); }
    void showPanel();
    void onInit();

    DeviceTable& devices() { return m_devices; }
    DeviceEngine& engine() { return *m_engine; }
    HidCommandSet& hid() { return m_hid; }
    SettingsSync& settings() { return m_settings; }
    ProfileStore& profiles() { return m_profiles; }
    int pullInCount() const { return m_pullIn; }
    int pullOutCount() const { return m_pullOut; }
    bool trayVisible() const { return m_tray.isVisible(); }

public slots:
    int checkDevice() { return m_engine->checkDevice(); }
    void trayIconActivated(QSystemTrayIcon::ActivationReason reason);
    void receiveMessage(const QString& message);
    // A device arrived or left: two presence tests tell which.
    void onDeviceChange();
    // The window was restored: the page gets fresh volumes.
    void onSysRestore();

protected:
    void customEvent(QEvent* event) override;

private:
    void bringToFront();
    void onArrival();
    void onRemoval();

    ZenServices m_s;
    DeviceTable m_devices;
    HidCommandSet m_hid;
    ProfileStore m_profiles;
    SettingsSync m_settings;
    std::unique_ptr<IView> m_view;
    std::unique_ptr<DeviceEngine> m_engine;
    QTimer m_hideTimer;
    QSystemTrayIcon m_tray;
    QMenu m_trayMenu;
    QAction* m_quitAction = nullptr;
    int m_pullIn = 0;
    int m_pullOut = 0;
};

} // namespace panel
