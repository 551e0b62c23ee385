// The panel program on recording services, for the tests of its start-up:
// it prints "shown" once its window is up and every warning it would show.

#include "panel/panel_main.h"
#include "panel/tests/engine_fakes.h"
#include "panel/tests/panel_sim_fixture.h"

#include <QDir>
#include <QWidget>

#include <cstdio>

namespace {

using namespace panel;

void say(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

class PrintingView final : public IView {
public:
    explicit PrintingView(QWidget* parent) : m_widget(new QWidget(parent)) {}
    QWidget* widget() override { return m_widget; }
    void attach(const QString&, ProfileStore&) override {}
    void cleanUnusedMacroId() override {}
    void callRoot(const QString& function) override {
        if (function == "show") say("shown");
    }
    void refreshVolumes() override {}
    void queueCall(const QString&, const QVariantList&) override {}

private:
    QWidget* m_widget;
};

class PrintingMessages final : public IMessageBox {
public:
    void warning(const QString&, const QString& text) override { say("warning: " + text); }
    bool askOkCancel(const QString&, const QString& text) override {
        say("ask: " + text);
        return false;
    }
};

class NoMonitor final : public IDeviceMonitor {
public:
    void setHandler(std::function<void()>) override {}
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    panel_test::RecordingDriver driver;
    PrintingMessages messages;
    NoMonitor monitor;
    panel_test::RecordingSleeper sleeper;
    panel_test::FixedClock clock;
    IniPointerSettings pointer(QDir::temp().filePath("panel-probe-pointer.ini"));
    ZenServices s;
    s.driver = &driver;
    s.makeView = [](Zen* owner) { return std::make_unique<PrintingView>(owner); };
    s.monitor = &monitor;
    s.messages = &messages;
    s.sleeper = &sleeper;
    s.clock = &clock;
    s.pointer = &pointer;
    s.profilePath = QDir::temp().filePath("panel-probe-profile.ini");
    return panelMain(argc, argv, s);
}
