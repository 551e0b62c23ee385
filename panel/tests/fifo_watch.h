#pragma once

// A FIFO that tells whether anything opened it for reading, without letting a
// reader that should not be there wait forever: a writer waits on the FIFO's
// other end from a thread of its own, so every reader that opens it gets an
// empty read at once, and is recorded. At the end the watch releases its writer
// itself, through a name of the FIFO's own ("<path>.watch"), so whatever the
// panel does with the other names never keeps the watch from ending.

#include <atomic>
#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace panel_test {

class FifoWatch {
public:
    explicit FifoWatch(const std::filesystem::path& path) : m_path(path.string() + ".watch") {
        m_made = ::mkfifo(path.c_str(), 0600) == 0 && ::link(path.c_str(), m_path.c_str()) == 0;
        if (!m_made) return;
        m_writer = std::thread([this] {
            // Waits until a reader opens the FIFO, then closes, so the reader
            // reads its end; again for every reader until the watch ends.
            while (!m_releasing) {
                const int fd = ::open(m_path.c_str(), O_WRONLY | O_CLOEXEC);
                if (!m_releasing) m_opened = true;
                if (fd >= 0) ::close(fd);
            }
        });
    }
    ~FifoWatch() { release(); }
    FifoWatch(const FifoWatch&) = delete;
    FifoWatch& operator=(const FifoWatch&) = delete;

    bool made() const { return m_made; }

    // Whether a reader opened the FIFO since it was made. Ends the watch.
    bool wasOpened() {
        release();
        return m_opened;
    }

private:
    void release() {
        if (!m_writer.joinable()) return;
        m_releasing = true;
        // A reader of our own that does not wait lets the writer go.
        const int fd = ::open(m_path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        m_writer.join();
        if (fd >= 0) ::close(fd);
    }

    std::filesystem::path m_path; // the watch's own name for the FIFO
    bool m_made = false;
    std::atomic<bool> m_releasing{false};
    std::atomic<bool> m_opened{false};
    std::thread m_writer;
};

} // namespace panel_test
