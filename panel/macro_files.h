#pragma once

// The user's macros: one INI file per macro, "<name>.bin" in the macro
// folder, holding its lines and which headset slot it is assigned to.
// A name that could leave the folder ("/" or "..") is refused everywhere,
// as if its file did not exist, and so is a path that holds something other
// than a regular file (with a warning). A write that fails returns false,
// with a warning.

#include <QString>
#include <QStringList>
#include <QVariantList>

#include <optional>

namespace panel {

struct MacroConfig {
    int index = -1;    // the headset slot, -1 for none
    int repeat = 1;    // repeat count sent with the macro
    int usedTimes = 0; // key assignments that use the slot
    bool operator==(const MacroConfig&) const = default;
};

class MacroFiles {
public:
    explicit MacroFiles(const QString& folder) : m_folder(folder) {}

    static bool isSafeName(const QString& name);

    // "Macro 001", "Macro 002", ...: the first whose file does not exist,
    // created unassigned and empty. Empty when the file can't be written.
    QString create() const;
    bool remove(const QString& name) const;
    bool rename(const QString& oldName, const QString& newName) const;
    // Entries matching "*.bin", sorted by name ignoring case, with each
    // one's slot (-1 when it has none).
    QStringList fileNames() const;
    int slotOf(const QString& fileName) const;

    // Nothing when the file does not exist.
    std::optional<QStringList> lines(const QString& name) const;
    // Replaces every line; false, nothing written, when the file does not exist.
    bool saveLines(const QString& name, const QStringList& lines) const;
    std::optional<MacroConfig> config(const QString& name) const;
    // The use count is written only when `withUsedTimes`.
    bool setConfig(const QString& name, const MacroConfig& config, bool withUsedTimes) const;
    // Copies the file aside as "<name>.bin.damaged" before `repair` is
    // written into it; false when it could not be copied (see damaged_file.h).
    bool keepDamagedCopy(const QString& name, const QString& fault, const QString& repair) const;

private:
    QString pathOf(const QString& name) const { return m_folder + "/" + name + ".bin"; }
    bool exists(const QString& name) const;

    QString m_folder;
};

} // namespace panel
