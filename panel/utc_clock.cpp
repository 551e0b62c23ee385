#include "panel/utc_clock.h"

#include <QDateTime>

namespace panel {

std::int64_t SystemUtcClock::nowSeconds() const {
    return QDateTime::currentDateTimeUtc().toSecsSinceEpoch();
}

} // namespace panel
