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
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>

namespace panel {

class Zen;

// Everything Zen reaches outside itself; tests pass recording ones.
struct ZenServices {
    IDriverClient* driver = nullptr;
    // Empty: the QML host of `viewSource` on the primary screen.
    std::function<std::unique_ptr<IView>(Zen* owner)> makeView;
    IDeviceMonitor* monitor = nullptr;
    // Made by the program once the application exists, when `monitor` is
    // null: the system's monitor needs the application's event loop.
    std::function<std::unique_ptr<IDeviceMonitor>()> makeMonitor;
    IMessageBox* messages = nullptr;
    ISleeper* sleeper = nullptr;
    const IUtcClock* clock = nullptr;
    IPointerSettings* pointer = nullptr;
    QString deviceFilterPath = ":/DevInfo.ini";
    QString profilePath = "./data/profile.ini";
    QString dataDir = "./data";
    QUrl viewSource{"qrc:qml/main.qml"};
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

    // Driver reads and settings for the page, passed on unchanged.
    void readSpeakerVolume() { m_engine->readSpeakerVolume(); }
    void readSpeakerVolumeLR() { m_engine->readSpeakerVolumeLR(); }
    void readMicVolume() { m_engine->readMicVolume(); }
    IView& view() { return *m_view; }
    void setSpeakerVolumeAll(int mute, int separate, int first, int second) {
        m_s.driver->setSpeakerVolumeAll(mute, separate, first, second);
    }
    void setMicVolumeAll(int mute, int separate, int first, int second) {
        m_s.driver->setMicVolumeAll(mute, separate, first, second);
    }
    void setEqAll(int enable, const std::array<int, 10>& bands) {
        m_s.driver->setEqAll(enable, bands);
    }
    void adjustVoiceClarity(int enable, int level, int level2) {
        m_s.driver->adjustVoiceClarity(enable, level, level2);
    }
    void adjustSurroundHeadphone(int enable) { m_s.driver->adjustSurroundHeadphone(enable); }
    void setEncEnable(int value) { m_s.driver->setEncEnable(value); }
    void setMagicVoice(int enable, int mode) { m_s.driver->setMagicVoice(enable, mode); }
    void setSpeakerMute(int value) { m_s.driver->setSpeakerMute(value); }
    void setSpeakerVolume(int separate, int first, int second) {
        m_s.driver->setSpeakerVolume(separate, first, second);
    }
    void setMicMute(int value) { m_s.driver->setMicMute(value); }
    void setMicVolume(int separate, int first, int second) {
        m_s.driver->setMicVolume(separate, first, second);
    }
    void setEqEnable(int value) { m_s.driver->setEqEnable(value); }
    void setEqSliders(const std::array<int, 10>& bands) { m_s.driver->setEqSliders(bands); }
    void setVoiceClarityEnable(int value) { m_s.driver->setVoiceClarityEnable(value); }
    void setVoiceClarityLevel(int value) { m_s.driver->setVoiceClarityLevel(value); }
    void setNoiseSuppressionLevel(int value) { m_s.driver->setNoiseSuppressionLevel(value); }
    void setMagicVoiceEnable(int value) { m_s.driver->setMagicVoiceEnable(value); }
    void setMagicVoiceSelection(int value) { m_s.driver->setMagicVoiceSelection(value); }

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
    std::unique_ptr<IView> makeView();
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
