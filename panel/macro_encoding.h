#pragma once

// A macro's lines as the headset plays them: a header 00 01, one event per
// press (01, code), release (81, code) and nonzero delay (7F, 00, then d / 10
// as two bytes, in units of 10 ms), and the end marker 00 00.
//
// A line is a value followed by a ten-character command: "    [Down]",
// "      [Up]" or "   [Delay]".

#include "panel/profile_store.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace panel {

// Key name to the headset's key code. Looking a name up enters it with
// code 0, and a code of 0 encodes nothing.
using MacroKeyCodes = QHash<QString, std::uint8_t>;

QList<std::uint8_t> macroIncode(const QStringList& lines, MacroKeyCodes& codes);

// The slot contents: the repeat count (high byte first) over the header,
// the events that fit whole with the end marker after them, zeros behind.
MacroBlock macroBlockFor(const QStringList& lines, MacroKeyCodes& codes, unsigned repeat);

} // namespace panel
