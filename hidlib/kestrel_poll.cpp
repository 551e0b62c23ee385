#include "hidlib/hid_interface.h"
#include "hidlib/kestrel.h"
#include "hidlib/kestrel_private.h"

#include <algorithm>
#include <vector>

using kestrel::PollRun;

namespace {

// One open, one read of at most 50 ms and one close per cycle, so a stop waits
// for at most one cycle and a callback in progress.
void pollVendorInterface(Kestrel& k, KestrelPrivate& d, const QString& path, PollRun& run) {
    while (d.polls.keepPolling(run)) {
        const KestrelSettings s = d.settings();
        kestrel::HidInterface iface(path, s.vendorUsagePage, s.vendorUsage);
        if (!iface.isOpen()) {
            if (d.polls.endOnLoss(run, k.connected) && s.lostCallback) s.lostCallback(s.userData);
            return;
        }
        hid_set_nonblocking(iface.handle(), 0);
        const unsigned input = iface.lengths().input;
        // An interface that declares no input reports still waits out the
        // read, so the loop does not spin.
        std::vector<unsigned char> report(std::max(input, 2u), 0);
        report[0] = s.vendorReportId;
        const int n = iface.readInputReport(report.data(), static_cast<unsigned>(report.size()),
                                            kestrel::kPollReadTimeoutMs);
        if (input > 1 && n == static_cast<int>(input) && s.readCallback) {
            QList<QVariant> values;
            values.reserve(n);
            for (int i = 0; i < n; ++i) values << QVariant(int(report[i]));
            s.readCallback(values, s.userData);
        }
    }
}

} // namespace

void Kestrel::connect_vendor() {
    d->polls.stop();
    const QString path = d->settings().vendorPath;
    d->polls.start([this, path](PollRun& run) { pollVendorInterface(*this, *d, path, run); });
}

void Kestrel::disconnect_vendor() { d->polls.stop(); }

void Kestrel::polling_vendor(QString path) {
    d->polls.runHere([&](PollRun& run) { pollVendorInterface(*this, *d, path, run); });
}
