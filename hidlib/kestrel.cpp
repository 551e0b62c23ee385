#include "hidlib/kestrel.h"

#include "hidlib/kestrel_private.h"

#include <QtGlobal>

namespace kestrel {

std::uint16_t parseId(const QString& hex) {
    bool ok = false;
    const ushort value = hex.toUShort(&ok, 16);
    return ok ? value : 0;
}

} // namespace kestrel

namespace {

// Only a vendor-defined usage page makes the vendor interface count.
constexpr std::uint16_t kLastStandardUsagePage = 0xFEFF;

} // namespace

Kestrel::Kestrel(QString vendorId, QString productId, QString usagePage, QString usage,
                 QString vendorUsagePage, QString vendorUsage)
    : d(new KestrelPrivate) {
    set_mem(vendorId, productId, usagePage, usage, vendorUsagePage, vendorUsage);
}

Kestrel::~Kestrel() {
    if (d->polls.onOwnThread())
        qFatal("Kestrel destroyed from its own poll callback: the poll cannot wait for itself "
               "to end; destroy the object from another thread");
    d->polls.close();
    delete d;
}

void Kestrel::set_mem(QString vendorId, QString productId, QString usagePage, QString usage,
                      QString vendorUsagePage, QString vendorUsage) {
    d->update([&](KestrelSettings& s) {
        s.vendorId = kestrel::parseId(vendorId);
        s.productId = kestrel::parseId(productId);
        s.usagePage = kestrel::parseId(usagePage);
        s.usage = kestrel::parseId(usage);
        s.vendorUsagePage = kestrel::parseId(vendorUsagePage);
        s.vendorUsage = kestrel::parseId(vendorUsage);
        s.vendorEnabled = s.vendorUsagePage > kLastStandardUsagePage;
    });
    connected = false;
}

void Kestrel::reg_Vendor(ReadCallback read, LostCallback lost, void* userData) {
    d->update([&](KestrelSettings& s) {
        s.readCallback = read;
        s.lostCallback = lost;
        s.userData = userData;
    });
}

void Kestrel::set_reportId(unsigned char reportId, unsigned char vendorReportId) {
    d->update([&](KestrelSettings& s) {
        s.reportId = reportId;
        s.vendorReportId = vendorReportId;
    });
}

void Kestrel::set_delay(unsigned int featureDelayMs, unsigned int writeDelayMs) {
    d->update([&](KestrelSettings& s) {
        s.featureDelayMs = featureDelayMs;
        s.writeDelayMs = writeDelayMs;
    });
}
