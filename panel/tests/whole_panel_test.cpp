// The whole control panel in a running event loop: the real window, QML
// host and scene, the real driver-configuration client on libMixcore.so
// (loaded from this program's folder, as the program loads it from its own)
// and the simulated headset. Only the device monitor is a fake, so that a
// test decides when the system reports a change.
//
// The headset is not silent here: the poll waits on its button interface
// for up to 100 ms per cycle, as it does on a real headset, and a press
// wakes it at once. Tests wait on what they expect with a generous bound.

#include "panel/tests/driver_sdk_fixture.h"
#include "panel/tests/scene_fixture.h"
#include "panel/view.h"

#include <QElapsedTimer>
#include <QSignalSpy>

#include <functional>
#include <optional>

namespace {

using namespace panel_test;
using panel::DriverSdk;
using panel::OptionBlock;
using panel::ProfileStore;
using panel::View;
using panel::Zen;
using panel::ZenServices;

constexpr int kEnc = 4;
constexpr int kSpeakerMute = 171;
constexpr int kLimitMs = 20000;

// Runs the event loop until `condition` holds; false after the bound.
bool eventually(const std::function<bool()>& condition) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > kLimitMs) return false;
        QTest::qWait(5);
    }
    return true;
}

// A property call of the library's log as (word 0, name, direction).
std::string call(const std::string& line) {
    std::istringstream in(line);
    std::string word0, name, selector, direction;
    in >> word0 >> name >> selector >> direction;
    return word0 + ' ' + name + ' ' + direction;
}

// The driver's defaults pass: every property the panel relies on is read
// once and, where the read fails, written with 0.
std::vector<std::string> defaultsPass() {
    std::vector<std::string> out;
    auto get = [&](const char* word0, const std::string& name) {
        out.push_back(std::string(word0) + ' ' + name + " get");
    };
    for (const char* name :
         {"Enable_VOICECLARITY_LFX", "VOICECLARITY_LEVEL", "VOICECLARITY_NOISESUPP_LEVEL",
          "Enable_Channel_COPY_LFX", "Enable_EQ_GFX"})
        get("0x100", name);
    for (int band = 1; band <= 10; ++band) get("0x100", "EQ_Slider" + std::to_string(band));
    get("0x100", "VirtualSurroundEffectControl");
    for (const char* name : {"Enable_ENC_LFX", "Enable_MAGICVOICE", "MagicVoice_Selection"})
        get("0x200", name);
    for (const char* name :
         {"VolumeControl", "VolumeControl", "VolumeControl", "MuteControl", "VolumeScalarControl"})
        get("0x100", name);
    for (const char* name : {"AAVolumeControl", "AAVolumeControl", "AAVolumeControl",
                             "AAMuteControl", "AAVolumeScalarControl"})
        get("0x200", name);
    return out;
}

class WholePanel : public WindowOnSim {
protected:
    void SetUp() override {
        PanelOnSim::SetUp();
        scene.enter();
        ASSERT_TRUE(installFactoryData(path("data")));
        writeFilter(1, {headsetEntry()});

        const QString folder = QCoreApplication::applicationDirPath();
        mixcore.emplace(folder);
        mixcore->reset();
        sdk = std::make_unique<DriverSdk>(folder, sleeper, messages);
        startPanel();
    }
    void TearDown() override {
        zen.reset();
        sdk.reset();
        PanelOnSim::TearDown();
        scene.leave();
    }

    void startPanel() {
        zen = std::make_unique<Zen>(services(sdk.get(), QUrl("qrc:qml/main.qml")));
        root = dynamic_cast<View&>(zen->view()).rootObject();
        ASSERT_NE(root, nullptr);
        ASSERT_TRUE(eventually([&] { return root->property("deviceReady").toBool(); }));
    }

    QQuickItem* item(const QString& name) {
        QQuickItem* found = findItem(root, name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    bool selected(const QString& name) { return item(name)->property("isSelect").toBool(); }

    // The current profile's option block as the file holds it.
    int storedOption(int offset) {
        ProfileStore file(path("profile.ini"));
        file.load();
        OptionBlock b{};
        file.option(zen->profiles().profileId(), b);
        return b[offset];
    }
    std::vector<std::string> propertyCalls() const {
        std::vector<std::string> out;
        for (const auto& line : mixcore->propertyCalls()) out.push_back(call(line));
        return out;
    }
    bool logged(const std::string& line) const {
        const auto lines = mixcore->propertyCalls();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    // The connect push: the headset's switches, lighting mode, colour and
    // commit, in this order; `enc` is the noise cancelling the switches carry.
    static bool connectPushed(std::uint8_t enc) {
        std::vector<Bytes> sent;
        for (const Bytes& w : writes())
            if (w.size() > 4) sent.push_back(w);
        const std::vector<std::uint8_t> push{0x02, 0x03, 0x04, 0x01};
        const auto at = std::search(sent.begin(), sent.end(), push.begin(), push.end(),
                                    [](const Bytes& w, std::uint8_t cmd) { return w[1] == cmd; });
        return at != sent.end() && (*at)[4] == enc;
    }
    std::vector<std::string> firstPropertyCalls(std::size_t n) const {
        auto calls = propertyCalls();
        calls.resize(std::min(calls.size(), n));
        return calls;
    }

    SceneSurroundings scene;
    std::optional<MixcoreControl> mixcore;
    std::unique_ptr<DriverSdk> sdk;
    std::unique_ptr<Zen> zen;
    QQuickItem* root = nullptr;
};

TEST_F(WholePanel, AConnectedHeadsetGetsTheDriverDefaultsAndTheProfilePush) {
    EXPECT_EQ(firstPropertyCalls(defaultsPass().size()), defaultsPass());
    // The profile reaches the driver with noise cancelling on, whatever it holds.
    EXPECT_TRUE(logged("0x200 Enable_ENC_LFX - set 1 =0"));
    EXPECT_TRUE(connectPushed(1));
    // The page shows what the driver got, though the new profile holds it
    // off. The profile is not checked: by now a report of the poll (the
    // microphone mute) may or may not have stored the page's lighting list,
    // the switch included.
    EXPECT_TRUE(selected("device_encSwitch"));
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(WholePanel, AHeadsetButtonTurnsNoiseCancellingOverInDriverPageAndProfile) {
    const bool wasOn = selected("device_encSwitch");
    const std::string expected =
        std::string("0x200 Enable_ENC_LFX - set ") + (wasOn ? "0" : "1") + " =0";
    mixcore->clearLog();
    hidsim::pressButton(headset, 0x10);
    ASSERT_TRUE(eventually([&] { return logged(expected); }));
    EXPECT_EQ(selected("device_encSwitch"), !wasOn);
    EXPECT_EQ(storedOption(kEnc), wasOn ? 0 : 1);
}

TEST_F(WholePanel, AMuteSetInTheDriverReachesThePageAndIsStored) {
    ASSERT_FALSE(selected("device_speakerMute"));
    mixcore->text(0x100, "MuteControl", "1");
    ASSERT_TRUE(eventually([&] { return selected("device_speakerMute"); }));
    EXPECT_TRUE(eventually([&] { return storedOption(kSpeakerMute) == 1; }));
    // Taken from the driver, so not written back to it.
    EXPECT_FALSE(logged("0x100 MuteControl - set 1 =0"));
}

TEST_F(WholePanel, RemovalStopsThePanelAndArrivalStartsItAgain) {
    hidsim::setPresent(headset, false);
    monitor.handler();
    EXPECT_EQ(zen->pullOutCount(), 1);
    EXPECT_FALSE(zen->trayVisible());
    // The poll ends: nothing of the panel is left running on the pool.
    ASSERT_TRUE(eventually([] { return QThreadPool::globalInstance()->activeThreadCount() == 0; }));

    mixcore->clearLog();
    hidsim::clearLog();
    QSignalSpy inits(root, SIGNAL(msg_INIT()));
    hidsim::setPresent(headset, true);
    monitor.handler();
    EXPECT_EQ(zen->pullInCount(), 1);
    EXPECT_TRUE(zen->trayVisible());
    ASSERT_TRUE(eventually([&] { return inits.count() == 1; }));
    EXPECT_TRUE(connectPushed(1));
    // The driver list is built again before the device check's defaults pass.
    const auto calls = propertyCalls();
    const auto defaults = defaultsPass();
    EXPECT_NE(std::search(calls.begin(), calls.end(), defaults.begin(), defaults.end()),
              calls.end());

    // The poll runs again: a button press reaches the driver.
    const bool wasOn = selected("device_encSwitch");
    mixcore->clearLog();
    hidsim::pressButton(headset, 0x10);
    EXPECT_TRUE(eventually([&] {
        return logged(std::string("0x200 Enable_ENC_LFX - set ") + (wasOn ? "0" : "1") + " =0");
    }));
}

} // namespace
