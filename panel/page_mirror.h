#pragma once

// The driver values the page last received. Each poll cycle pushes at most
// one group of changed values, in a fixed order, so the page gets few calls
// and a change of many values arrives over several cycles.

#include "panel/driver_client.h"
#include "panel/page.h"

namespace panel {

class PageMirror {
public:
    // Pushes the first group of `now` that differs from what the page has and
    // remembers it; false when nothing differs. A volume that is not a
    // number always differs.
    bool pushNextChange(const DriverValues& now, IPage& page);

    // What the page shows after a connect push: the switches and EQ just sent.
    void assumeSent(const DriverValues& sent);

private:
    DriverValues m_last;
};

} // namespace panel
