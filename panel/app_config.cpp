#include "panel/app_config.h"

#include "panel/damaged_file.h"
#include "panel/file_counts.h"

#include <QDebug>
#include <QFile>
#include <QSettings>

#include <algorithm>
#include <cmath>

namespace panel {

namespace {

struct Language {
    const char* code;
    const char* name;
};
// Compared in this order; the first match names the language.
constexpr Language kLanguages[] = {
    {"25044", "ChineseSimplified"},
    {"25208", "ChineseTraditional"},
    {"31000", "English"},
};

// The scene's numbers reach the panel as doubles; an INI file keeps
// fractions only as binary blobs, so whole numbers are stored as integers
// and other fractions as their decimal text.
QVariant storable(const QVariant& v) {
    if (v.userType() != QMetaType::Double && v.userType() != QMetaType::Float) return v;
    const double d = v.toDouble();
    if (std::trunc(d) == d && std::abs(d) < 9.0e15) return qlonglong(d);
    return QString::number(d, 'g', 17);
}

// Values come back from the file as text; whole numbers as ints.
QVariant loaded(const QVariant& v) {
    bool ok = false;
    const int n = v.toString().toInt(&ok);
    return ok ? QVariant(n) : v;
}

// What keeps the panel from reading the file as it wrote it; empty when
// nothing does. Entries are any value the scene sent, but the count is
// always a whole number 0 or more.
QString configFault(const QString& path) {
    if (!iniReadsCleanly(path)) return "lines Qt's INI reader cannot take";
    const QSettings ini(path, QSettings::IniFormat);
    const QVariant total = ini.value("common/total");
    bool ok = true;
    if (total.isValid() && (total.toString().toInt(&ok) < 0 || !ok))
        return "common/total is not a count";
    return {};
}

} // namespace

void AppConfig::save(const QVariantList& entries) const {
    const QString fault = configFault(configPath());
    if (!fault.isEmpty() && !keepDamagedFileAside(configPath(), fault)) return;
    QSettings ini(configPath(), QSettings::IniFormat);
    ini.setValue("common/total", int(entries.size()));
    if (entries.size() > 1) {
        const QString code = storable(entries[1]).toString();
        for (const Language& l : kLanguages)
            if (code == l.code) {
                ini.setValue("common/language", l.name);
                break;
            }
    }
    for (int i = 0; i < entries.size(); ++i)
        ini.setValue("common/" + QString::number(i), storable(entries[i]));
    ini.sync();
}

namespace {

// Entries past the pages' own are carried through, so the file holds as
// many entries as it has numbered keys, and never fewer than the pages use.
int configEntriesHeld(QSettings& ini) {
    ini.beginGroup("common");
    const QStringList keys = ini.childKeys();
    ini.endGroup();
    int numbered = 0;
    for (const QString& key : keys) {
        bool ok = false;
        if (key.toInt(&ok) >= 0 && ok) ++numbered;
    }
    return std::max(kConfigEntries, numbered);
}

} // namespace

QVariantList AppConfig::load() const {
    QSettings ini(configPath(), QSettings::IniFormat);
    const int total = boundedCount(ini.value("common/total", 0).toInt(), configEntriesHeld(ini),
                                   configPath(), "common/total");
    QVariantList entries;
    for (int i = 0; i < total; ++i)
        entries.append(loaded(ini.value("common/" + QString::number(i), 0)));
    return entries;
}

QString AppConfig::languageName() const {
    const QSettings ini(configPath(), QSettings::IniFormat);
    const QString stored = ini.value("common/language", "ChineseSimplified").toString();
    for (const Language& l : kLanguages)
        if (stored == l.name) {
            qDebug().noquote() << "****" + stored;
            return stored;
        }
    return {};
}

void AppConfig::reset() const {
    QFile::remove(configPath());
    QFile::copy(m_dir + "/configD.ini", configPath());
}

QString AppConfig::languageFile(int langCode) const {
    return m_dir + QString("/i18n/lang_%1.ini").arg(langCode, 6, 10, QChar('0'));
}

LanguageStrings::LanguageStrings(const AppConfig& config, int langCode)
    : m_file(config.languageFile(langCode), QSettings::IniFormat) {
    // Parsed files are shared within the process: every reader of a language
    // file names the same codec, or the texts come back in another one.
    m_file.setIniCodec("UTF-8");
}

QString LanguageStrings::windowTitle() const { return m_file.value("strings/name").toString(); }

QStringList LanguageStrings::uiStrings() const {
    QStringList out{m_file.value("font/family").toString()};
    const int total = boundedCount(m_file.value("font/total", 0).toInt(), kUiStrings,
                                   m_file.fileName(), "font/total");
    for (qint64 n = 1; n <= total; ++n)
        out.append(m_file.value("strings/" + QString::number(n)).toString());
    return out;
}

QStringList LanguageStrings::group(const QString& label, int index, int total) const {
    QStringList out;
    for (qint64 n = index; n < total; ++n)
        out.append(m_file.value(label + "/" + QString::number(n)).toString());
    return out;
}

} // namespace panel
