#pragma once

// The counts the panel reads from its files, held to what each file can
// hold: a count beyond it is read as the largest one, with a warning, so a
// damaged or hostile count never makes the panel read without end.

#include <QString>

namespace panel {

// "config.ini": entry 0, the language, the font size, ten palette colours of
// three entries each, the selected colour and the text lighting. Entries
// past these are carried through, so a file holds as many as it has
// numbered keys, and never fewer than these.
constexpr int kConfigEntries = 35;
// A language file: strings 1 .. 116, the scene's built-in list less its font.
constexpr int kUiStrings = 116;
// A macro file: a recording stops at its 46th line.
constexpr int kMacroLines = 46;

// `stored`, or `largest` with a warning naming the file and the key when
// `stored` is more.
int boundedCount(int stored, int largest, const QString& file, const char* key);

} // namespace panel
