#include "panel/device_engine.h"

#include "panel/lighting_push.h"
#include "panel/option_block.h"

#include <QDebug>
#include <QSettings>
#include <QtConcurrent>

#include <vector>

namespace panel {

namespace {

constexpr int kButtonReportBytes = 65;
constexpr int kButtonPressBytes = 16;
constexpr int kButtonReadTimeoutMs = 100;

std::uint16_t hexId(const QString& text) {
    bool ok = false;
    const uint v = text.toUInt(&ok, 16);
    return ok && v <= 0xFFFF ? static_cast<std::uint16_t>(v) : 0;
}

} // namespace

DeviceEngine::~DeviceEngine() {
    m.devices.stopPoll = true;
    m.devices.curDid = -1;
    for (int i = 0; i < m.devices.size(); ++i)
        if (Kestrel* k = m.devices.at(i)) k->disconnect_vendor();
    QList<QFuture<void>> futures;
    {
        std::lock_guard<std::mutex> lock(m_futuresMutex);
        futures.swap(m_futures);
    }
    for (QFuture<void>& f : futures) f.waitForFinished();
    // Every task has run by now (a waited future that had not started runs
    // here); its mark says so in a way a race checker sees.
    std::unique_lock<std::mutex> lock(m_futuresMutex);
    m_taskEnded.wait(lock, [this] { return m_tasksRunning == 0; });
}

void DeviceEngine::runTask(std::function<void()> work) {
    std::lock_guard<std::mutex> lock(m_futuresMutex);
    ++m_tasksRunning;
    QList<QFuture<void>> running;
    for (const QFuture<void>& f : m_futures)
        if (!f.isFinished()) running.append(f);
    running.append(QtConcurrent::run([this, work = std::move(work)] {
        work();
        std::lock_guard<std::mutex> ended(m_futuresMutex);
        --m_tasksRunning;
        m_taskEnded.notify_all();
    }));
    m_futures.swap(running);
}

void DeviceEngine::loadDeviceFilter(const QString& filterPath) {
    QSettings filter(filterPath, QSettings::IniFormat);
    m_apVersion = filter.value("common/apVersion", -1).toInt();
    const int total = filter.value("common/totalDevice", 0).toInt();
    std::vector<DeviceEntry> entries;
    for (int n = 0; n < total; ++n) {
        auto key = [&](const char* name) {
            return filter.value(QString("%1/%2").arg(n).arg(name)).toString();
        };
        entries.push_back({key("vid"), key("pid"), key("page"), key("usage"), key("page_vendor"),
                           key("usage_vendor")});
        m_buttonVendorId = hexId(entries.back().vid);
        m_buttonProductId = hexId(entries.back().pid);
    }
    m.devices.publish(entries);
}

void DeviceEngine::initWorker(const QString& filterPath) {
    loadDeviceFilter(filterPath);
    m.profiles.load();
    checkDevice();
}

void DeviceEngine::startInitWorker(const QString& filterPath) {
    runTask([this, filterPath] { initWorker(filterPath); });
}

void DeviceEngine::startCheckDevice() {
    runTask([this] { checkDevice(); });
}

int DeviceEngine::checkDevice() {
    if (m.devices.curDid.load() >= 0) {
        qDebug() << "checkDevice---device is pull-out ";
        m.devices.curDid = -1;
        m.devices.stopPoll = true;
    }
    // A poll that still runs sees the stop and ends; two polls would each
    // see one button press.
    std::lock_guard<std::mutex> lock(m_checkMutex);
    for (int n = 0; n < m.devices.size(); ++n) {
        Kestrel* k = m.devices.at(n);
        if (!k || !k->connect()) continue;
        m.devices.stopPoll = false;
        m.devices.curDid = n;
        qDebug() << "checkDevice---device is plug-in , curDid is =" << n;
        m.driver.initDriver();
        sync(m.profiles.profileId());
    }
    m_pollCount = 0;
    if (!m.devices.testDevice()) return m.devices.curDid.load();
    if (m.announceReady) m.announceReady();
    m.devices.stopPoll = false;
    pollLoop();
    return m.devices.curDid.load();
}

void DeviceEngine::sync(std::uint8_t profile) {
    OptionBlock b{};
    if (!m.profiles.option(profile, b)) {
        qDebug() << "sync: no profile" << profile;
        return;
    }
    using namespace option;
    // What the driver gets, as the page is then assumed to show it.
    DriverValues sent;
    sent.surround = b[kSurround];
    sent.enc = 1;
    sent.vcEnable = b[kClarity];
    sent.vcLevel = b[kClarityLevel];
    sent.vcNoise = b[kNoiseLevel];
    sent.magicEnable = b[kMagicVoice];
    sent.magicMode = b[kMagicMode];
    sent.eqEnable = b[kEqEnable];
    for (std::size_t i = 0; i < sent.eq.size(); ++i) sent.eq[i] = b[kEqBands + i] - kEqOffset;

    if (m.devices.testDevice()) {
        pushLighting(m.hid, b, 1, ColourOrder::GreenBlueRed);
        m.driver.setAaVolumeAll(1, -1, 0, 0);
        m.driver.readSpeakerVolume();
        m.driver.readMicVolume();
    } else {
        qDebug() << "sync  disConnect 1";
    }
    if (m.devices.testDevice()) {
        m.driver.setEqAll(sent.eqEnable, sent.eq);
        m.driver.adjustVoiceClarity(sent.vcEnable, sent.vcLevel, sent.vcNoise);
        m.driver.adjustSurroundHeadphone(sent.surround);
        m.driver.setEncEnable(sent.enc);
        m.driver.setMagicVoice(sent.magicEnable, sent.magicMode);
    } else {
        qDebug() << "sync  disConnect 2";
    }
    if (m.devices.testDevice())
        m_mirror.assumeSent(sent);
    else
        qDebug() << "sync  disConnect 3";
}

void DeviceEngine::pollLoop() {
    ButtonHandle button;
    if (m.devices.testDevice()) button.open(m_buttonVendorId.load(), m_buttonProductId.load());
    std::vector<std::uint8_t> report(kButtonReportBytes);
    auto stopped = [&] { return m.devices.stopPoll.load() || m.devices.curDid.load() < 0; };
    for (;;) {
        ++m_pollCount;
        if (stopped()) break;
        m.driver.readSpeakerVolume();
        m.driver.readSpeakerVolumeLR();
        m.driver.readMicVolume();
        m.driver.readSurround();
        m.driver.readEnc();
        m.driver.readVoiceClarity();
        m.driver.readMagicVoice();
        m.driver.readEq();

        if (!button.isOpen()) button.open(m_buttonVendorId.load(), m_buttonProductId.load());
        int got = -1;
        if (button.isOpen()) {
            got = button.read(report, kButtonReadTimeoutMs);
            if (got < 0) button.close(); // reopened next cycle
        } else {
            // No interface to wait on: pace the cycle as a read that ran out.
            m.sleeper.sleepMs(kButtonReadTimeoutMs);
        }
        if (stopped()) break;
        if (got == kButtonPressBytes) {
            m.page.queueCall("onHidRead", {int(report[1])});
            continue;
        }
        if (!m_mirror.pushNextChange(m.driver.values(), m.page)) qDebug() << "run...";
    }
}

void DeviceEngine::readSpeakerVolume() {
    m.driver.readSpeakerVolume();
    const DriverValues v = m.driver.values();
    m.page.queueCall("onDriverRead_SpVolValue", {v.speakerVolume});
    m.page.queueCall("onDriverRead_SpVolMute", {v.speakerMute});
}

void DeviceEngine::readSpeakerVolumeLR() {
    m.driver.readSpeakerVolumeLR();
    const DriverValues v = m.driver.values();
    m.page.queueCall("onDriverRead_SpVolValue_LR", {v.speakerLeft, v.speakerRight});
    m.page.queueCall("onDriverRead_SpVolMute", {v.speakerMute});
}

void DeviceEngine::readMicVolume() {
    m.driver.readMicVolume();
    const DriverValues v = m.driver.values();
    m.page.queueCall("onDriverRead_MicVolValue", {v.micVolume});
    m.page.queueCall("onDriverRead_MicVolMute", {v.micMute});
}

} // namespace panel
