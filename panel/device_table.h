#pragma once

// The device entries of the device filter, one Kestrel each, and which of
// them is connected. The list is published once by the init worker and read
// from any thread; `curDid` and `stopPoll` are shared between the GUI thread
// and the worker.

#include "hidlib/kestrel.h"

#include <QStringList>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace panel {

// The six identifier strings of one device entry, in filter order.
struct DeviceEntry {
    QString vid, pid, page, usage, pageVendor, usageVendor;
};

class DeviceTable {
public:
    // Replaces the entries; creates one Kestrel per entry.
    void publish(const std::vector<DeviceEntry>& entries);
    int size() const;
    // The entry's Kestrel, or null for an index out of range. Entries live
    // until the table is cleared.
    Kestrel* at(int index) const;
    // The Kestrel of the connected entry, or null when none is connected.
    Kestrel* current() const { return at(curDid.load()); }
    // The presence test: the first entry's interface opens. No entry means
    // absent. Sets `stopPoll` to the opposite of the result.
    bool testDevice();
    void clear();

    std::atomic<int> curDid{-1};
    std::atomic<bool> stopPoll{false};

private:
    mutable std::mutex m_mutex;
    std::vector<DeviceEntry> m_entries;
    std::vector<std::unique_ptr<Kestrel>> m_devices;
};

} // namespace panel
