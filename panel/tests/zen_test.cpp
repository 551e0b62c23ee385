#include "panel/tests/debug_lines.h"
#include "panel/tests/fifo_watch.h"
#include "panel/tests/zen_fixture.h"
#include "panel/user_event.h"

#include <filesystem>

namespace {

using namespace panel_test;
using namespace panel;

TEST_F(ZenOnSim, StartUpWithAHeadsetChecksItAndInitialisesThePage) {
    makeZen();
    EXPECT_EQ(zen->devices().curDid.load(), 0);
    EXPECT_EQ(driverCalls("initDriver"), 1);
    EXPECT_EQ(view->calls,
              (std::vector<QString>{"attach Ver -----", "cleanUnusedMacroId", "init"}));
    EXPECT_TRUE(messages.texts.empty());
}

// The window used to wait for a writer on a FIFO in the profile file's place
// before it came up, without a word.
TEST_F(ZenOnSim, AProfileFileThatIsAFifoIsPassedOverWithAWarning) {
    namespace fs = std::filesystem;
    fs::create_directories(folder.path() / "fifos");
    FifoWatch fifo(folder.path() / "fifos" / "profile.ini");
    ASSERT_TRUE(fifo.made());
    fs::create_hard_link(folder.path() / "fifos" / "profile.ini", folder.path() / "profile.ini");
    const DebugLines debug;
    makeZen();
    EXPECT_EQ(view->calls,
              (std::vector<QString>{"attach Ver -----", "cleanUnusedMacroId", "init"}));
    EXPECT_FALSE(fifo.wasOpened());
    EXPECT_EQ(fs::symlink_status(folder.path() / "profile.ini").type(), fs::file_type::fifo);
    EXPECT_EQ(debug.count(path("profile.ini") +
                          " is a FIFO, not a regular file; it is taken as missing, left as it "
                          "is and not written"),
              1)
        << debug.lines().join("\n").toStdString();
}

TEST_F(ZenOnSim, StartUpWithoutTheDriverWarnsAndHides) {
    driver.ready = false;
    makeZen();
    EXPECT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(driverCalls("createDeviceList"), 1);
    EXPECT_FALSE(zen->trayVisible());
}

TEST_F(ZenOnSim, OnlyTheDeviceReadyCodeInitialisesThePage) {
    makeZen();
    view->calls.clear();
    UserEvent other(0x880);
    QCoreApplication::sendEvent(zen.get(), &other);
    EXPECT_TRUE(view->calls.empty());
    UserEvent ready(kDeviceReadyCode);
    QCoreApplication::sendEvent(zen.get(), &ready);
    EXPECT_EQ(view->calls.back(), "init");
}

struct ChangeCase {
    const char* name;
    bool present;
    int expectedIn, expectedOut;
};

TEST_F(ZenOnSim, EachArrivalAndRemovalActsOnce) {
    makeZen();
    const ChangeCase steps[] = {
        {"arrival", true, 1, 0},  {"same arrival again", true, 2, 0}, {"third message", true, 3, 0},
        {"removal", false, 0, 1}, {"same removal", false, 0, 2},      {"next arrival", true, 1, 0},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.name);
        hidsim::setPresent(headset, s.present);
        monitor.handler();
        QThreadPool::globalInstance()->waitForDone();
        EXPECT_EQ(zen->pullInCount(), s.expectedIn);
        EXPECT_EQ(zen->pullOutCount(), s.expectedOut);
    }
    // Two arrivals and one removal acted: reload at start and per arrival,
    // a device check at start and per arrival.
    EXPECT_EQ(driverCalls("reload"), 3);
    EXPECT_EQ(driverCalls("initDriver"), 3);
    EXPECT_EQ(sleeper.calls(), (std::vector<unsigned>{1000, 1000, 1000, 1000, 1000}));
}

TEST_F(ZenOnSim, RemovalStopsThePollAndHides) {
    makeZen();
    hidsim::setPresent(headset, false);
    monitor.handler();
    EXPECT_EQ(zen->devices().curDid.load(), -1);
    EXPECT_TRUE(zen->devices().stopPoll.load());
    EXPECT_FALSE(zen->trayVisible());
    EXPECT_FALSE(zen->isVisible());
}

// The client asks the window's headset test before each property call, and
// must not ask a window that is gone.
TEST_F(ZenOnSim, TheClientAsksTheWindowsHeadsetTestWhileTheWindowLives) {
    makeZen();
    EXPECT_TRUE(driver.askConnection());
    hidsim::setPresent(headset, false);
    EXPECT_FALSE(driver.askConnection());
    zen.reset();
    EXPECT_FALSE(driver.hasConnectionTest());
}

// An arrival whose driver list became ready at the second or third build
// used to end without checking the device.
TEST_F(ZenOnSim, AnArrivalChecksTheDeviceAfterAnySuccessfulBuild) {
    for (int buildsNeeded : {1, 2}) {
        SCOPED_TRACE(buildsNeeded);
        makeZen();
        driver.clear();
        driver.ready = false;
        driver.buildsUntilReady = buildsNeeded;
        monitor.handler();
        QThreadPool::globalInstance()->waitForDone();
        EXPECT_EQ(driverCalls("createDeviceList"), buildsNeeded);
        EXPECT_EQ(driverCalls("initDriver"), 1);
        EXPECT_TRUE(messages.texts.empty());
        live = nullptr;
        zen.reset();
        driver.ready = true;
    }
}

TEST_F(ZenOnSim, ADriverStillMissingAfterThreeBuildsEndsTheProgram) {
    makeZen();
    driver.ready = false;
    monitor.handler();
    EXPECT_EQ(driverCalls("createDeviceList"), 2);
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_TRUE(messages.texts[0].contains("AP will quit"));
    EXPECT_EQ(driverCalls("initDriver"), 1); // the start-up's only
}

TEST_F(ZenOnSim, TrayClicksShowTheWindowOnlyWithADevice) {
    struct Case {
        QSystemTrayIcon::ActivationReason reason;
        bool connected;
        bool shows;
    };
    makeZen();
    for (const Case c :
         {Case{QSystemTrayIcon::Context, true, false}, Case{QSystemTrayIcon::Trigger, false, false},
          Case{QSystemTrayIcon::DoubleClick, false, false},
          Case{QSystemTrayIcon::Trigger, true, true},
          Case{QSystemTrayIcon::DoubleClick, true, true}}) {
        SCOPED_TRACE(int(c.reason));
        zen->hide();
        zen->devices().curDid = c.connected ? 0 : -1;
        zen->trayIconActivated(c.reason);
        EXPECT_EQ(zen->isVisible(), c.shows);
    }
}

TEST_F(ZenOnSim, ASecondStartWithoutADeviceWarnsAndHides) {
    makeZen();
    hidsim::setPresent(headset, false);
    zen->receiveMessage("");
    EXPECT_EQ(messages.texts.size(), 1u);
    QCoreApplication::processEvents();
    EXPECT_FALSE(zen->isVisible());
}

TEST_F(ZenOnSim, ASecondStartWithADeviceRestoresTheWindow) {
    makeZen();
    zen->hide();
    view->calls.clear();
    zen->receiveMessage("");
    QCoreApplication::processEvents();
    EXPECT_TRUE(zen->isVisible());
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_EQ(view->calls, (std::vector<QString>{"refreshVolumes"}));
}

struct ForwardCase {
    std::function<void(Zen&)> call;
    std::string expected;
};

TEST_F(ZenOnSim, DriverSettingsReachTheClientUnchanged) {
    makeZen();
    const std::array<int, 10> bands{-5, -4, -3, -2, -1, 1, 2, 3, 4, 5};
    const ForwardCase cases[] = {
        {[](Zen& z) { z.setSpeakerVolumeAll(1, 1, 40, 60); }, "setSpeakerVolumeAll 1 1 40 60"},
        {[](Zen& z) { z.setMicVolumeAll(0, 0, 70, 0); }, "setMicVolumeAll 0 0 70 0"},
        {[&](Zen& z) { z.setEqAll(1, bands); }, "setEqAll 1 -5 -4 -3 -2 -1 1 2 3 4 5"},
        {[](Zen& z) { z.adjustVoiceClarity(1, 2, 3); }, "adjustVoiceClarity 1 2 3"},
        {[](Zen& z) { z.adjustSurroundHeadphone(1); }, "adjustSurroundHeadphone 1"},
        {[](Zen& z) { z.setEncEnable(0); }, "setEncEnable 0"},
        {[](Zen& z) { z.setMagicVoice(1, 4); }, "setMagicVoice 1 4"},
        {[](Zen& z) { z.setSpeakerMute(1); }, "setSpeakerMute 1"},
        {[](Zen& z) { z.setSpeakerVolume(1, 30, 35); }, "setSpeakerVolume 1 30 35"},
        {[](Zen& z) { z.setMicMute(1); }, "setMicMute 1"},
        {[](Zen& z) { z.setMicVolume(0, 55, 0); }, "setMicVolume 0 55 0"},
        {[](Zen& z) { z.setEqEnable(1); }, "setEqEnable 1"},
        {[&](Zen& z) { z.setEqSliders(bands); }, "setEqSliders -5 -4 -3 -2 -1 1 2 3 4 5"},
        {[](Zen& z) { z.setVoiceClarityEnable(1); }, "setVoiceClarityEnable 1"},
        {[](Zen& z) { z.setVoiceClarityLevel(6); }, "setVoiceClarityLevel 6"},
        {[](Zen& z) { z.setNoiseSuppressionLevel(2); }, "setNoiseSuppressionLevel 2"},
        {[](Zen& z) { z.setMagicVoiceEnable(1); }, "setMagicVoiceEnable 1"},
        {[](Zen& z) { z.setMagicVoiceSelection(3); }, "setMagicVoiceSelection 3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        driver.clear();
        c.call(*zen);
        EXPECT_EQ(driver.calls(), std::vector<std::string>{c.expected});
    }
}

TEST_F(ZenOnSim, VolumeReadsPushValueThenMute) {
    makeZen();
    DriverValues v;
    v.speakerVolume = 40;
    v.speakerLeft = 30;
    v.speakerRight = 50;
    v.micVolume = 70;
    v.speakerMute = 1;
    driver.setValues(v);
    view->page.clear();
    zen->readSpeakerVolume();
    zen->readSpeakerVolumeLR();
    zen->readMicVolume();
    EXPECT_EQ(view->page.functions(),
              (std::vector<QString>{"onDriverRead_SpVolValue", "onDriverRead_SpVolMute",
                                    "onDriverRead_SpVolValue_LR", "onDriverRead_SpVolMute",
                                    "onDriverRead_MicVolValue", "onDriverRead_MicVolMute"}));
}

} // namespace
