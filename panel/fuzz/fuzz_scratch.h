// A scratch folder per fuzz input. QSettings keeps a parse of each file for
// the whole process and trusts it while the file's size and time stamp stay
// the same, which inputs written within one millisecond can share; so every
// input gets a path no earlier one had. Also quiets Qt's debug output.
#pragma once

#include <QString>
#include <QTemporaryDir>

namespace panel_fuzz {

class InputFolder {
public:
    InputFolder();
    ~InputFolder();
    InputFolder(const InputFolder&) = delete;
    InputFolder& operator=(const InputFolder&) = delete;

    const QString& path() const { return m_path; }
    QString file(const QString& name) const { return m_path + "/" + name; }

private:
    QString m_path;
};

} // namespace panel_fuzz
