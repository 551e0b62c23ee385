#pragma once

// Kestrel's private block. Callers reach one Kestrel from several threads (the
// panel's GUI thread and its pool tasks) while the poll task runs, so the
// settings are read as a copy taken under a lock, and the poll flag is atomic.

#include "hidlib/kestrel.h"

#include <QFuture>

#include <atomic>
#include <cstdint>
#include <mutex>

struct KestrelSettings {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    unsigned featureDelayMs = 32;
    unsigned writeDelayMs = 8;
    bool vendorEnabled = false;
    std::uint16_t vendorUsagePage = 0;
    std::uint16_t vendorUsage = 0;
    Kestrel::ReadCallback readCallback = nullptr;
    Kestrel::LostCallback lostCallback = nullptr;
    void* userData = nullptr;
    unsigned char reportId = 0;
    unsigned char vendorReportId = 0;
    QString devicePath;
    QString vendorPath;
};

struct KestrelPrivate {
    KestrelSettings settings() const {
        std::lock_guard<std::mutex> locker(lock);
        return values;
    }

    template <typename Change> void update(Change change) {
        std::lock_guard<std::mutex> locker(lock);
        change(values);
    }

    // Stops the poll task and waits until it has ended, also when it ended by
    // itself and is still on its way out.
    void stopPolling() {
        polling = false;
        pollFuture.waitForFinished();
    }

    KestrelSettings values;
    mutable std::mutex lock;
    std::atomic<bool> polling{false};
    QFuture<void> pollFuture; // starting and stopping the task is serialised by pollControl
    std::mutex pollControl;
};

namespace kestrel {

std::uint16_t parseId(const QString& hex);

// The wait that bounds one input report of readData, so a silent headset
// can't hold the caller's thread for ever.
constexpr int kReadTimeoutMs = 1000;
// The time-out of one read of the vendor poll.
constexpr int kPollReadTimeoutMs = 50;

} // namespace kestrel
