#include "panel/pointer_settings.h"

#include "panel/regular_file.h"

#include <QDebug>

namespace panel {

namespace {

constexpr int kMinSpeed = 1;
constexpr int kMaxSpeed = 20;
constexpr unsigned kLongestDoubleClickMs = 900;
constexpr unsigned kDoubleClickStepMs = 70;

} // namespace

IniPointerSettings::IniPointerSettings(const QString& path) {
    if (mayOpenDataFile(path)) m_file = std::make_unique<QSettings>(path, QSettings::IniFormat);
}

bool IniPointerSettings::store(const QString& key, const QVariant& value) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_file) return false;
    m_file->setValue(key, value);
    return syncDataFile(*m_file);
}

QVariant IniPointerSettings::value(const QString& key, const QVariant& fallback) const {
    return m_file ? m_file->value(key, fallback) : fallback;
}

bool IniPointerSettings::setSpeed(int speed) {
    if (speed < kMinSpeed || speed > kMaxSpeed) return false;
    return store("pointer/speed", speed);
}

bool IniPointerSettings::speed(int& out) const {
    unsigned v = 0;
    if (!readNumber("pointer/speed", 10, v)) return false;
    out = static_cast<int>(v);
    return true;
}

bool IniPointerSettings::setWheelLines(unsigned lines) {
    return store("pointer/wheelLines", lines);
}

bool IniPointerSettings::wheelLines(unsigned& out) const {
    return readNumber("pointer/wheelLines", 3, out);
}

bool IniPointerSettings::readNumber(const QString& key, unsigned fallback, unsigned& out) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    bool ok = false;
    const unsigned v = value(key, fallback).toUInt(&ok);
    if (!ok) return false;
    out = v;
    return true;
}

bool IniPointerSettings::setDoubleClickMs(unsigned ms) {
    return store("pointer/doubleClickMs", ms);
}

unsigned IniPointerSettings::doubleClickMs() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return value("pointer/doubleClickMs", 500u).toUInt();
}

bool IniPointerSettings::setMouse(const MouseTriple& mouse) {
    return store("pointer/mouse",
                 QVariantList{mouse.threshold1, mouse.threshold2, mouse.acceleration});
}

bool IniPointerSettings::mouse(MouseTriple& out) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const QVariant v = value("pointer/mouse");
    if (!v.isValid()) {
        out = MouseTriple{};
        return true;
    }
    const QVariantList list = v.toList();
    if (list.size() != 3) return false;
    out = {list[0].toInt(), list[1].toInt(), list[2].toInt()};
    return true;
}

bool setCursorSpeed(IPointerSettings& pointer, std::uint8_t code) {
    const int speed = code == 0 ? 1 : 2 * code;
    if (pointer.setSpeed(speed)) return true;
    qDebug() << "setCursorSpeed Failed";
    return false;
}

std::uint8_t getCursorSpeed(const IPointerSettings& pointer) {
    int speed = 0;
    if (pointer.speed(speed)) return static_cast<std::uint8_t>(speed / 2);
    qDebug() << "getCursorSpeed Failed";
    return 5;
}

bool setVerticalScrollLines(IPointerSettings& pointer, std::uint8_t code) {
    if (pointer.setWheelLines(code + 1u)) return true;
    qDebug() << "setVerticalScrollLines Failed";
    return false;
}

std::uint8_t getVerticalScrollLines(const IPointerSettings& pointer) {
    unsigned lines = 0;
    if (!pointer.wheelLines(lines)) {
        qDebug() << "getVerticalScrollLines Failed";
        return 2;
    }
    if (lines == 0) return 0;
    if (lines > 10) return 10;
    return static_cast<std::uint8_t>(lines - 1);
}

bool setDoubleClickSpeed(IPointerSettings& pointer, std::uint8_t code) {
    const unsigned step = kDoubleClickStepMs * code;
    const unsigned ms = step > kLongestDoubleClickMs ? 0 : kLongestDoubleClickMs - step;
    if (pointer.setDoubleClickMs(ms)) return true;
    qDebug() << "setDoubleClickSpeed Failed";
    return false;
}

std::uint8_t getDoubleClickSpeed(const IPointerSettings& pointer) {
    const unsigned ms = pointer.doubleClickMs();
    if (ms > kLongestDoubleClickMs) return 0;
    return static_cast<std::uint8_t>((kLongestDoubleClickMs - ms) / kDoubleClickStepMs);
}

bool setAcceleration(IPointerSettings& pointer, bool on) {
    MouseTriple m;
    if (pointer.mouse(m)) {
        m.acceleration = on ? 1 : 0;
        if (pointer.setMouse(m)) return true;
    }
    qDebug() << "setAcceleration Failed";
    return false;
}

bool getAcceleration(const IPointerSettings& pointer) {
    MouseTriple m;
    if (pointer.mouse(m)) return m.acceleration != 0;
    qDebug() << "getAcceleration Failed";
    return false;
}

} // namespace panel
