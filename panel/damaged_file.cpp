#include "panel/damaged_file.h"

#include <QDebug>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

namespace panel {

bool iniReadsCleanly(const QString& path) {
    // A file that cannot be opened is not judged: nothing reads or writes it.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return true;
    const QByteArray bytes = file.readAll();
    const QTemporaryDir scratch;
    if (!scratch.isValid()) return false;
    const QString copyPath = scratch.filePath("copy.ini");
    {
        QFile copy(copyPath);
        if (!copy.open(QIODevice::WriteOnly) || copy.write(bytes) != bytes.size()) return false;
    }
    QSettings copy(copyPath, QSettings::IniFormat);
    copy.allKeys(); // every section parsed
    return copy.status() == QSettings::NoError;
}

bool keepDamagedFileAside(const QString& path, const QString& fault) {
    QString aside = path + ".damaged";
    for (int n = 2; QFile::exists(aside); ++n) aside = path + ".damaged-" + QString::number(n);
    if (!QFile::rename(path, aside)) {
        qWarning().noquote() << QString("%1 is damaged (%2) and could not be kept aside as %3; "
                                        "it is left as it is")
                                    .arg(path, fault, aside);
        return false;
    }
    qWarning().noquote() << QString(
                                "%1 is damaged (%2); it is kept as %3 and a fresh one is written")
                                .arg(path, fault, aside);
    return true;
}

} // namespace panel
