#include "panel/view.h"

#include "panel/message_box.h"
#include "panel/user_event.h"
#include "panel/zen.h"

#include <QCoreApplication>
#include <QQmlContext>
#include <QQuickItem>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>

namespace panel {

namespace {

constexpr double kDesignScreenWidth = 3840.0, kDesignScreenHeight = 2160.0;
constexpr int kWheelStep = 120;
// What QMetaObject::invokeMethod can pass.
constexpr int kMaxRootArguments = 10;

void invokeRoot(QObject* root, const QString& function, const QVariantList& args) {
    if (!root || args.size() > kMaxRootArguments) return;
    QGenericArgument a[kMaxRootArguments];
    for (int i = 0; i < args.size(); ++i) a[i] = Q_ARG(QVariant, args[i]);
    QMetaObject::invokeMethod(root, function.toUtf8().constData(), Qt::DirectConnection, a[0], a[1],
                              a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9]);
}

template <std::size_t N> QVariantList toList(const std::array<std::uint8_t, N>& block) {
    QVariantList out;
    for (std::uint8_t b : block) out.append(int(b));
    return out;
}

} // namespace

float View::zoomFor(QSize screen) {
    return static_cast<float>(
        std::min(screen.width() / kDesignScreenWidth, screen.height() / kDesignScreenHeight));
}

View::View(Zen* owner, const ViewOptions& o)
    : QQuickWidget(owner), m_owner(owner), m_zoomRate(zoomFor(o.screen)), m_messages(o.messages),
      m_dataDir(o.dataDir), m_config(o.dataDir), m_macros(o.dataDir + "/macro") {
    // The scene's handlers may reach both as soon as it loads.
    rootContext()->setContextProperty("zen", owner);
    rootContext()->setContextProperty("view", this);
    setSource(o.source);
    if (QQuickItem* root = rootObject()) root->setProperty("zoomRate", m_zoomRate);
    resize(int(m_zoomRate * kDesignWidth), int(m_zoomRate * kDesignHeight));
}

void View::attach(const QString& versionText, ProfileStore& profiles) {
    m_versionText = versionText;
    m_profiles = &profiles;
}

void View::callRoot(const QString& function) { invokeRoot(rootObject(), function, {}); }

void View::refreshVolumes() {
    ui_get_volume_speaker_LR();
    ui_get_volume_speaker_master();
    ui_get_volume_mic_master();
}

void View::queueCall(const QString& function, const QVariantList& args) {
    QMetaObject::invokeMethod(
        this, [this, function, args] { invokeRoot(rootObject(), function, args); },
        Qt::QueuedConnection);
}

void View::wheelEvent(QWheelEvent* event) {
    const QPoint delta = event->angleDelta();
    const bool vertical = std::abs(delta.x()) <= std::abs(delta.y());
    if (vertical && rootObject())
        QMetaObject::invokeMethod(rootObject(), "scroll", Qt::QueuedConnection,
                                  Q_ARG(QVariant, QVariant(delta.y() / kWheelStep)));
    event->accept();
}

void View::onHide() {
    if (m_owner) m_owner->setVisible(false);
}

void View::onClose() {
    if (m_owner) m_owner->close();
}

void View::onXChanged(int x) {
    if (m_owner) m_owner->move(m_owner->x() + int(x * m_zoomRate), m_owner->y());
}

void View::onYChanged(int y) {
    if (m_owner) m_owner->move(m_owner->x(), m_owner->y() + int(y * m_zoomRate));
}

QVariantList View::ramOf(unsigned profile, uchar ramId) const {
    if (!attached()) return {};
    switch (ramId) {
    case 0: {
        OptionBlock b{};
        m_profiles->option(profile, b);
        return toList(b);
    }
    case 1: {
        MatrixBlock b{};
        m_profiles->matrix(profile, b);
        return toList(b);
    }
    case 2: {
        MacroBlock b{};
        m_profiles->macro(profile, b);
        return toList(b);
    }
    default:
        return {};
    }
}

QVariantList View::getDefaultRam(uchar ramId) { return ramOf(0, ramId); }

QVariantList View::getCurrentRam(uchar ramId) {
    return attached() ? ramOf(m_profiles->profileId(), ramId) : QVariantList{};
}

bool View::getMsgAns(const QString& title, const QString& text) {
    return m_messages && m_messages->askOkCancel(title, text);
}

void View::test() {
    if (!attached()) return;
    m_profiles->restoreDefaultProfile(m_dataDir + "/profile_backup.ini");
    QCoreApplication::postEvent(m_owner, new UserEvent(kDeviceReadyCode));
    if (m_messages) m_messages->warning("測試按鈕", "已完成。");
}

QString View::getFirmwareVersion() { return m_versionText; }

void View::setProfileId(uchar profileId) {
    if (attached() && m_profiles->setProfileId(profileId)) m_profileChanged = true;
}

uchar View::getProfileId() { return attached() ? m_profiles->profileId() : 0; }

void View::chkProfileId() {
    if (!m_profileChanged || !attached()) return;
    m_profileChanged = false;
    m_profiles->saveProfileId();
    m_owner->hid().sendProfileCmd09(m_profiles->profileId());
}

void View::ui_get_volume_speaker_master() {
    if (m_owner) m_owner->readSpeakerVolume();
}

void View::ui_get_volume_speaker_LR() {
    if (m_owner) m_owner->readSpeakerVolumeLR();
}

void View::ui_get_volume_mic_master() {
    if (m_owner) m_owner->readMicVolume();
}

} // namespace panel
