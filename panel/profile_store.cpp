#include "panel/profile_store.h"

#include <QVariantList>

#include <algorithm>

namespace panel {

namespace {

template <std::size_t N>
void readList(const QSettings& file, const QString& key, std::array<std::uint8_t, N>& block) {
    const QVariantList list = file.value(key).toList();
    const auto n = std::min<std::size_t>(static_cast<std::size_t>(list.size()), N);
    for (std::size_t i = 0; i < n; ++i)
        block[i] = static_cast<std::uint8_t>(list[static_cast<int>(i)].toUInt());
}

template <std::size_t N> QVariantList toList(const std::array<std::uint8_t, N>& block) {
    QVariantList list;
    for (std::uint8_t b : block) list.append(int(b));
    return list;
}

template <typename Blocks, typename Block>
bool copyOut(const Blocks& blocks, unsigned index, Block& out) {
    if (index >= blocks.size()) return false;
    out = blocks[index];
    return true;
}

template <typename Blocks, typename Block>
bool copyIn(Blocks& blocks, unsigned index, const Block& block) {
    if (index >= blocks.size()) return false;
    blocks[index] = block;
    return true;
}

} // namespace

ProfileStore::ProfileStore(const QString& path) : m_file(path, QSettings::IniFormat) {}

void ProfileStore::load() {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (unsigned p = 0; p < kProfiles; ++p) {
        readList(m_file, QString("option/%1").arg(p), m_options[p]);
        readList(m_file, QString("matrix/%1").arg(p), m_matrices[p]);
    }
    for (unsigned m = 0; m < kMacroSlots; ++m)
        readList(m_file, QString("macro/%1").arg(m), m_macros[m]);
    m_timeFlag = static_cast<std::int64_t>(m_file.value("common/timeFlag").toULongLong());
    m_profileId = static_cast<std::uint8_t>(m_file.value("common/curProfile", 1).toInt());
}

bool ProfileStore::saveProfileBlocks(unsigned profile) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (profile >= kProfiles) return false;
    m_file.setValue(QString("option/%1").arg(profile), toList(m_options[profile]));
    m_file.setValue(QString("matrix/%1").arg(profile), toList(m_matrices[profile]));
    m_file.sync();
    return m_file.status() == QSettings::NoError;
}

void ProfileStore::storeTimeFlag(std::int64_t secondsSince1970) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_timeFlag = secondsSince1970;
    m_file.setValue("common/timeFlag", static_cast<qulonglong>(secondsSince1970));
    m_file.sync();
}

bool ProfileStore::option(unsigned profile, OptionBlock& out) const {
    return locked([&] { return copyOut(m_options, profile, out); });
}

bool ProfileStore::setOption(unsigned profile, const OptionBlock& block) {
    return locked([&] { return copyIn(m_options, profile, block); });
}

bool ProfileStore::matrix(unsigned profile, MatrixBlock& out) const {
    return locked([&] { return copyOut(m_matrices, profile, out); });
}

bool ProfileStore::setMatrix(unsigned profile, const MatrixBlock& block) {
    return locked([&] { return copyIn(m_matrices, profile, block); });
}

bool ProfileStore::macro(unsigned slot, MacroBlock& out) const {
    return locked([&] { return copyOut(m_macros, slot, out); });
}

bool ProfileStore::setMacro(unsigned slot, const MacroBlock& block) {
    return locked([&] { return copyIn(m_macros, slot, block); });
}

std::int64_t ProfileStore::timeFlag() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_timeFlag;
}

std::uint8_t ProfileStore::profileId() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_profileId;
}

} // namespace panel
