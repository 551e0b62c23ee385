#include "platform/io/contained_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace io {
namespace {

ContainedFile refusal(ContainedOutcome outcome, std::string reason) {
    ContainedFile file;
    file.outcome = outcome;
    file.reason = std::move(reason);
    return file;
}

// True when path lies inside folder (both resolved, so no ".." or link is left).
bool inside(const std::filesystem::path& folder, const std::filesystem::path& path) {
    const auto [folderEnd, pathAt] =
        std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
    return folderEnd == folder.end() && pathAt != path.end();
}

const char* typeName(mode_t mode) {
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISLNK(mode)) return "a link";
    return "not a file";
}

} // namespace

HostDescriptor& HostDescriptor::operator=(HostDescriptor&& other) noexcept {
    if (this != &other) {
        reset();
        fd_ = other.release();
    }
    return *this;
}

int HostDescriptor::release() { return std::exchange(fd_, -1); }

void HostDescriptor::reset() {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
}

ContainedFile openContainedFile(const std::filesystem::path& folder,
                                const std::filesystem::path& path) {
    std::error_code error;
    const std::filesystem::path root =
        std::filesystem::canonical(folder.empty() ? "." : folder, error);
    if (error) return refusal(ContainedOutcome::Failed, "its folder: " + error.message());
    struct stat entry {};
    if (::lstat(path.c_str(), &entry) != 0) {
        if (errno == ENOENT) return refusal(ContainedOutcome::Missing, "no such file");
        return refusal(ContainedOutcome::Failed, std::strerror(errno));
    }
    const std::filesystem::path resolved = std::filesystem::canonical(path, error);
    if (error) {
        if (error == std::errc::no_such_file_or_directory)
            return refusal(ContainedOutcome::Missing, "a link to no file");
        return refusal(ContainedOutcome::Failed, "resolving its links: " + error.message());
    }
    if (!inside(root, resolved))
        return refusal(ContainedOutcome::Outside, "a link leading outside " + root.string() +
                                                      " (to " + resolved.string() + ")");

    // The resolved path has no link left; one put there since is not followed.
    HostDescriptor descriptor(
        ::open(resolved.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
    if (descriptor.get() < 0) {
        if (errno == ENOENT) return refusal(ContainedOutcome::Missing, "no such file");
        if (errno == ELOOP)
            return refusal(ContainedOutcome::Outside, "a link put in place while it was opened");
        return refusal(ContainedOutcome::Failed, std::strerror(errno));
    }
    struct stat opened {};
    if (::fstat(descriptor.get(), &opened) != 0)
        return refusal(ContainedOutcome::Failed, std::strerror(errno));
    if (S_ISDIR(opened.st_mode))
        return refusal(ContainedOutcome::Directory, "a directory, not a regular file");
    if (!S_ISREG(opened.st_mode))
        return refusal(ContainedOutcome::NotRegular,
                       std::string(typeName(opened.st_mode)) + ", not a regular file");
    ContainedFile file;
    file.outcome = ContainedOutcome::Opened;
    file.descriptor = std::move(descriptor);
    return file;
}

} // namespace io
