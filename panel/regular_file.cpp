#include "panel/regular_file.h"

#include <QDebug>
#include <QFile>

#include <mutex>
#include <set>

#include <sys/stat.h>

namespace panel {

namespace {

const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

// Each path is named once for each kind of thing found there.
bool firstWarning(const QString& path, mode_t mode) {
    static std::mutex lock;
    static std::set<std::pair<QString, mode_t>> warned;
    std::lock_guard<std::mutex> guard(lock);
    return warned.insert({path, mode & S_IFMT}).second;
}

} // namespace

bool mayOpenDataFile(const QString& path) {
    struct stat status {};
    // stat follows a link, so a link to a FIFO is judged as the FIFO.
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) return true;
    if (S_ISREG(status.st_mode)) return true;
    if (firstWarning(path, status.st_mode))
        qWarning().noquote() << QString("%1 is %2, not a regular file; it is taken as missing, "
                                        "left as it is and not written")
                                    .arg(path, kindOf(status.st_mode));
    return false;
}

bool syncDataFile(QSettings& file) {
    if (!mayOpenDataFile(file.fileName())) return false;
    file.sync();
    // A format error is the reader's: the file was written all the same.
    if (file.status() != QSettings::AccessError) return true;
    qWarning().noquote()
        << QString("%1 could not be written; the change is not stored").arg(file.fileName());
    return false;
}

} // namespace panel
