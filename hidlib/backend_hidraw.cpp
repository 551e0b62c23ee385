#include "hidlib/hid_backend.h"
#include "hidlib/hidraw_sysfs.h"

#include <QThread>

namespace kestrel {

ReportLengths interfaceReportLengths(const char* path, std::uint16_t usagePage,
                                     std::uint16_t usage) {
    return path ? hidrawReportLengths(path, usagePage, usage) : ReportLengths{};
}

void pauseMs(unsigned ms) {
    if (ms > 0) QThread::msleep(ms);
}

} // namespace kestrel
