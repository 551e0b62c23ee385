#include "hidlib/hid_enumeration.h"
#include "hidlib/kestrel.h"
#include "hidlib/kestrel_private.h"

using kestrel::canOpen;
using kestrel::HidEnumeration;

namespace {

bool hasUsage(const hid_device_info& info, std::uint16_t usagePage, std::uint16_t usage) {
    return info.usage_page == usagePage && info.usage == usage;
}

} // namespace

bool Kestrel::testConnect(QString vendorId, QString productId, QString usagePage, QString usage) {
    const std::uint16_t page = kestrel::parseId(usagePage);
    const std::uint16_t use = kestrel::parseId(usage);
    bool found = false;
    HidEnumeration(kestrel::parseId(vendorId), kestrel::parseId(productId))
        .forEach([&](const hid_device_info& info) {
            if (!found && hasUsage(info, page, use)) found = canOpen(info.path);
        });
    return found;
}

// When several interfaces match, the last one that opens wins. An interface
// that matches the main usage is never taken as the vendor interface.
bool Kestrel::connect() {
    d->polls.noteConnect();
    const KestrelSettings s = d->settings();
    QString devicePath;
    QString vendorPath;
    bool mainFound = false;
    bool vendorFound = false;
    HidEnumeration(s.vendorId, s.productId).forEach([&](const hid_device_info& info) {
        if (hasUsage(info, s.usagePage, s.usage)) {
            if (canOpen(info.path)) {
                devicePath = QString::fromLocal8Bit(info.path);
                mainFound = true;
            }
        } else if (s.vendorEnabled && hasUsage(info, s.vendorUsagePage, s.vendorUsage)) {
            if (canOpen(info.path)) {
                vendorPath = QString::fromLocal8Bit(info.path);
                vendorFound = true;
            }
        }
    });
    d->update([&](KestrelSettings& values) {
        values.devicePath = devicePath;
        values.vendorPath = vendorPath;
    });
    const bool all = mainFound && (vendorFound || !s.vendorEnabled);
    connected = all;
    if (vendorFound) connect_vendor();
    return all;
}

bool Kestrel::ensureConnected() { return connected || connect(); }
