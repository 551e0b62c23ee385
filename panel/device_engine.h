#pragma once

// The device engine: reads the device filter and the stored profiles once,
// finds the connected headset, pushes the current profile to it and to the
// driver, announces it to the page, and then polls driver values and
// headset buttons until the headset goes.
//
// The init worker and the device check run on the global thread pool; the
// engine keeps their futures and its destructor stops the poll, ends every
// vendor poll and waits for them before anything they use is freed.

#include "panel/button_handle.h"
#include "panel/device_table.h"
#include "panel/driver_client.h"
#include "panel/hid_command_set.h"
#include "panel/page.h"
#include "panel/page_mirror.h"
#include "panel/profile_store.h"
#include "panel/sleeper.h"

#include <QFuture>
#include <QList>
#include <QString>

#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace panel {

class DeviceEngine {
public:
    struct Parts {
        DeviceTable& devices;
        HidCommandSet& hid;
        ProfileStore& profiles;
        IDriverClient& driver;
        IPage& page;
        ISleeper& sleeper;
        // Tells the GUI thread that a headset is ready (the page's init).
        std::function<void()> announceReady;
    };

    explicit DeviceEngine(const Parts& parts) : m(parts) {}
    ~DeviceEngine();
    DeviceEngine(const DeviceEngine&) = delete;
    DeviceEngine& operator=(const DeviceEngine&) = delete;

    // The device filter (INI): one Kestrel per entry up to "common/totalDevice".
    void loadDeviceFilter(const QString& filterPath);
    // Filter, profiles, then the device check, on the calling thread.
    void initWorker(const QString& filterPath);
    void startInitWorker(const QString& filterPath);
    void startCheckDevice();

    // Waits for a poll already running to end, connects every entry that
    // connects (the last one stays current), pushes the profile, and polls
    // while the headset is present. The number of the current entry, -1 for none.
    int checkDevice();
    void sync(std::uint8_t profile);
    void pollLoop();

    // Reads for the page.
    void readSpeakerVolume();
    void readSpeakerVolumeLR();
    void readMicVolume();

    int apVersion() const { return m_apVersion.load(); }
    int pollCount() const { return m_pollCount.load(); }

private:
    // Runs `work` on Qt's thread pool and keeps its future. The end of the
    // work is also marked under a standard mutex: Qt's own waits are not
    // instrumented, so the destructor's wait for the mark is what shows a
    // race checker that the work was done before the engine goes.
    void runTask(std::function<void()> work);

    Parts m;
    std::mutex m_checkMutex; // held by a device check, its poll included
    std::mutex m_futuresMutex;
    QList<QFuture<void>> m_futures;
    int m_tasksRunning = 0; // guarded by m_futuresMutex
    std::condition_variable m_taskEnded;
    std::atomic<int> m_apVersion{0};
    std::atomic<int> m_pollCount{0};
    std::atomic<std::uint16_t> m_buttonVendorId{0};
    std::atomic<std::uint16_t> m_buttonProductId{0};
    PageMirror m_mirror; // used by the poll only
};

} // namespace panel
