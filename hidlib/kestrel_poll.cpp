#include "hidlib/hid_interface.h"
#include "hidlib/kestrel.h"
#include "hidlib/kestrel_private.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <vector>

void Kestrel::connect_vendor() {
    std::lock_guard<std::mutex> locker(d->pollControl);
    d->stopPolling();
    const QString path = d->settings().vendorPath;
    d->polling = true;
    d->pollFuture =
        QtConcurrent::run(QThreadPool::globalInstance(), [this, path] { polling_vendor(path); });
}

void Kestrel::disconnect_vendor() {
    std::lock_guard<std::mutex> locker(d->pollControl);
    d->stopPolling();
}

// One open, one read of at most 50 ms and one close per cycle, so a stop waits
// for at most one cycle.
void Kestrel::polling_vendor(QString path) {
    while (d->polling) {
        const KestrelSettings s = d->settings();
        kestrel::HidInterface iface(path, s.vendorUsagePage, s.vendorUsage);
        if (!iface.isOpen()) {
            if (s.lostCallback) s.lostCallback(s.userData);
            connected = false;
            d->polling = false;
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
