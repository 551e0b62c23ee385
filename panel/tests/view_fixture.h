#pragma once

// The real QML host in the main window on the simulated headset, its scene a
// recording root: a test starts with the headset checked, the view attached
// to the profiles and the report log empty.

#include "panel/tests/zen_fixture.h"
#include "panel/view.h"

#include <QQuickItem>

#include <string>

namespace panel_test {

inline QUrl recordingRoot() { return QUrl::fromLocalFile(PANEL_TEST_QML_ROOT); }

class ViewOnSim : public ZenOnSim {
protected:
    void SetUp() override {
        ZenOnSim::SetUp();
        makeZen(recordingRoot());
        host = dynamic_cast<View*>(&zen->view());
        ASSERT_NE(host, nullptr);
        ASSERT_NE(host->rootObject(), nullptr);
        driver.clear();
        hidsim::clearLog();
    }
    // The profile file as it is on disk.
    std::string profileFile() const { return folder.read("profile.ini"); }
    // Bytes `first` .. `first + n - 1` of the current profile's option block.
    std::vector<int> optionBytes(std::size_t first, std::size_t n) {
        const QVariantList block = host->getCurrentRam(0);
        std::vector<int> out;
        for (std::size_t i = first; i < first + n; ++i) out.push_back(block[int(i)].toInt());
        return out;
    }
    QString rootCalls() {
        QCoreApplication::processEvents();
        return host->rootObject()->property("calls").toString();
    }
    void clearRootCalls() {
        QCoreApplication::processEvents();
        host->rootObject()->setProperty("calls", QString());
    }

    View* host = nullptr;
};

// A list as an INI file holds it: "v0, v1, ...".
inline std::string iniList(const std::vector<int>& values) {
    std::string out;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i) out += ", ";
        out += std::to_string(values[i]);
    }
    return out;
}

} // namespace panel_test
