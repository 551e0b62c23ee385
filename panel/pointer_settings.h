#pragma once

// The three pointer settings the settings block carries (pointer speed,
// wheel scroll lines, double-click time) and pointer acceleration. The panel
// keeps them in a file of its own and leaves the desktop's pointer as it is.

#include <QSettings>
#include <QString>

#include <cstdint>
#include <memory>
#include <mutex>

namespace panel {

struct MouseTriple {
    int threshold1 = 6;
    int threshold2 = 10;
    int acceleration = 1;
};

class IPointerSettings {
public:
    virtual ~IPointerSettings() = default;
    // Speed 1 to 20; anything else is refused.
    virtual bool setSpeed(int speed) = 0;
    virtual bool speed(int& out) const = 0;
    virtual bool setWheelLines(unsigned lines) = 0;
    virtual bool wheelLines(unsigned& out) const = 0;
    virtual bool setDoubleClickMs(unsigned ms) = 0;
    virtual unsigned doubleClickMs() const = 0;
    virtual bool setMouse(const MouseTriple& mouse) = 0;
    virtual bool mouse(MouseTriple& out) const = 0;
};

// Kept in an INI file; a missing file gives the usual desktop defaults.
class IniPointerSettings final : public IPointerSettings {
public:
    explicit IniPointerSettings(const QString& path);
    bool setSpeed(int speed) override;
    bool speed(int& out) const override;
    bool setWheelLines(unsigned lines) override;
    bool wheelLines(unsigned& out) const override;
    bool setDoubleClickMs(unsigned ms) override;
    unsigned doubleClickMs() const override;
    bool setMouse(const MouseTriple& mouse) override;
    bool mouse(MouseTriple& out) const override;

private:
    bool store(const QString& key, const QVariant& value); // under the lock, synced
    bool readNumber(const QString& key, unsigned fallback, unsigned& out) const;
    QVariant value(const QString& key, const QVariant& fallback = {}) const; // under the lock

    mutable std::mutex m_mutex;
    // None when the path holds something other than a regular file: reads
    // give the defaults and writes fail.
    std::unique_ptr<QSettings> m_file;
};

// The settings block's codes for the pointer settings.
bool setCursorSpeed(IPointerSettings& pointer, std::uint8_t code); // speed 2 x code, at least 1
std::uint8_t getCursorSpeed(const IPointerSettings& pointer);      // speed / 2; 5 on failure
bool setVerticalScrollLines(IPointerSettings& pointer, std::uint8_t code); // code + 1 lines
std::uint8_t
getVerticalScrollLines(const IPointerSettings& pointer); // lines - 1, 0..10; 2 on failure
// 900 - 70 x code ms, never below 0.
bool setDoubleClickSpeed(IPointerSettings& pointer, std::uint8_t code);
// (900 - time) / 70; a time above 900 ms gives 0.
std::uint8_t getDoubleClickSpeed(const IPointerSettings& pointer);
bool setAcceleration(IPointerSettings& pointer, bool on);
bool getAcceleration(const IPointerSettings& pointer); // false on failure

} // namespace panel
