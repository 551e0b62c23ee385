#include "panel/program/panel_program.h"

#include "panel/device_monitor.h"
#include "panel/driver_sdk.h"
#include "panel/message_box.h"
#include "panel/panel_main.h"
#include "panel/pointer_settings.h"
#include "panel/sleeper.h"
#include "panel/utc_clock.h"

#include <QFileInfo>

namespace panel {

namespace {

// The services are made before the application object exists, so the
// program's folder comes from the process itself rather than from Qt.
QString programFolder() { return QFileInfo("/proc/self/exe").canonicalPath(); }

} // namespace

int runPanelProgram(int argc, char** argv) {
    const QString folder = programFolder();
    ThreadSleeper sleeper;
    QtMessageBox messages;
    SystemUtcClock clock;
    IniPointerSettings pointer(folder + "/data/pointer.ini");
    DriverSdk driver(folder, sleeper, messages);

    ZenServices services;
    services.driver = &driver;
    services.makeMonitor = makeUdevDeviceMonitor;
    services.messages = &messages;
    services.sleeper = &sleeper;
    services.clock = &clock;
    services.pointer = &pointer;
    return panelMain(argc, argv, services);
}

} // namespace panel
