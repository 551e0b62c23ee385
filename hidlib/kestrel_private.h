#pragma once

// Kestrel's private block. Callers reach one Kestrel from several threads (the
// panel's GUI thread and its pool tasks) while the poll task runs, so the
// settings are read as a copy taken under a lock, and the poll's runs are kept
// under a lock of their own (poll_runs.h).

#include "hidlib/kestrel.h"
#include "hidlib/poll_runs.h"

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

    KestrelSettings values;
    mutable std::mutex lock;
    kestrel::PollRuns polls;
};

namespace kestrel {

std::uint16_t parseId(const QString& hex);

// The wait that bounds one input report of readData, so a silent headset
// can't hold the caller's thread for ever.
constexpr int kReadTimeoutMs = 1000;
// The time-out of one read of the vendor poll.
constexpr int kPollReadTimeoutMs = 50;

} // namespace kestrel
