#include "panel/app_config.h"

#include "panel/damaged_file.h"
#include "panel/file_counts.h"
#include "panel/regular_file.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
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

// The numbered keys under "common/", in the order of their numbers.
QList<int> numberedKeys(QSettings& ini) {
    ini.beginGroup("common");
    const QStringList keys = ini.childKeys();
    ini.endGroup();
    QList<int> numbers;
    for (const QString& key : keys) {
        bool ok = false;
        const int n = key.toInt(&ok);
        if (ok && n >= 0) numbers.append(n);
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

struct EntryRange {
    int first, last; // entries
    int least, most; // values
};
// What the settings page keeps in its entries; it puts any other value back
// into these ranges when it writes the list back.
constexpr EntryRange kEntryRanges[] = {
    {2, 2, 0, 1},    // font size choice
    {3, 32, 0, 255}, // palette colours
    {33, 33, 0, 9},  // selected colour
    {34, 34, 0, 10}, // text lighting step
};

QString entryFault(int index, const QVariant& value) {
    bool ok = false;
    const int n = value.toString().toInt(&ok);
    if (index == 1) {
        for (const Language& l : kLanguages)
            if (ok && QString::number(n) == l.code) return {};
        return "common/1 is not a language the panel has";
    }
    for (const EntryRange& r : kEntryRanges)
        if (index >= r.first && index <= r.last && (!ok || n < r.least || n > r.most))
            return QString("common/%1 is not within %2..%3").arg(index).arg(r.least).arg(r.most);
    return {};
}

// What keeps the panel from reading the file as it wrote it, or makes the
// settings page write back something else; empty when nothing does. Entries
// past the pages' own are any value the scene sent, but the count is always
// a whole number 0 or more and the file holds every entry it counts, no more.
QString configFault(const QString& path) {
    if (!iniReadsCleanly(path)) return "lines Qt's INI reader cannot take";
    QSettings ini(path, QSettings::IniFormat);
    const QVariant stored = ini.value("common/total");
    bool ok = true;
    const int total = stored.isValid() ? stored.toString().toInt(&ok) : 0;
    if (total < 0 || !ok) return "common/total is not a count";
    const QList<int> numbers = numberedKeys(ini);
    int held = 0; // entries 0 .. held - 1 are all there
    while (held < numbers.size() && numbers[held] == held) ++held;
    if (held < total) return QString("common/%1 is missing").arg(held);
    if (numbers.size() > total)
        return QString("common/total=%1 leaves out common/%2").arg(total).arg(numbers.last());
    for (int i = 1; i < std::min(total, kConfigEntries); ++i) {
        const QString fault = entryFault(i, ini.value("common/" + QString::number(i)));
        if (!fault.isEmpty()) return fault;
    }
    return {};
}

} // namespace

void AppConfig::save(const QVariantList& entries) const {
    if (!mayOpenDataFile(configPath())) return;
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
    syncDataFile(ini);
}

namespace {

// Entries past the pages' own are carried through, so the file holds as
// many entries as it has numbered keys, and never fewer than the pages use.
int configEntriesHeld(QSettings& ini) {
    return std::max(kConfigEntries, int(numberedKeys(ini).size()));
}

} // namespace

QVariantList AppConfig::load() const {
    if (!mayOpenDataFile(configPath())) return {};
    QSettings ini(configPath(), QSettings::IniFormat);
    const int total = boundedCount(ini.value("common/total", 0).toInt(), configEntriesHeld(ini),
                                   configPath(), "common/total");
    QVariantList entries;
    for (int i = 0; i < total; ++i)
        entries.append(loaded(ini.value("common/" + QString::number(i), 0)));
    return entries;
}

QString AppConfig::languageName() const {
    const QString fallback = "ChineseSimplified";
    const QString stored = mayOpenDataFile(configPath())
                               ? QSettings(configPath(), QSettings::IniFormat)
                                     .value("common/language", fallback)
                                     .toString()
                               : fallback;
    for (const Language& l : kLanguages)
        if (stored == l.name) {
            qDebug().noquote() << "****" + stored;
            return stored;
        }
    return {};
}

void AppConfig::reset() const {
    const QString factory = m_dir + "/configD.ini";
    if (!mayOpenDataFile(configPath())) return;
    QFile::remove(configPath());
    // Without a factory copy no preferences are left, as with none there.
    if (!mayOpenDataFile(factory) || !QFileInfo::exists(factory)) return;
    if (!QFile::copy(factory, configPath()))
        qWarning().noquote()
            << QString("%1 could not be written from %2").arg(configPath(), factory);
}

QString AppConfig::languageFile(int langCode) const {
    return m_dir + QString("/i18n/lang_%1.ini").arg(langCode, 6, 10, QChar('0'));
}

LanguageStrings::LanguageStrings(const AppConfig& config, int langCode) {
    const QString path = config.languageFile(langCode);
    if (!mayOpenDataFile(path)) return;
    m_file = std::make_unique<QSettings>(path, QSettings::IniFormat);
    // Parsed files are shared within the process: every reader of a language
    // file names the same codec, or the texts come back in another one.
    m_file->setIniCodec("UTF-8");
}

QString LanguageStrings::text(const QString& key) const {
    return m_file ? m_file->value(key).toString() : QString();
}

QString LanguageStrings::windowTitle() const { return text("strings/name"); }

QStringList LanguageStrings::uiStrings() const {
    QStringList out{text("font/family")};
    if (!m_file) return out;
    const int total = boundedCount(m_file->value("font/total", 0).toInt(), kUiStrings,
                                   m_file->fileName(), "font/total");
    for (qint64 n = 1; n <= total; ++n) out.append(text("strings/" + QString::number(n)));
    return out;
}

QStringList LanguageStrings::group(const QString& label, int index, int total) const {
    QStringList out;
    for (qint64 n = index; n < total; ++n) out.append(text(label + "/" + QString::number(n)));
    return out;
}

} // namespace panel
