#include "panel/profile_store.h"

#include "panel/damaged_file.h"
#include "panel/regular_file.h"

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

QString key(const char* group, unsigned index) { return QString("%1/%2").arg(group).arg(index); }

bool isNumber(const QVariant& v) {
    bool ok = false;
    v.toString().toULongLong(&ok);
    return ok;
}

bool isByte(const QVariant& v) {
    bool ok = false;
    return v.toString().toULongLong(&ok) <= 255 && ok;
}

// The writer stores every block whole, as a list of its bytes, and the time
// stamp and profile as numbers. A list reads back as text from the file and
// as the values written from this process's own copy of it.
QString blockFault(const QSettings& file, const char* group, unsigned count, int size) {
    for (unsigned i = 0; i < count; ++i) {
        const QVariant v = file.value(key(group, i));
        if (!v.isValid()) continue;
        bool ok = v.userType() == QMetaType::QStringList || v.userType() == QMetaType::QVariantList;
        for (const QVariant& entry : v.toList()) ok = ok && isNumber(entry);
        if (!ok) return key(group, i) + " is not a list of numbers";
        const QVariantList list = v.toList();
        if (list.size() != size)
            return QString("%1 holds %2 numbers, not %3")
                .arg(key(group, i))
                .arg(list.size())
                .arg(size);
        if (!std::all_of(list.begin(), list.end(), isByte))
            return key(group, i) + " holds a number beyond 255";
    }
    return {};
}

QString profileFault(const QString& path, const QSettings& file) {
    if (!iniReadsCleanly(path)) return "lines Qt's INI reader cannot take";
    struct Blocks {
        const char* group;
        unsigned count;
        int size;
    };
    for (const Blocks& b : {Blocks{"option", kProfiles, int(OptionBlock{}.size())},
                            Blocks{"matrix", kProfiles, int(MatrixBlock{}.size())},
                            Blocks{"macro", kMacroSlots, int(MacroBlock{}.size())}}) {
        const QString fault = blockFault(file, b.group, b.count, b.size);
        if (!fault.isEmpty()) return fault;
    }
    for (const char* name : {"common/timeFlag", "common/curProfile"}) {
        const QVariant v = file.value(name);
        if (v.isValid() && !isNumber(v)) return QString(name) + " is not a number";
    }
    const QVariant profile = file.value("common/curProfile");
    if (profile.isValid() && profile.toULongLong() >= kProfiles)
        return "common/curProfile is not one of the profiles";
    return {};
}

} // namespace

ProfileStore::ProfileStore(const QString& path) : m_path(path) {
    if (mayOpenDataFile(path)) m_file = std::make_unique<QSettings>(path, QSettings::IniFormat);
}

void ProfileStore::load() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_file) return;
    const QSettings& file = *m_file;
    const QString fault = profileFault(m_path, file);
    for (unsigned p = 0; p < kProfiles; ++p) {
        readList(file, key("option", p), m_options[p]);
        readList(file, key("matrix", p), m_matrices[p]);
    }
    for (unsigned m = 0; m < kMacroSlots; ++m) readList(file, key("macro", m), m_macros[m]);
    m_timeFlag = static_cast<std::int64_t>(file.value("common/timeFlag").toULongLong());
    // A profile the panel does not have keeps the first of the page's profiles.
    bool ok = false;
    const int stored = file.value("common/curProfile", 1).toInt(&ok);
    m_profileId = ok && stored >= 0 && stored < int(kProfiles) ? std::uint8_t(stored) : 1;
    if (!fault.isEmpty() && keepDamagedFileAside(m_path, fault)) writeFreshFile();
}

void ProfileStore::writeFreshFile() {
    m_file.reset();
    m_file = std::make_unique<QSettings>(m_path, QSettings::IniFormat);
    for (unsigned p = 0; p < kProfiles; ++p) {
        m_file->setValue(key("option", p), toList(m_options[p]));
        m_file->setValue(key("matrix", p), toList(m_matrices[p]));
    }
    for (unsigned m = 0; m < kMacroSlots; ++m)
        m_file->setValue(key("macro", m), toList(m_macros[m]));
    m_file->setValue("common/timeFlag", static_cast<qulonglong>(m_timeFlag));
    m_file->setValue("common/curProfile", int(m_profileId));
    syncDataFile(*m_file);
}

template <typename Set> bool ProfileStore::write(const Set& set) {
    if (!m_file) return false;
    set(*m_file);
    return syncDataFile(*m_file);
}

bool ProfileStore::saveProfileBlocks(unsigned profile) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (profile >= kProfiles) return false;
    return write([&](QSettings& file) {
        file.setValue(key("option", profile), toList(m_options[profile]));
        file.setValue(key("matrix", profile), toList(m_matrices[profile]));
    });
}

template <typename Blocks, typename Edit>
bool ProfileStore::edit(Blocks& blocks, const char* group, unsigned index, const Edit& change) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (index >= blocks.size()) return false;
    change(blocks[index]);
    write([&](QSettings& file) { file.setValue(key(group, index), toList(blocks[index])); });
    return true;
}

bool ProfileStore::editOption(unsigned profile, const std::function<void(OptionBlock&)>& change) {
    return edit(m_options, "option", profile, change);
}

bool ProfileStore::editMatrix(unsigned profile, const std::function<void(MatrixBlock&)>& change) {
    return edit(m_matrices, "matrix", profile, change);
}

bool ProfileStore::editMacro(unsigned slot, const std::function<void(MacroBlock&)>& change) {
    return edit(m_macros, "macro", slot, change);
}

void ProfileStore::restoreDefaultProfile(const QString& backupPath) {
    if (!mayOpenDataFile(backupPath)) return;
    const QSettings backup(backupPath, QSettings::IniFormat);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        readList(backup, key("option", 0), m_options[0]);
        readList(backup, key("matrix", 0), m_matrices[0]);
    }
    saveProfileBlocks(0);
}

void ProfileStore::storeTimeFlag(std::int64_t secondsSince1970) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_timeFlag = secondsSince1970;
    write([&](QSettings& file) {
        file.setValue("common/timeFlag", static_cast<qulonglong>(secondsSince1970));
    });
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

bool ProfileStore::setProfileId(std::uint8_t profile) {
    if (profile >= kProfiles) return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_profileId = profile;
    return true;
}

void ProfileStore::saveProfileId() {
    std::lock_guard<std::mutex> lock(m_mutex);
    write([&](QSettings& file) { file.setValue("common/curProfile", int(m_profileId)); });
}

} // namespace panel
