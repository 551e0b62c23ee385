#include "panel/settings_sync.h"

#include <QDebug>

#include <algorithm>

namespace panel {

namespace {

constexpr std::size_t kColourBase = 18;
constexpr std::size_t kColours = 7;
constexpr std::size_t kGamingMode = 39;
constexpr std::size_t kPointerSpeed = 40;
constexpr std::size_t kWheelLines = 41;
constexpr std::size_t kDoubleClick = 42;
constexpr std::size_t kKeyBytes = 64;

constexpr std::uint8_t kErased = 0xFF;

} // namespace

bool SettingsSync::readAllSettings(unsigned profile) {
    OptionBlock b{};
    MatrixBlock matrix{};
    if (!m_profiles.option(profile, b) || !m_profiles.matrix(profile, matrix)) return false;

    std::array<std::uint8_t, 4> four{};
    if (!m_hid.getCmd81(four)) return false;
    std::copy(four.begin(), four.end(), b.begin());

    std::array<std::uint8_t, kSmallBlockBytes> keys{};
    if (!m_hid.readCmd83(keys)) return false;
    std::copy(keys.begin(), keys.end(), matrix.begin() + kKeyBytes);

    if (!m_hid.hid_86H_GetLEDType(four)) return false;
    std::copy(four.begin(), four.end(), b.begin() + 4);

    std::array<std::uint8_t, 8> k{};
    if (!m_hid.getCmd8788(b[8], b[9], k)) return false;
    std::copy(k.begin(), k.end(), b.begin() + 10);

    for (std::size_t i = 0; i < kColours; ++i) {
        std::array<std::uint8_t, 3> colour{};
        if (!m_hid.hid_94H_GetColor(static_cast<std::uint8_t>(i), colour)) return false;
        std::copy(colour.begin(), colour.end(), b.begin() + kColourBase + 3 * i);
    }
    if (!m_hid.hid_96H_GetGamingMode(b[kGamingMode])) return false;

    b[kPointerSpeed] = getCursorSpeed(m_pointer);
    b[kWheelLines] = getVerticalScrollLines(m_pointer);
    b[kDoubleClick] = getDoubleClickSpeed(m_pointer);

    return m_profiles.setOption(profile, b) && m_profiles.setMatrix(profile, matrix);
}

bool SettingsSync::applySettings(unsigned profile) {
    OptionBlock b{};
    MatrixBlock matrix{};
    if (!m_profiles.option(profile, b) || !m_profiles.matrix(profile, matrix)) return false;

    bool ok = m_hid.sendProfileCmd09(static_cast<std::uint8_t>(profile));
    ok = m_hid.sendCmd01(b[0], b[1], b[2], b[3]) && ok;
    for (std::size_t i = 0; i < kColours; ++i) {
        const std::size_t at = kColourBase + 3 * i;
        ok = m_hid.sendCmd14(static_cast<std::uint8_t>(i), b[at], b[at + 1], b[at + 2]) && ok;
    }
    ok = m_hid.hid_06H_SetLEDType({b[4], b[5], b[6], b[7]}) && ok;
    std::array<std::uint8_t, 8> k{};
    std::copy_n(b.begin() + 10, 8, k.begin());
    ok = m_hid.sendCmd0708(b[8], b[9], k) && ok;
    ok = m_hid.sendCmd16(b[kGamingMode]) && ok;

    ok = setCursorSpeed(m_pointer, b[kPointerSpeed]) && ok;
    ok = setVerticalScrollLines(m_pointer, b[kWheelLines]) && ok;
    ok = setDoubleClickSpeed(m_pointer, b[kDoubleClick]) && ok;

    std::array<std::uint8_t, kSmallBlockBytes> keys{};
    std::copy_n(matrix.begin() + kKeyBytes, keys.size(), keys.begin());
    ok = m_hid.writeCmd03(keys) && ok;

    for (unsigned slot = 0; slot < kMacroSlots; ++slot) {
        MacroBlock macro{};
        m_profiles.macro(slot, macro);
        if (macro[2] == kErased && macro[3] == kErased) continue;
        ok = m_hid.writeCmd05(static_cast<std::uint8_t>(slot), macro) && ok;
    }
    return ok;
}

bool SettingsSync::readAndSave(unsigned profile) {
    return readAllSettings(profile) && saveProfileBlocks(profile);
}

bool SettingsSync::autoSync() {
    if (m_devices.curDid.load() < 0) return false;

    HidCommandSet::Version version;
    if (!m_hid.getVersion80(version)) return false;
    const QString text = QString("Ver %1.%2")
                             .arg(version.major, 2, 16, QChar(' '))
                             .arg(version.minor, 2, 16, QChar('0'));
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_versionText = text;
    }
    qDebug() << text;

    std::array<std::uint8_t, 6> stamp{};
    if (!m_hid.getCmd95(stamp)) return false;
    const std::int64_t firmwareTime =
        (std::int64_t{stamp[0]} << 24) | (stamp[1] << 16) | (stamp[2] << 8) | stamp[3];
    std::uint8_t flag = 0;
    if (!m_hid.getCmd89(flag)) return false;

    if (flag == 0) {
        qDebug() << "FW sync SW's default setting";
        if (!readAndSave(0)) return false;
    }
    const std::uint8_t profile = m_profiles.profileId();
    const std::int64_t timeFlag = m_profiles.timeFlag();
    if (timeFlag < firmwareTime) {
        qDebug() << "FW sync SW";
        if (!readAndSave(profile)) return false;
    } else if (firmwareTime < timeFlag) {
        qDebug() << "SW sync FW";
    }
    qDebug() << "autoSync 4"
             << "fw = " << firmwareTime << timeFlag << "sw= " << flag;

    const bool applied = applySettings(profile);
    return stampTimeFlag() && applied;
}

bool SettingsSync::stampTimeFlag() {
    const auto stamped = m_hid.stampTimeFlag();
    if (stamped) m_profiles.storeTimeFlag(*stamped);
    return stamped.has_value();
}

QString SettingsSync::versionText() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_versionText;
}

} // namespace panel
