#pragma once

// Shared set-up for the panel engine's tests on the simulated headset: one
// device entry (the headset's main interface), a sleeper that records instead
// of sleeping, a clock the test sets and a folder for the panel's files.

#include "hidlib/kestrel.h"
#include "panel/device_table.h"
#include "panel/hid_command_set.h"
#include "panel/sleeper.h"
#include "panel/utc_clock.h"
#include "sim/hid/hidsim.h"
#include "testkit/temp_folder.h"

#include <QSettings>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

namespace panel_test {

using Bytes = std::vector<std::uint8_t>;

class RecordingSleeper final : public panel::ISleeper {
public:
    void sleepMs(unsigned ms) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.push_back(ms);
    }
    std::vector<unsigned> calls() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<unsigned> m_calls;
};

class FixedClock final : public panel::IUtcClock {
public:
    std::int64_t nowSeconds() const override { return now.load(); }
    std::atomic<std::int64_t> now{0x6543210F};
};

inline panel::DeviceEntry headsetEntry() {
    return {"04D9", "A29C", "000C", "0001", "000C", "0001"};
}

// A file in `folder`, as the panel's classes take it.
inline QString pathIn(const testkit::TempFolder& folder, const char* name) {
    return QString::fromStdString((folder.path() / name).string());
}

class PanelOnSim : public ::testing::Test {
protected:
    void SetUp() override {
        hidsim::reset();
        headset = hidsim::addHeadset();
        devices.publish({headsetEntry()});
        devices.curDid = 0;
    }
    void TearDown() override {
        QThreadPool::globalInstance()->waitForDone();
        devices.clear();
        EXPECT_EQ(hidsim::openHandles(), 0) << "an interface was left open";
        hidsim::reset();
    }

    QString path(const char* name) const { return pathIn(folder, name); }
    // A device filter with `total` entries of which the file holds `entries`.
    QString writeFilter(int total, const std::vector<panel::DeviceEntry>& entries) const {
        const QString file = path("DevInfo.ini");
        QSettings ini(file, QSettings::IniFormat);
        ini.setValue("common/apVersion", 4);
        ini.setValue("common/totalDevice", total);
        for (std::size_t n = 0; n < entries.size(); ++n) {
            const QString at = QString::number(n) + "/";
            ini.setValue(at + "vid", entries[n].vid);
            ini.setValue(at + "pid", entries[n].pid);
            ini.setValue(at + "page", entries[n].page);
            ini.setValue(at + "usage", entries[n].usage);
            ini.setValue(at + "page_vendor", entries[n].pageVendor);
            ini.setValue(at + "usage_vendor", entries[n].usageVendor);
        }
        ini.sync();
        return file;
    }

    // The reports written to the main interface, report id first.
    static std::vector<Bytes> writes() {
        std::vector<Bytes> out;
        for (const auto& e : hidsim::log())
            if (e.op == hidsim::Op::Write) out.push_back(e.bytes);
        return out;
    }
    // A command as it leaves on the wire: report id 0xFF, 8 bytes, zeros.
    static Bytes wire(std::initializer_list<std::uint8_t> cmd) {
        Bytes out(65, 0);
        out[0] = 0xFF;
        std::copy(cmd.begin(), cmd.end(), out.begin() + 1);
        return out;
    }
    static std::vector<hidsim::Op> opsWithoutDelays() {
        std::vector<hidsim::Op> out;
        for (const auto& e : hidsim::log())
            if (e.op != hidsim::Op::Delay) out.push_back(e.op);
        return out;
    }

    testkit::TempFolder folder;
    hidsim::DeviceId headset = -1;
    panel::DeviceTable devices;
    RecordingSleeper sleeper;
    FixedClock clock;
    panel::HidCommandSet hid{devices, sleeper, clock};
};

} // namespace panel_test
