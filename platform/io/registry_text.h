// The registry as text, for tests and for the file that keeps it. Each key
// is a line with its absolute path, followed by one line per value:
//
//   \Registry\Machine\SYSTEM\CurrentControlSet\Control\Class\{...}\0000\Settings
//     "IniVersion" binary 03 00 00 00
//     "PinName" sz 48 00 65 00
//
// Keys come parent first, subkeys in the order of their upper-case names,
// values in the order they were created. A value line is two blanks, the
// name in double quotes, the type (none, sz, expand_sz, binary, dword,
// dword_be, link, multi_sz, resource_list, full_resource_descriptor,
// resource_requirements_list, qword, or the number of any other type) and
// each data byte as two upper-case hex digits after a blank. In names, every
// character outside the printable ASCII range, and % and ", is written as %
// and four upper-case hex digits, so the text is plain ASCII and every line
// ends with a line feed.
#pragma once

#include "platform/kernel/status.h"

#include <string>
#include <string_view>
#include <vector>

namespace io {

// Which key lines a dump holds: every key's, or only those a load cannot do
// without: the first key's, and those of keys with values or without
// subkeys, since a key line makes the keys above it. Both load to the same
// registry; the second grows with the registry, not with the square of its
// depth, and is the form a registry file keeps.
enum class KeyLines { Every, Needed };

// The key at path and every key under it, in the registry in force; empty
// when there is no such key.
std::string dumpRegistry(std::u16string_view path = u"\\Registry",
                         KeyLines lines = KeyLines::Every);

// Adds the keys and values of a text to the registry in force: keys are
// created (with the keys above them), values set. All or nothing: a text
// that is not well formed changes nothing and gives STATUS_INVALID_PARAMETER
// and, in error, the line and what is wrong with it. Blank lines are allowed;
// a key listed twice, or a value twice in one key, is not.
//
// A key the registry cannot hold (deeper than maxKeyDepth, or with a name
// over maxKeyNameChars) and a value whose name is over maxValueNameChars are
// faults too, unless refused is given: then such a key is left out with its
// values, such a value alone, each noted in refused as "line N: what", and
// the rest loads.
kernel::NTSTATUS loadRegistry(std::string_view text, std::string* error = nullptr,
                              std::vector<std::string>* refused = nullptr);

} // namespace io
