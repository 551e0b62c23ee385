#include "hidlib/hid_enumeration.h"
#include "hidlib/hid_interface.h"
#include "hidlib/kestrel.h"
#include "hidlib/kestrel_private.h"

namespace {

// Lower-case hexadecimal, padded with "0" to the width and never cut; a
// negative number keeps its sign in front of its magnitude ("-1").
QString hex(long long value, int width) {
    const QString digits =
        value < 0 ? QStringLiteral("-") + QString::number(-value, 16) : QString::number(value, 16);
    return digits.rightJustified(width, QLatin1Char('0'));
}

void describe(QStringList& out, const hid_device_info& info, const kestrel::ReportLengths& lengths,
              bool withIds) {
    if (withIds) {
        out << QStringLiteral("Vid=") + hex(info.vendor_id, 4);
        out << QStringLiteral("Pid=") + hex(info.product_id, 4);
    }
    out << QStringLiteral("Version=") + hex(info.release_number, 4);
    out << QStringLiteral("Interface=") + hex(info.interface_number, 8);
    out << QStringLiteral("Page=") + hex(info.usage_page, 4);
    out << QStringLiteral("Usage=") + hex(info.usage, 4);
    out << QStringLiteral("FeatureReportLength=") + hex(lengths.feature, 8);
    out << QStringLiteral("InputReportLength=") + hex(lengths.input, 8);
    out << QStringLiteral("OutputReportLength=") + hex(lengths.output, 8);
    out << QString();
}

} // namespace

QStringList Kestrel::scanHidDevice(QString vendorId, QString productId) {
    const std::uint16_t vid = kestrel::parseId(vendorId);
    const std::uint16_t pid = kestrel::parseId(productId);
    QStringList out;
    kestrel::HidEnumeration(vid, pid).forEach([&](const hid_device_info& info) {
        const kestrel::HidInterface iface(QString::fromLocal8Bit(info.path), info.usage_page,
                                          info.usage);
        if (iface.isOpen()) describe(out, info, iface.lengths(), vid == 0 && pid == 0);
    });
    return out;
}
