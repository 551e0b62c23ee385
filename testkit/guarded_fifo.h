// A FIFO for tests of code that must refuse one without ever blocking on it.
// While the guard lives, a thread of its own opens the FIFO for writing,
// without blocking, whenever a reader has it open, and closes it at once: a
// reader that (wrongly) opens it blocking gets past the open and reads end of
// file, so a regression fails its test instead of hanging it.
#pragma once

#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace testkit {

class GuardedFifo {
public:
    explicit GuardedFifo(std::filesystem::path path) : path_(std::move(path)) {
        if (::mkfifo(path_.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
        writer_ = std::thread([this] {
            while (!stop_.load()) {
                // Fails at once while no reader has the FIFO open.
                const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0) ::close(fd);
                std::this_thread::yield();
            }
        });
    }
    ~GuardedFifo() {
        stop_.store(true);
        writer_.join();
    }
    GuardedFifo(const GuardedFifo&) = delete;
    GuardedFifo& operator=(const GuardedFifo&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    std::atomic<bool> stop_{false};
    std::thread writer_;
};

} // namespace testkit
