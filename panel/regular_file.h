#pragma once

// The panel opens its data files only when they are regular files. A FIFO,
// a directory, a device or a socket where a data file belongs is named in
// one warning and taken as missing: nothing opens it, so nothing waits on a
// FIFO, and it is left where it is. Writes that fail are warned about.

#include <QSettings>
#include <QString>

namespace panel {

// True when `path` is a regular file (or a link to one) or when nothing is
// there, which readers take as missing and writers create. Anything else is
// false, with one warning per path: the caller neither reads nor writes it.
// Decided by the file's status alone, without opening it.
bool mayOpenDataFile(const QString& path);

// Writes `file` out. False, with a warning naming the file, when it could
// not be written or is no longer a regular file (then it is left alone).
bool syncDataFile(QSettings& file);

} // namespace panel
