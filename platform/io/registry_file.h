// The file that keeps the registry of a program between runs. It holds the
// registry's text (registry_text.h; only the needed key lines, so it grows
// with the registry, not with the square of its depth) followed by a line
// "end", so a file cut short is told from a complete one. A save writes the
// whole registry beside the file, flushes it to disk and renames it over the
// file, so a crash during a save leaves the previous file whole. The file
// must be a regular file in its own folder once links are resolved; it is
// checked without ever blocking, so a FIFO in its place is refused, not
// waited on.
#pragma once

#include "platform/kernel/status.h"

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace io {

class RegistryFile {
public:
    // Becomes the keeper of the registry in force: a flushKey on it saves the
    // file. Destroy it after the last registry call of the program.
    explicit RegistryFile(std::filesystem::path path);
    ~RegistryFile();
    RegistryFile(const RegistryFile&) = delete;
    RegistryFile& operator=(const RegistryFile&) = delete;

    // Adds the file's keys and values to the registry in force; a missing
    // file is an empty registry. Keys and values the registry cannot hold
    // (registry_text.h) are left out and the rest loads: a success whose
    // message, also a debug print, names their lines, and a copy of the file
    // is kept aside as a damaged file would be, so the next save loses
    // nothing of it (if the copy cannot be made, saves are refused). A damaged file loads nothing
    // and is kept aside, renamed to "<name>.damaged" (or "<name>.damaged-2", ...), so no later save
    // replaces it: STATUS_FILE_CORRUPT_ERROR, and message says what is wrong and where the file now
    // is. A file that cannot be read: STATUS_REGISTRY_IO_FAILED. So is one that is not a regular
    // file (a FIFO, a device, a directory) or a link leading out of the file's folder: nothing is
    // loaded, a debug print names it and the reason, and saves are refused from then on so it is
    // never written over.
    kernel::NTSTATUS load(std::string& message);

    // Writes the registry in force. On failure the file is left as it was:
    // STATUS_REGISTRY_IO_FAILED and message. Refused while a damaged file
    // could not be moved aside.
    kernel::NTSTATUS save(std::string& message);

    const std::filesystem::path& path() const { return path_; }

    // Larger files are taken as damaged.
    static constexpr std::uintmax_t maxFileBytes = 256u << 20;

private:
    kernel::NTSTATUS keepDamagedFileAside(const std::string& fault, std::string& message);
    void keepCopyOfFileWithLinesLeftOut(const std::string& text,
                                        const std::vector<std::string>& refused,
                                        std::string& message);

    const std::filesystem::path path_;
    std::mutex saving_;
    // Why saves are refused: a damaged file that could not be moved aside, or
    // a file that is not a registry file of its own. Under saving_.
    std::string refusedFileInPlace_;
};

} // namespace io
