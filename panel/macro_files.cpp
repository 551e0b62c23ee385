#include "panel/macro_files.h"

#include "panel/damaged_file.h"
#include "panel/file_counts.h"
#include "panel/regular_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace panel {

namespace {

// A stored number that is not one reads as the default.
int intValue(const QSettings& ini, const QString& key, int fallback) {
    bool ok = false;
    const int v = ini.value(key, fallback).toInt(&ok);
    return ok ? v : fallback;
}

QString createdName(int n) { return QString("Macro %1").arg(n, 3, 10, QChar('0')); }

} // namespace

bool MacroFiles::isSafeName(const QString& name) {
    return !name.contains('/') && !name.contains("..");
}

bool MacroFiles::exists(const QString& name) const {
    return isSafeName(name) && mayOpenDataFile(pathOf(name)) && QFileInfo(pathOf(name)).isFile();
}

QString MacroFiles::create() const {
    QDir().mkpath(m_folder);
    int n = 1;
    while (QFileInfo::exists(pathOf(createdName(n)))) ++n;
    const QString name = createdName(n);
    QSettings ini(pathOf(name), QSettings::IniFormat);
    ini.setValue("config/index", -1);
    ini.setValue("config/total", 0);
    ini.setValue("config/repeat", 1);
    ini.setValue("config/usedTimes", 0);
    return syncDataFile(ini) ? name : QString();
}

bool MacroFiles::remove(const QString& name) const {
    return exists(name) && QFile::remove(pathOf(name));
}

bool MacroFiles::rename(const QString& oldName, const QString& newName) const {
    // QFile::rename never replaces an existing file, so no macro is lost.
    return exists(oldName) && isSafeName(newName) &&
           QFile::rename(pathOf(oldName), pathOf(newName));
}

QStringList MacroFiles::fileNames() const {
    return QDir(m_folder).entryList({"*.bin"},
                                    QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                                    QDir::Name | QDir::IgnoreCase);
}

int MacroFiles::slotOf(const QString& fileName) const {
    // The listing names directories and FIFOs alike; only files are read.
    const QString path = m_folder + "/" + fileName;
    if (!mayOpenDataFile(path) || !QFileInfo(path).isFile()) return -1;
    const QSettings ini(path, QSettings::IniFormat);
    return intValue(ini, "config/index", -1);
}

std::optional<QStringList> MacroFiles::lines(const QString& name) const {
    if (!exists(name)) return std::nullopt;
    const QSettings ini(pathOf(name), QSettings::IniFormat);
    const int total =
        boundedCount(intValue(ini, "config/total", 0), kMacroLines, pathOf(name), "config/total");
    QStringList out;
    for (int i = 0; i < total; ++i)
        out.append(ini.value("macro/" + QString::number(i), "0").toString());
    return out;
}

bool MacroFiles::saveLines(const QString& name, const QStringList& lines) const {
    if (!exists(name)) return false;
    QSettings ini(pathOf(name), QSettings::IniFormat);
    ini.remove("macro");
    ini.setValue("config/total", int(lines.size()));
    for (int i = 0; i < lines.size(); ++i) ini.setValue("macro/" + QString::number(i), lines[i]);
    return syncDataFile(ini);
}

std::optional<MacroConfig> MacroFiles::config(const QString& name) const {
    if (!exists(name)) return std::nullopt;
    const QSettings ini(pathOf(name), QSettings::IniFormat);
    return MacroConfig{intValue(ini, "config/index", -1), intValue(ini, "config/repeat", 1),
                       intValue(ini, "config/usedTimes", 0)};
}

bool MacroFiles::setConfig(const QString& name, const MacroConfig& c, bool withUsedTimes) const {
    if (!exists(name)) return false;
    QSettings ini(pathOf(name), QSettings::IniFormat);
    ini.setValue("config/index", c.index);
    ini.setValue("config/repeat", c.repeat);
    if (withUsedTimes) ini.setValue("config/usedTimes", c.usedTimes);
    return syncDataFile(ini);
}

bool MacroFiles::keepDamagedCopy(const QString& name, const QString& fault,
                                 const QString& repair) const {
    return exists(name) && panel::keepDamagedCopy(pathOf(name), fault, repair);
}

} // namespace panel
