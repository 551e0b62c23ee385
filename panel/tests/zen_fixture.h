#pragma once

// A main window on the simulated headset with recording services: the
// driver client, device monitor, message boxes and (unless a test asks for
// the real QML host) the view. The poll ends at its first cycle.

#include "panel/tests/engine_fakes.h"
#include "panel/tests/panel_sim_fixture.h"
#include "panel/zen.h"

#include <QApplication>

#include <algorithm>
#include <memory>

namespace panel_test {

using namespace panel;

// Widgets and the QML host need an application object; the tests share one.
inline void ensureApplication() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The offscreen platform has no OpenGL: the scene renders in software.
    qputenv("QT_QUICK_BACKEND", "software");
    static int argc = 1;
    static char name[] = "panel_tests";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) new QApplication(argc, argv);
}

class FakeMonitor final : public IDeviceMonitor {
public:
    void setHandler(std::function<void()> onChange) override { handler = std::move(onChange); }
    std::function<void()> handler;
};

class RecordingMessages final : public IMessageBox {
public:
    void warning(const QString&, const QString& text) override { texts.push_back(text); }
    bool askOkCancel(const QString&, const QString& text) override {
        texts.push_back(text);
        return answer;
    }
    std::vector<QString> texts;
    bool answer = false;
};

class RecordingView final : public IView {
public:
    explicit RecordingView(QWidget* parent) : m_widget(new QWidget(parent)) {}
    QWidget* widget() override { return m_widget; }
    void attach(const QString& versionText, ProfileStore&) override {
        calls.push_back("attach " + versionText);
    }
    void cleanUnusedMacroId() override { calls.push_back("cleanUnusedMacroId"); }
    void callRoot(const QString& function) override { calls.push_back(function); }
    void refreshVolumes() override { calls.push_back("refreshVolumes"); }
    void queueCall(const QString& function, const QVariantList& args) override {
        page.queueCall(function, args);
    }
    std::vector<QString> calls;
    RecordingPage page; // what the engine queued for the page

private:
    QWidget* m_widget;
};

// What a main window on the simulated headset is given besides its driver
// and its view: recording message boxes, a device monitor the test calls and
// pointer settings in the test's folder.
class WindowOnSim : public PanelOnSim {
protected:
    static void SetUpTestSuite() { ensureApplication(); }
    ZenServices services(IDriverClient* driver, const QUrl& viewSource) {
        ZenServices s;
        s.driver = driver;
        s.viewSource = viewSource;
        s.dataDir = path("data");
        s.monitor = &monitor;
        s.messages = &messages;
        s.sleeper = &sleeper;
        s.clock = &clock;
        s.pointer = &pointer;
        s.deviceFilterPath = path("DevInfo.ini");
        s.profilePath = path("profile.ini");
        return s;
    }

    FakeMonitor monitor;
    RecordingMessages messages;
    IniPointerSettings pointer{path("pointer.ini")};
};

class ZenOnSim : public WindowOnSim {
protected:
    void SetUp() override {
        PanelOnSim::SetUp();
        devices.curDid = -1;
        hidsim::setNoInput(headset, true);
        writeFilter(1, {headsetEntry()});
        // The poll may begin before the constructor returns: it stops once
        // the test can see the window.
        driver.onPollCycle = [this](int) {
            if (Zen* z = live.load()) z->devices().stopPoll = true;
        };
    }
    void TearDown() override {
        live = nullptr;
        zen.reset();
        PanelOnSim::TearDown();
    }
    // `viewSource` empty: a recording view; else the real QML host of it.
    void makeZen(const QUrl& viewSource = {}) {
        ZenServices s = services(&driver, viewSource);
        if (viewSource.isEmpty())
            s.makeView = [this](Zen* owner) {
                auto v = std::make_unique<RecordingView>(owner);
                view = v.get();
                return v;
            };
        live = nullptr;
        zen = std::make_unique<Zen>(s);
        live = zen.get();
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
    }
    long driverCalls(const std::string& name) {
        const auto calls = driver.calls();
        return std::count(calls.begin(), calls.end(), name);
    }

    RecordingDriver driver;
    RecordingView* view = nullptr;
    std::unique_ptr<Zen> zen;
    std::atomic<Zen*> live{nullptr};
};

} // namespace panel_test
