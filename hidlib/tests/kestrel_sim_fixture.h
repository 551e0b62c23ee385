#pragma once

// Shared set-up for the tests of Kestrel on the simulated headset.

#include "hidlib/kestrel.h"
#include "sim/hid/hidsim.h"

#include <QThreadPool>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include <ostream>

// Readable QString values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace kestrel_test {

using Bytes = std::vector<std::uint8_t>;

class KestrelOnSim : public ::testing::Test {
protected:
    void SetUp() override { hidsim::reset(); }
    void TearDown() override {
        QThreadPool::globalInstance()->waitForDone();
        EXPECT_EQ(hidsim::openHandles(), 0) << "an interface was left open";
        hidsim::reset();
    }
};

// The panel's device entry: main interface 000C/0001, no vendor interface.
inline Kestrel* newHeadsetKestrel() {
    return new Kestrel("04D9", "A29C", "000C", "0001", "000C", "0001");
}

inline std::vector<hidsim::LogEntry> entriesOf(hidsim::Op op) {
    std::vector<hidsim::LogEntry> out;
    for (auto& e : hidsim::log())
        if (e.op == op) out.push_back(e);
    return out;
}

// A report of `length` bytes: `head`, then zeros.
inline Bytes padded(std::initializer_list<std::uint8_t> head, std::size_t length) {
    Bytes out(length, 0);
    std::copy(head.begin(), head.end(), out.begin());
    return out;
}

// A device with a main interface (page 0xFF00) and, optionally, a vendor
// interface (page 0xFF01) whose reports are numbered with id 2 or unnumbered.
inline hidsim::DeviceDesc deviceWithVendorInterface(bool numberedVendor) {
    hidsim::DeviceDesc desc;
    desc.vendorId = 0x1234;
    desc.productId = 0x5678;
    desc.interfaces = {
        {.number = 0,
         .usagePage = 0xFF00,
         .usage = 1,
         .reportId = 0,
         .featureLength = 9,
         .inputLength = 9,
         .outputLength = 9},
        {.number = 1,
         .usagePage = 0xFF01,
         .usage = 2,
         .reportId = static_cast<std::uint8_t>(numberedVendor ? 2 : 0),
         .inputLength = 9},
    };
    return desc;
}

// Collects what the poll task hands to its callbacks, then runs what the test
// asked the callback to do besides (on the poll's thread, as the panel's
// callbacks do).
class PollSink {
public:
    static void onRead(QList<QVariant> report, void* self) {
        auto* sink = static_cast<PollSink*>(self);
        std::vector<int> bytes;
        for (const QVariant& v : report) bytes.push_back(v.toInt());
        {
            std::lock_guard<std::mutex> lock(sink->m_mutex);
            sink->m_reports.push_back(bytes);
            sink->m_changed.notify_all();
        }
        if (sink->afterRead) sink->afterRead(bytes);
    }
    static void onLost(void* self) {
        auto* sink = static_cast<PollSink*>(self);
        {
            std::lock_guard<std::mutex> lock(sink->m_mutex);
            ++sink->m_lost;
            sink->m_changed.notify_all();
        }
        if (sink->afterLost) sink->afterLost();
    }

    // Set before the poll starts.
    std::function<void(const std::vector<int>& report)> afterRead;
    std::function<void()> afterLost;

    void registerWith(Kestrel& k) { k.reg_Vendor(&PollSink::onRead, &PollSink::onLost, this); }

    // Waits for the poll task to deliver `count` reports; the limit only
    // keeps a broken build from hanging.
    bool waitForReports(std::size_t count) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10),
                                  [&] { return m_reports.size() >= count; });
    }
    bool waitForLost() {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10), [&] { return m_lost > 0; });
    }

    std::vector<std::vector<int>> reports() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_reports;
    }
    int lost() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lost;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::vector<int>> m_reports;
    int m_lost = 0;
};

} // namespace kestrel_test
