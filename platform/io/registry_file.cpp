#include "platform/io/registry_file.h"

#include "platform/io/contained_file.h"
#include "platform/io/registry.h"
#include "platform/io/registry_text.h"
#include "platform/kernel/debug_print.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace io {
namespace {

constexpr std::string_view endLine = "end\n";

std::string systemError(const std::string& what, const std::filesystem::path& path) {
    return what + " " + path.string() + ": " + std::strerror(errno);
}

// An open descriptor, closed by the destructor.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool close() { return ::close(std::exchange(fd_, -1)) == 0; }

private:
    int fd_;
};

// Reads a whole file, which must be a regular file in its own folder once
// links are resolved; false with reason set when it cannot or must not.
bool readWholeFile(const std::filesystem::path& path, std::string& text, bool& tooLarge,
                   ContainedFile& opened) {
    opened = openContainedFile(path.parent_path(), path);
    if (opened.outcome != ContainedOutcome::Opened) return false;
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(opened.descriptor.get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            opened.outcome = ContainedOutcome::Failed;
            opened.reason = std::strerror(errno);
            return false;
        }
        if (got == 0) return true;
        if (text.size() + static_cast<std::size_t>(got) > RegistryFile::maxFileBytes) {
            tooLarge = true;
            return true;
        }
        text.append(chunk, static_cast<std::size_t>(got));
    }
}

bool writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t put = ::write(fd, text.data(), text.size());
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

// Writes a file whole and flushes it to disk. Null when done; otherwise what
// failed, with errno set: "cannot create" (nothing was made) or "cannot
// write" (a file was made and is removed again).
const char* writeDurably(const std::filesystem::path& path, std::string_view text,
                         int createFlags) {
    Descriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | createFlags, 0644));
    if (file.get() < 0) return "cannot create";
    if (writeAll(file.get(), text) && ::fsync(file.get()) == 0 && file.close()) return nullptr;
    const int error = errno;
    ::unlink(path.c_str());
    errno = error;
    return "cannot write";
}

// The first of "<name>.damaged", "<name>.damaged-2", ... that does not exist.
std::filesystem::path freeAsideName(const std::filesystem::path& path) {
    std::filesystem::path aside = path;
    aside += ".damaged";
    std::error_code ignored;
    for (int n = 2; std::filesystem::exists(aside, ignored); ++n) {
        aside = path;
        aside += ".damaged-" + std::to_string(n);
    }
    return aside;
}

bool syncFolder(const std::filesystem::path& folder) {
    Descriptor directory(
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return directory.get() >= 0 && ::fsync(directory.get()) == 0;
}

} // namespace

RegistryFile::RegistryFile(std::filesystem::path path) : path_(std::move(path)) {
    setRegistryFlushHandler([this] {
        std::string message;
        const kernel::NTSTATUS status = save(message);
        if (!kernel::succeeded(status))
            kernel::debugPrint("Registry flush failed: %s\n", message.c_str());
        return status;
    });
}

RegistryFile::~RegistryFile() { setRegistryFlushHandler(nullptr); }

kernel::NTSTATUS RegistryFile::load(std::string& message) {
    message.clear();
    std::string text;
    bool tooLarge = false;
    ContainedFile opened;
    if (!readWholeFile(path_, text, tooLarge, opened)) {
        if (opened.outcome == ContainedOutcome::Missing) return kernel::STATUS_SUCCESS;
        message = "cannot read " + path_.string() + ": " + opened.reason;
        if (opened.outcome != ContainedOutcome::Failed) {
            // Not a registry file of its own: never written over.
            std::lock_guard guard(saving_);
            refusedFileInPlace_ = "it is " + opened.reason;
            message += "; nothing was loaded, and it will not be written over";
        }
        kernel::debugPrint("Registry file refused: %s\n", message.c_str());
        return kernel::STATUS_REGISTRY_IO_FAILED;
    }
    if (tooLarge) return keepDamagedFileAside("larger than a registry file may be", message);
    if (!text.ends_with(endLine))
        return keepDamagedFileAside("it does not end with its end line (cut short?)", message);
    std::string fault;
    std::vector<std::string> refused;
    const std::string_view registryText(text.data(), text.size() - endLine.size());
    if (!kernel::succeeded(loadRegistry(registryText, &fault, &refused)))
        return keepDamagedFileAside(fault, message);
    if (!refused.empty()) keepCopyOfFileWithLinesLeftOut(text, refused, message);
    return kernel::STATUS_SUCCESS;
}

void RegistryFile::keepCopyOfFileWithLinesLeftOut(const std::string& text,
                                                  const std::vector<std::string>& refused,
                                                  std::string& message) {
    std::lock_guard guard(saving_);
    message = "registry file " + path_.string() + " holds what the registry cannot (";
    for (const std::string& line : refused)
        message += (&line == &refused.front() ? "" : "; ") + line;
    message += "); the rest was loaded";
    const std::filesystem::path aside = freeAsideName(path_);
    if (writeDurably(aside, text, O_EXCL) == nullptr) {
        message += ", and the file as it was is kept as " + aside.string();
    } else {
        message += ", but the file as it was could not be kept aside (" +
                   std::string(std::strerror(errno)) + "), so it will not be written over";
        refusedFileInPlace_ = "the registry file " + path_.string() +
                              ", which holds what the registry cannot, could not be kept aside";
    }
    kernel::debugPrint("Registry file partly loaded: %s\n", message.c_str());
}

kernel::NTSTATUS RegistryFile::keepDamagedFileAside(const std::string& fault,
                                                    std::string& message) {
    std::lock_guard guard(saving_);
    const std::filesystem::path aside = freeAsideName(path_);
    message = "registry file " + path_.string() + " is damaged (" + fault + "); nothing was loaded";
    if (::rename(path_.c_str(), aside.c_str()) != 0) {
        refusedFileInPlace_ =
            "the damaged registry file " + path_.string() + " could not be kept aside";
        message += ", and it could not be kept aside (" + std::string(std::strerror(errno)) +
                   "), so it will not be written over";
    } else {
        message += "; it is kept as " + aside.string();
    }
    return kernel::STATUS_FILE_CORRUPT_ERROR;
}

kernel::NTSTATUS RegistryFile::save(std::string& message) {
    message.clear();
    std::lock_guard guard(saving_);
    if (!refusedFileInPlace_.empty()) {
        message = "not written: " + refusedFileInPlace_;
        return kernel::STATUS_REGISTRY_IO_FAILED;
    }
    std::filesystem::path aside = path_;
    aside += ".new";
    const std::string text = dumpRegistry(u"\\Registry", KeyLines::Needed) + std::string(endLine);
    if (const char* failed = writeDurably(aside, text, O_TRUNC)) {
        message = systemError(failed, aside);
        return kernel::STATUS_REGISTRY_IO_FAILED;
    }
    if (::rename(aside.c_str(), path_.c_str()) != 0) {
        message = systemError("cannot rename " + aside.string() + " to", path_);
        ::unlink(aside.c_str());
        return kernel::STATUS_REGISTRY_IO_FAILED;
    }
    if (!syncFolder(path_.parent_path())) {
        message = systemError("cannot flush the folder of", path_);
        return kernel::STATUS_REGISTRY_IO_FAILED;
    }
    return kernel::STATUS_SUCCESS;
}

} // namespace io
