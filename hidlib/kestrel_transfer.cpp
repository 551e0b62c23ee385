// The four transfers on the main interface. Each connects first when not
// connected, opens the interface by its path and closes it before returning.

#include "hidlib/hid_backend.h"
#include "hidlib/hid_interface.h"
#include "hidlib/kestrel.h"
#include "hidlib/kestrel_private.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

using kestrel::HidInterface;

namespace {

using Report = std::vector<unsigned char>;

// A report of `length` bytes: the report id, then `count` bytes of `data`, then zeros.
Report frame(unsigned length, unsigned char reportId, const unsigned char* data,
             std::uint64_t count) {
    Report report(length, 0);
    report[0] = reportId;
    std::copy_n(data, std::min<std::uint64_t>(count, length - 1u), report.begin() + 1);
    return report;
}

// The payload of a report is its length less the report-id byte; a kind the
// interface does not declare has none.
unsigned payloadOf(unsigned length) { return length > 1 ? length - 1 : 0; }

} // namespace

// Without a length the caller's buffer is taken to hold one whole payload.
bool Kestrel::setReport(unsigned char* data) {
    return setReport(data, std::numeric_limits<unsigned int>::max());
}

bool Kestrel::getReport(unsigned char* data) {
    return getReport(data, std::numeric_limits<unsigned int>::max());
}

bool Kestrel::setReport(const unsigned char* data, unsigned int length) {
    if ((length > 0 && !data) || !ensureConnected()) return false;
    const KestrelSettings s = d->settings();
    bool sent = false;
    {
        const HidInterface iface(s.devicePath, s.usagePage, s.usage);
        if (!iface.isOpen()) return false;
        const unsigned feature = iface.lengths().feature;
        if (feature > 1) {
            const Report report = frame(feature, s.reportId, data, length);
            sent = hid_send_feature_report(iface.handle(), report.data(), report.size()) != -1;
        }
    }
    kestrel::pauseMs(s.featureDelayMs);
    return sent;
}

bool Kestrel::getReport(unsigned char* data, unsigned int length) {
    if ((length > 0 && !data) || !ensureConnected()) return false;
    const KestrelSettings s = d->settings();
    const HidInterface iface(s.devicePath, s.usagePage, s.usage);
    if (!iface.isOpen()) return false;
    const unsigned feature = iface.lengths().feature;
    if (feature < 2) return false;
    hid_set_nonblocking(iface.handle(), 0);
    const unsigned count = std::min(length, feature - 1);
    Report report = frame(feature, s.reportId, data, count);
    if (hid_get_feature_report(iface.handle(), report.data(), report.size()) == -1) return false;
    std::copy_n(report.begin() + 1, count, data);
    return true;
}

bool Kestrel::writeData(unsigned int n, unsigned char* data) {
    if ((n > 0 && !data) || !ensureConnected()) return false;
    const KestrelSettings s = d->settings();
    const HidInterface iface(s.devicePath, s.usagePage, s.usage);
    if (!iface.isOpen()) return false;
    if (n == 0) return true;
    const unsigned output = iface.lengths().output;
    const unsigned chunk = payloadOf(output);
    if (chunk == 0) return false;
    bool ok = true;
    for (std::uint64_t at = 0; at < n; at += chunk) {
        const Report report = frame(output, s.reportId, data + at, n - at);
        if (hid_write(iface.handle(), report.data(), report.size()) == -1) ok = false;
        kestrel::pauseMs(s.writeDelayMs);
    }
    return ok;
}

// The payload follows byte 0 of each framed report. Only a caller that set
// report id 0 on an interface whose reports carry ids gets the reports as they
// come, id byte first; on an interface without ids byte 0 is the framing's 0,
// not data.
bool Kestrel::readData(unsigned int n, unsigned char* data) {
    if ((n > 0 && !data) || !ensureConnected()) return false;
    const KestrelSettings s = d->settings();
    HidInterface iface(s.devicePath, s.usagePage, s.usage);
    if (!iface.isOpen()) return false;
    if (n == 0) return true;
    const unsigned input = iface.lengths().input;
    const unsigned chunk = payloadOf(input);
    if (chunk == 0) return false;
    hid_set_nonblocking(iface.handle(), 0);
    const bool rawReports = s.reportId == 0 && iface.lengths().numbered;
    bool ok = true;
    Report report(input);
    for (std::uint64_t at = 0; at < n; at += chunk) {
        std::fill(report.begin(), report.end(), 0);
        report[0] = s.reportId;
        if (iface.readInputReport(report.data(), input, kestrel::kReadTimeoutMs) <= 0) {
            ok = false;
            continue;
        }
        std::copy_n(report.data() + (rawReports ? 0 : 1), std::min<std::uint64_t>(chunk, n - at),
                    data + at);
    }
    return ok;
}
