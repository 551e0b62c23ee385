#pragma once

// The panel's own preferences ("config.ini" in the data folder, with a
// factory copy "configD.ini") and the interface texts of each language
// ("i18n/lang_NNNNNN.ini", UTF-8). Every call opens its file and closes it.

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariantList>

namespace panel {

class AppConfig {
public:
    explicit AppConfig(const QString& dataDir) : m_dir(dataDir) {}

    // "common/total", the language name of entry 1 when it is a known
    // language code, and every entry under "common/" + i.
    void save(const QVariantList& entries) const;
    // Entries 0 .. total - 1; a missing entry reads as 0.
    QVariantList load() const;
    // The stored language name when it is one the panel knows, else empty.
    QString languageName() const;
    // The factory copy replaces the preferences.
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
    QSettings m_file;
};

} // namespace panel
