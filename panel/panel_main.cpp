#include "panel/panel_main.h"

#include "panel/single_instance_guard.h"

#include <QApplication>
#include <QDir>

// The device filter is compiled in; a static library's resources are
// registered by hand, from outside any namespace.
static void registerPanelResources() { Q_INIT_RESOURCE(panel_resources); }

namespace panel {

namespace {

constexpr int kMessageTimeoutMs = 5000;

} // namespace

int panelMain(int argc, char** argv, const ZenServices& services) {
    registerPanelResources();
    QApplication app(argc, argv);
    // Closing a warning while the window is hidden must not end the program;
    // it quits from the tray menu or when the driver is lost for good.
    QApplication::setQuitOnLastWindowClosed(false);
    SingleInstanceGuard guard(QCoreApplication::applicationFilePath());
    if (guard.isRunning()) {
        guard.sendMessage("", kMessageTimeoutMs);
        return 1;
    }
    QDir::setCurrent(QCoreApplication::applicationDirPath());

    ZenServices own = services;
    std::unique_ptr<IDeviceMonitor> monitor;
    if (own.monitor == nullptr && own.makeMonitor) {
        monitor = own.makeMonitor();
        own.monitor = monitor.get();
    }
    Zen zen(own);
    QObject::connect(&guard, &SingleInstanceGuard::messageReceived, &zen, &Zen::receiveMessage);
    zen.showPanel();
    return QApplication::exec();
}

} // namespace panel
