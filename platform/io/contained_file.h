// Opening a host file that must be a regular file inside a given folder once
// every link on its way is resolved: the system folder's files and a
// program's registry file. Opening never blocks (a FIFO is refused, not
// waited on): the resolved path is opened without following a last link and
// without blocking, and the open file's own type decides.
#pragma once

#include <filesystem>
#include <string>

namespace io {

// An open host descriptor, closed by the destructor.
class HostDescriptor {
public:
    HostDescriptor() = default;
    explicit HostDescriptor(int fd) : fd_(fd) {}
    ~HostDescriptor() { reset(); }
    HostDescriptor(HostDescriptor&& other) noexcept : fd_(other.release()) {}
    HostDescriptor& operator=(HostDescriptor&& other) noexcept;

    int get() const { return fd_; }
    int release();
    void reset();

private:
    int fd_ = -1;
};

enum class ContainedOutcome {
    Opened,
    Missing,    // no such file (or a link to nothing)
    Outside,    // it resolves to a place outside the folder
    Directory,  // a directory
    NotRegular, // a FIFO, a device, a socket
    Failed,     // the host refused (reason holds its error)
};

struct ContainedFile {
    ContainedOutcome outcome = ContainedOutcome::Failed;
    HostDescriptor descriptor; // open for reading when Opened
    std::string reason;        // what is wrong, for a message: "a FIFO, not a regular file"
};

ContainedFile openContainedFile(const std::filesystem::path& folder,
                                const std::filesystem::path& path);

} // namespace io
