#include "panel/damaged_file.h"

#include "panel/regular_file.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

namespace panel {

bool iniReadsCleanly(const QString& path) {
    // A file that cannot be opened is not judged: nothing reads or writes it.
    QFile file(path);
    if (!mayOpenDataFile(path) || !file.open(QIODevice::ReadOnly)) return true;
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

namespace {

// "<file>.damaged", or the first of "-2", "-3", ... after it not yet taken.
QString freeAsideName(const QString& path) {
    QString aside = path + ".damaged";
    for (int n = 2; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); ++n)
        aside = path + ".damaged-" + QString::number(n);
    return aside;
}

} // namespace

bool keepDamagedFileAside(const QString& path, const QString& fault) {
    const QString aside = freeAsideName(path);
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

bool keepDamagedCopy(const QString& path, const QString& fault, const QString& repair) {
    const QString aside = freeAsideName(path);
    if (!QFile::copy(path, aside)) {
        qWarning().noquote() << QString("%1 is damaged (%2) and could not be kept as %3; "
                                        "it is left as it is")
                                    .arg(path, fault, aside);
        return false;
    }
    qWarning().noquote()
        << QString("%1 is damaged (%2); it is kept as %3 and %4").arg(path, fault, aside, repair);
    return true;
}

} // namespace panel
