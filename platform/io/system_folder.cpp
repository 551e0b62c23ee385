#include "platform/io/system_folder.h"

#include "platform/io/contained_file.h"
#include "platform/kernel/check.h"
#include "platform/kernel/debug_print.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/test_checks.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace io {
namespace {

constexpr std::u16string_view systemRootPrefix = u"\\SYSTEMROOT\\";
// Reads shorter than this are served from the handle's read-ahead.
constexpr std::size_t readAheadBytes = 64 * 1024;

struct FolderState {
    std::mutex lock;
    std::optional<std::filesystem::path> systemRoot;
    const SystemRoot* installedBy = nullptr;
    std::uint64_t lastSerial = 0;
    std::map<std::uint64_t, std::string> openFiles; // by serial, so in order of opening
};

FolderState& state() {
    static FolderState* instance = new FolderState;
    return *instance;
}

std::u16string upcase(std::u16string_view text) {
    std::u16string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(), kernel::upcaseChar);
    return upper;
}

// A host file name as UTF-16; empty when it is not valid UTF-8.
std::u16string decodeUtf8(std::string_view bytes) {
    std::u16string text;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const int extra = lead < 0x80    ? 0
                          : lead >= 0xF0 ? 3
                          : lead >= 0xE0 ? 2
                          : lead >= 0xC0 ? 1
                                         : -1;
        if (extra < 0 || lead > 0xF4 || i + extra >= bytes.size()) return {};
        char32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return {};
            code = (code << 6) | (next & 0x3F);
        }
        constexpr char32_t smallest[] = {0, 0x80, 0x800, 0x10000};
        if (code < smallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return {};
        if (code >= 0x10000) {
            text += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            text += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            text += static_cast<char16_t>(code);
        }
        i += static_cast<std::size_t>(extra) + 1;
    }
    return text;
}

// The path as 8-bit text for listings: non-ASCII characters as '?'.
std::string printable(std::u16string_view path) {
    std::string text;
    for (const char16_t c : path) text += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    return text;
}

bool acceptableName(std::u16string_view name) {
    return !name.empty() && name != u"." && name != u".." &&
           name.find_first_of(std::u16string_view(u"/\0", 2)) == std::u16string_view::npos;
}

// The entry of folder whose name is name without regard to case.
std::optional<std::filesystem::path> findEntry(const std::filesystem::path& folder,
                                               std::u16string_view name) {
    const std::u16string wanted = upcase(name);
    std::optional<std::string> best;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const std::string entry = it->path().filename().string();
        const std::u16string decoded = decodeUtf8(entry);
        if (decoded.empty() || upcase(decoded) != wanted) continue;
        if (decoded == name) return folder / entry;
        if (!best || entry < *best) best = entry;
    }
    if (!best) return std::nullopt;
    return folder / *best;
}

// Reads up to length bytes at offset, on over short reads; false when the host fails.
bool preadAll(int descriptor, void* buffer, std::size_t length, std::int64_t offset,
              std::size_t& count) {
    count = 0;
    while (count < length) {
        const ssize_t got = ::pread(descriptor, static_cast<char*>(buffer) + count, length - count,
                                    static_cast<off_t>(offset + static_cast<std::int64_t>(count)));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        count += static_cast<std::size_t>(got);
    }
    return true;
}

} // namespace

struct FileHandleAccess {
    static void open(FileHandle& file, int descriptor, std::uint64_t serial) {
        file.descriptor_ = descriptor;
        file.serial_ = serial;
    }
    static int descriptor(const FileHandle& file) { return file.descriptor_; }
    static std::vector<char>& readAhead(const FileHandle& file) { return file.readAhead_; }
    static std::int64_t& readAheadOffset(const FileHandle& file) { return file.readAheadOffset_; }
};

SystemRoot::SystemRoot(std::filesystem::path folder) {
    FolderState& s = state();
    std::lock_guard guard(s.lock);
    if (!kernel::check(!s.systemRoot, "a second system folder while one is in force")) return;
    s.systemRoot = std::move(folder);
    s.installedBy = this;
}

SystemRoot::~SystemRoot() {
    FolderState& s = state();
    std::lock_guard guard(s.lock);
    if (s.installedBy != this) return;
    s.systemRoot.reset();
    s.installedBy = nullptr;
}

FileHandle::FileHandle(FileHandle&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)), serial_(other.serial_),
      readAhead_(std::move(other.readAhead_)), readAheadOffset_(other.readAheadOffset_) {
    other.readAhead_.clear();
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        close();
        descriptor_ = std::exchange(other.descriptor_, -1);
        serial_ = other.serial_;
        readAhead_ = std::move(other.readAhead_);
        readAheadOffset_ = other.readAheadOffset_;
        other.readAhead_.clear();
    }
    return *this;
}

void FileHandle::close() {
    readAhead_.clear();
    if (descriptor_ < 0) return;
    ::close(std::exchange(descriptor_, -1));
    FolderState& s = state();
    std::lock_guard guard(s.lock);
    s.openFiles.erase(serial_);
}

kernel::NTSTATUS openFile(FileHandle& file, const kernel::UnicodeString& path) {
    file.close();
    if (!kernel::requireIrql(kernel::Irql::Passive, "file open"))
        return kernel::STATUS_UNSUCCESSFUL;
    std::u16string_view rest = path.view();
    if (rest.size() < systemRootPrefix.size() ||
        upcase(rest.substr(0, systemRootPrefix.size())) != systemRootPrefix)
        return kernel::STATUS_OBJECT_PATH_NOT_FOUND;
    rest.remove_prefix(systemRootPrefix.size());

    std::vector<std::u16string_view> names;
    for (;;) {
        const std::size_t end = std::min(rest.find(u'\\'), rest.size());
        names.push_back(rest.substr(0, end));
        if (!acceptableName(names.back())) return kernel::STATUS_OBJECT_NAME_INVALID;
        if (end == rest.size()) break;
        rest.remove_prefix(end + 1);
    }

    std::filesystem::path location;
    {
        FolderState& s = state();
        std::lock_guard guard(s.lock);
        if (!s.systemRoot) return kernel::STATUS_OBJECT_PATH_NOT_FOUND;
        location = *s.systemRoot;
    }
    const std::filesystem::path root = location;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const bool last = i + 1 == names.size();
        const std::optional<std::filesystem::path> entry = findEntry(location, names[i]);
        if (!entry)
            return last ? kernel::STATUS_OBJECT_NAME_NOT_FOUND
                        : kernel::STATUS_OBJECT_PATH_NOT_FOUND;
        std::error_code error;
        const bool folder = std::filesystem::is_directory(*entry, error);
        if (!last && !folder) return kernel::STATUS_OBJECT_PATH_NOT_FOUND;
        if (last && folder) {
            kernel::debugPrint("System folder: %s refused: a directory, not a regular file\n",
                               printable(path.view()).c_str());
            return kernel::STATUS_FILE_IS_A_DIRECTORY;
        }
        location = *entry;
    }

    ContainedFile opened = openContainedFile(root, location);
    switch (opened.outcome) {
    case ContainedOutcome::Opened:
        break;
    case ContainedOutcome::Missing:
        return kernel::STATUS_OBJECT_NAME_NOT_FOUND;
    case ContainedOutcome::Directory:
    case ContainedOutcome::Outside:
    case ContainedOutcome::NotRegular:
    case ContainedOutcome::Failed:
        kernel::debugPrint("System folder: %s refused: %s\n", printable(path.view()).c_str(),
                           opened.reason.c_str());
        switch (opened.outcome) {
        case ContainedOutcome::Directory:
            return kernel::STATUS_FILE_IS_A_DIRECTORY;
        case ContainedOutcome::Outside:
            return kernel::STATUS_ACCESS_DENIED;
        case ContainedOutcome::NotRegular:
            return kernel::STATUS_OBJECT_TYPE_MISMATCH;
        default:
            return kernel::STATUS_OBJECT_NAME_NOT_FOUND;
        }
    }
    const int descriptor = opened.descriptor.release();
    FolderState& s = state();
    std::lock_guard guard(s.lock);
    const std::uint64_t serial = ++s.lastSerial;
    s.openFiles.emplace(serial, printable(path.view()));
    FileHandleAccess::open(file, descriptor, serial);
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS readFile(const FileHandle& file, void* buffer, std::uint32_t length,
                          std::int64_t offset, IoStatusBlock* ioStatus) {
    if (ioStatus == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    const auto finish = [ioStatus](kernel::NTSTATUS status, std::size_t count) {
        ioStatus->status = status;
        ioStatus->information = count;
        return status;
    };
    if (!kernel::requireIrql(kernel::Irql::Passive, "file read"))
        return finish(kernel::STATUS_UNSUCCESSFUL, 0);
    if (!file.isOpen()) return finish(kernel::STATUS_INVALID_HANDLE, 0);
    if (offset < 0 || offset > INT64_MAX - length || (buffer == nullptr && length != 0))
        return finish(kernel::STATUS_INVALID_PARAMETER, 0);
    const int descriptor = FileHandleAccess::descriptor(file);
    std::vector<char>& ahead = FileHandleAccess::readAhead(file);
    std::int64_t& aheadOffset = FileHandleAccess::readAheadOffset(file);
    const bool small = length < readAheadBytes;
    const bool held = offset >= aheadOffset &&
                      offset + length <= aheadOffset + static_cast<std::int64_t>(ahead.size());
    if (small && !held) {
        // Read ahead from the offset; a read up to the end of the file finds it there too.
        ahead.resize(readAheadBytes);
        std::size_t filled = 0;
        if (!preadAll(descriptor, ahead.data(), readAheadBytes, offset, filled)) {
            ahead.clear();
            return finish(kernel::STATUS_UNSUCCESSFUL, 0);
        }
        ahead.resize(filled);
        aheadOffset = offset;
    }
    std::size_t count = 0;
    if (small) {
        const auto start = static_cast<std::size_t>(offset - aheadOffset);
        count = start < ahead.size() ? std::min<std::size_t>(length, ahead.size() - start) : 0;
        if (count != 0) std::memcpy(buffer, ahead.data() + start, count);
    } else if (!preadAll(descriptor, buffer, length, offset, count)) {
        return finish(kernel::STATUS_UNSUCCESSFUL, count);
    }
    if (count == 0 && length != 0) return finish(kernel::STATUS_END_OF_FILE, 0);
    return finish(kernel::STATUS_SUCCESS, count);
}

kernel::NTSTATUS queryFileSize(const FileHandle& file, std::int64_t* size) {
    if (size == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (!kernel::requireIrql(kernel::Irql::Passive, "file size query"))
        return kernel::STATUS_UNSUCCESSFUL;
    if (!file.isOpen()) return kernel::STATUS_INVALID_HANDLE;
    struct stat status {};
    if (::fstat(FileHandleAccess::descriptor(file), &status) != 0)
        return kernel::STATUS_UNSUCCESSFUL;
    *size = status.st_size;
    return kernel::STATUS_SUCCESS;
}

std::vector<std::string> openFilePaths() {
    FolderState& s = state();
    std::lock_guard guard(s.lock);
    std::vector<std::string> paths;
    for (const auto& [serial, path] : s.openFiles) paths.push_back(path);
    return paths;
}

namespace {

// A test closes every file it opened.
std::uint64_t serialAtTestStart = 0; // under the folder state's lock

void noteFilesAtTestStart() {
    FolderState& s = state();
    std::lock_guard guard(s.lock);
    serialAtTestStart = s.lastSerial;
}

std::string filesLeftOpen() {
    FolderState& s = state();
    std::lock_guard guard(s.lock);
    std::string text;
    for (auto it = s.openFiles.upper_bound(serialAtTestStart); it != s.openFiles.end(); ++it)
        text += (text.empty() ? "file(s) left open: " : ", ") + it->second;
    return text;
}

const kernel::TestCheckRegistrar openFilesCheck({"open files", noteFilesAtTestStart,
                                                 filesLeftOpen});

} // namespace

} // namespace io
