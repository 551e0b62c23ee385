#pragma once

// A data file the panel cannot read as it wrote it is kept aside before the
// panel writes a fresh one or repairs it, as "<file>.damaged" (then
// "<file>.damaged-2", "-3", ... so an earlier one is never written over),
// and the panel says so once in its debug output.

#include <QString>

namespace panel {

// Whether Qt's INI reader takes every line of the file; a missing file, or
// one that cannot be opened, is not judged.
// QSettings parses a file once per process and only the object that parsed
// it first learns of a format error, so this parses a private copy.
bool iniReadsCleanly(const QString& path);

// Renames the file aside and warns, naming `fault`. False, with a warning,
// when it could not be renamed: the caller then leaves it where it is.
bool keepDamagedFileAside(const QString& path, const QString& fault);

// Copies the file aside under the same names and warns, naming `fault` and
// the `repair` about to be written into the file itself. False, with a
// warning, when no copy could be made: the caller then leaves the file alone.
bool keepDamagedCopy(const QString& path, const QString& fault, const QString& repair);

} // namespace panel
