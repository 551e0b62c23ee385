// Files in the system folder. A folder of the host, given by a test or the
// program that runs the driver, stands for "\SystemRoot\"; names under it
// compare without regard to case, as on the system the driver was written
// for. Only regular files inside the folder open, once links are resolved,
// and opening never blocks. Files open for reading only, and every read
// names its offset; small reads are served from a read-ahead of the handle,
// so reading a byte at a time costs no host call per byte. All of it runs at
// passive level.
#pragma once

#include "platform/io/io_status_block.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unicode_string.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace io {

// While it lives, folder stands for "\SystemRoot\"; the destructor takes it
// away again. One at a time. Without one, no path under "\SystemRoot\" exists.
class SystemRoot {
public:
    explicit SystemRoot(std::filesystem::path folder);
    ~SystemRoot();
    SystemRoot(const SystemRoot&) = delete;
    SystemRoot& operator=(const SystemRoot&) = delete;
};

// An open file, closed by its destructor.
class FileHandle {
public:
    FileHandle() = default;
    ~FileHandle() { close(); }
    FileHandle(FileHandle&& other) noexcept;
    FileHandle& operator=(FileHandle&& other) noexcept;

    bool isOpen() const { return descriptor_ >= 0; }
    void close();

private:
    friend struct FileHandleAccess;
    int descriptor_ = -1;
    std::uint64_t serial_ = 0; // its entry among the open files
    // The bytes read ahead and the offset of the first; a read hands out no
    // byte from before the last time the handle was opened.
    mutable std::vector<char> readAhead_;
    mutable std::int64_t readAheadOffset_ = 0;
};

// Opens an existing file "\SystemRoot\<name>[\<name>...]" for reading; an open
// handle handed in is closed first.
// - STATUS_OBJECT_NAME_INVALID: an empty name, ".", "..", or a name with "/"
//   or a zero character (nothing outside the folder can be reached);
// - STATUS_OBJECT_PATH_NOT_FOUND: a path not under "\SystemRoot\", no system
//   folder, or a folder on the way missing;
// - STATUS_OBJECT_NAME_NOT_FOUND: no such file; STATUS_FILE_IS_A_DIRECTORY;
// - STATUS_ACCESS_DENIED: a link that leads outside the folder;
// - STATUS_OBJECT_TYPE_MISMATCH: not a regular file (a FIFO, a device).
// A file refused for what it is (the last three) is named with the reason in
// a debug print.
// Where several names differ only in case, the one spelled as asked wins,
// else the first in byte order.
kernel::NTSTATUS openFile(FileHandle& file, const kernel::UnicodeString& path);

// Reads up to length bytes at offset; ioStatus gets the status and the count
// read. STATUS_END_OF_FILE (count 0) at or past the end;
// STATUS_INVALID_HANDLE for a closed handle; STATUS_INVALID_PARAMETER for a
// negative offset or a missing buffer.
kernel::NTSTATUS readFile(const FileHandle& file, void* buffer, std::uint32_t length,
                          std::int64_t offset, IoStatusBlock* ioStatus);

// The file's size in bytes; STATUS_INVALID_HANDLE for a closed handle,
// STATUS_INVALID_PARAMETER without a size to fill.
kernel::NTSTATUS queryFileSize(const FileHandle& file, std::int64_t* size);

// The paths of the files open now, in the order they were opened.
std::vector<std::string> openFilePaths();

} // namespace io
