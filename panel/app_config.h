#pragma once

// The panel's own preferences ("config.ini" in the data folder, with a
// factory copy "configD.ini") and the interface texts of each language
// ("i18n/lang_NNNNNN.ini", UTF-8). Every call opens its file and closes it;
// a path that holds something other than a regular file reads as missing and
// is neither written nor removed.

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <memory>

namespace panel {

class AppConfig {
public:
    explicit AppConfig(const QString& dataDir) : m_dir(dataDir) {}

    // "common/total", the language name of entry 1 when it is a known
    // language code, and every entry under "common/" + i. A file the panel
    // would not write back as it reads (damaged lines, a count that is not
    // one or does not match the numbered entries, an entry the page keeps
    // outside its range) is kept aside as "config.ini.damaged" first.
    void save(const QVariantList& entries) const;
    // Entries 0 .. total - 1; a missing entry reads as 0.
    QVariantList load() const;
    // The stored language name when it is one the panel knows, else empty.
    QString languageName() const;
    // The factory copy replaces the preferences; none is left without one.
    void reset() const;

    QString languageFile(int langCode) const;

private:
    QString configPath() const { return m_dir + "/config.ini"; }
    QString m_dir;
};

// The texts of one language file. A missing file reads as empty texts.
class LanguageStrings {
public:
    LanguageStrings(const AppConfig& config, int langCode);
    QString windowTitle() const;
    // The font family, then strings 1 .. "font/total".
    QStringList uiStrings() const;
    // label/index .. label/(total - 1).
    QStringList group(const QString& label, int index, int total) const;

private:
    QString text(const QString& key) const;

    std::unique_ptr<QSettings> m_file; // none for a path that is not a regular file
};

} // namespace panel
