#include "panel/zen.h"

#include "panel/user_event.h"
#include "panel/view.h"

#include <QApplication>
#include <QDebug>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>

namespace panel {

namespace {

const char* const kWarningTitle = "Warning !";
const char* const kConnectHeadset = "Please connect Pellmark Solvane Tirsa Headset!";
const char* const kDriverLost = "Still can't connect with Driver , AP will quit , please restart!";
constexpr unsigned kSettleMs = 1000;

const char* const kTrayMenuStyle =
    "QMenu { border: 1px solid rgb(100, 100, 100); background: rgb(68, 69, 73); } "
    "QMenu::item { height: 22px; padding: 0px 25px 0px 20px; } "
    "QMenu::item:enabled { color: rgb(225, 225, 225); } "
    "QMenu::item:!enabled { color: rgb(155, 155, 155); } "
    "QMenu::item:enabled:selected { color: rgb(230, 230, 230); background: rgba(255, 255, 255, "
    "40); } "
    "QMenu::separator { height: 1px; background: rgb(100, 100, 100); } "
    "QMenu::indicator { width: 13px; height: 13px; } "
    "QMenu::icon { padding-left: 2px; padding-right: 2px; } ";

} // namespace

Zen::Zen(const ZenServices& services, QWidget* parent)
    : QWidget(parent), m_s(services), m_hid(m_devices, *m_s.sleeper, *m_s.clock),
      m_profiles(m_s.profilePath), m_settings(m_devices, m_hid, m_profiles, *m_s.pointer) {
    qDebug() << "------------------- init ";
    m_s.driver->setConnectionTest([this] { return testDevice(); });
    m_s.driver->reload();
    m_view = makeView();
    m_engine = std::make_unique<DeviceEngine>(DeviceEngine::Parts{
        m_devices, m_hid, m_profiles, *m_s.driver, *m_view, *m_s.sleeper,
        [this] { QCoreApplication::postEvent(this, new UserEvent(kDeviceReadyCode)); }});

    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::CustomizeWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setStyleSheet("background:transparent;");
    if (QWidget* w = m_view->widget()) resize(w->size());

    m_hideTimer.setInterval(0);
    m_hideTimer.setSingleShot(true);
    connect(&m_hideTimer, &QTimer::timeout, this, &QWidget::hide);

    m_tray.setIcon(QIcon("./img/trayIcon.ico"));
    m_quitAction = m_trayMenu.addAction(tr("Quit (&Q)"));
    connect(m_quitAction, &QAction::triggered, qApp, &QCoreApplication::quit);
    m_trayMenu.setStyleSheet(kTrayMenuStyle);
    m_tray.setContextMenu(&m_trayMenu);
    connect(&m_tray, &QSystemTrayIcon::activated, this, &Zen::trayIconActivated);
    m_tray.setVisible(true);

    if (m_s.monitor) m_s.monitor->setHandler([this] { onDeviceChange(); });

    if (!m_s.driver->isReady()) {
        qDebug() << "No device!";
        m_s.messages->warning(kWarningTitle, kConnectHeadset);
        m_s.driver->createDeviceList();
        if (!m_s.driver->isReady()) {
            m_hideTimer.start();
            m_tray.setVisible(false);
        }
    }
    m_engine->startInitWorker(m_s.deviceFilterPath);
}

std::unique_ptr<IView> Zen::makeView() {
    if (m_s.makeView) return m_s.makeView(this);
    ViewOptions options;
    options.source = m_s.viewSource;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        options.screen = screen->geometry().size();
    options.dataDir = m_s.dataDir;
    options.messages = m_s.messages;
    return std::make_unique<View>(this, options);
}

Zen::~Zen() {
    m_hideTimer.stop();
    if (m_s.monitor) m_s.monitor->setHandler({});
    // Stops the poll and waits for the engine's tasks before the devices,
    // the view and the client they use go.
    m_engine.reset();
    m_s.driver->setConnectionTest({});
    m_devices.clear();
}

void Zen::showPanel() {
    setVisible(true);
    m_view->callRoot("show");
}

void Zen::onInit() {
    m_view->attach(m_settings.versionText(), m_profiles);
    m_view->cleanUnusedMacroId();
    m_view->callRoot("init");
}

void Zen::customEvent(QEvent* event) {
    if (event->type() != QEvent::User) return;
    if (static_cast<UserEvent*>(event)->code == kDeviceReadyCode) onInit();
}

void Zen::bringToFront() {
    showNormal();
    raise();
    activateWindow();
    QMetaObject::invokeMethod(this, &Zen::onSysRestore, Qt::QueuedConnection);
}

void Zen::trayIconActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason != QSystemTrayIcon::DoubleClick && reason != QSystemTrayIcon::Trigger) return;
    if (m_devices.curDid.load() < 0) return;
    bringToFront();
}

void Zen::receiveMessage(const QString&) {
    if (!testDevice()) {
        m_s.messages->warning(kWarningTitle, kConnectHeadset);
        if (!testDevice()) {
            showMinimized();
            m_hideTimer.start();
            return;
        }
    }
    bringToFront();
}

void Zen::onSysRestore() {
    qDebug() << "================== SC_RESTORE ===================";
    if (QWidget* w = m_view->widget()) {
        w->hide();
        w->show();
    }
    m_view->refreshVolumes();
    const DriverValues v = m_s.driver->values();
    qDebug() << "master sp= " << v.speakerVolume;
    qDebug() << "master mic = " << v.micVolume;
}

void Zen::onDeviceChange() {
    const bool first = testDevice();
    const bool second = testDevice();
    if (first && second)
        onArrival();
    else if (!first && !second)
        onRemoval();
    else
        qDebug() << "DisConnect...";
}

void Zen::onArrival() {
    if (++m_pullIn != 1) {
        qDebug() << "pullInNum != 1";
        m_pullOut = 0;
        return;
    }
    m_pullOut = 0;
    qDebug() << "========================== Pull In =================" << 1;
    m_s.sleeper->sleepMs(kSettleMs);
    m_tray.setVisible(true);
    m_s.sleeper->sleepMs(kSettleMs);
    m_s.driver->reload();
    // Up to three builds of the device list; whichever succeeds checks the device.
    for (int build = 1; !m_s.driver->isReady() && build < 3; ++build)
        m_s.driver->createDeviceList();
    if (m_s.driver->isReady()) {
        m_engine->startCheckDevice();
        return;
    }
    m_s.messages->warning(kWarningTitle, kDriverLost);
    close();
    QCoreApplication::quit();
}

void Zen::onRemoval() {
    if (++m_pullOut != 1) {
        qDebug() << "pullOutNum != 1";
        m_pullIn = 0;
        return;
    }
    qDebug() << "========================== Pull Out =================" << 1;
    m_pullIn = 0;
    hide();
    m_tray.setVisible(false);
    m_s.sleeper->sleepMs(kSettleMs);
    m_devices.stopPoll = true;
    m_devices.curDid = -1;
}

} // namespace panel
