// A folder of the fuzz entries' own under the system's temporary folder,
// made once per process and removed at its end.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace fuzz {

const std::filesystem::path& scratchFolder();

// Replaces the file's contents.
void writeFile(const std::filesystem::path& file, std::string_view bytes);
std::string readFile(const std::filesystem::path& file);
// Removes every file in the scratch folder.
void clearScratchFolder();

} // namespace fuzz
