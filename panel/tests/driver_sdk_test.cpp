// The client's library binding and device set-up on the library stand-in.

#include "panel/tests/driver_sdk_fixture.h"
#include "testkit/temp_folder.h"

#include <QFile>

#include <algorithm>
#include <thread>

namespace panel_test {
namespace {

using panel::DriverDeviceId;
using Words = DriverDeviceId;

std::size_t countOf(const std::vector<unsigned>& sleeps, unsigned ms) {
    return static_cast<std::size_t>(std::count(sleeps.begin(), sleeps.end(), ms));
}

struct CountCase {
    const char* name;
    std::uint32_t render, capture;
    std::uint32_t renderFailures, captureFailures;
    bool readyBefore;
    bool readyAfter;
    std::size_t renderAttempts, captureAttempts;
    const char* verdict; // the client's last line
};

TEST_F(DriverSdkOnMixcore, DeviceListIsReadyForExactlyOneRenderAndOneCaptureDevice) {
    const CountCase cases[] = {
        {"one of each", 1, 1, 0, 0, false, true, 1, 1, "isHXok  = true"},
        {"two render devices", 2, 1, 0, 0, true, false, 1, 1, "isHXok  = false"},
        {"no render device", 0, 1, 0, 0, true, false, 1, 1, "isHXok  = false"},
        {"no capture device", 1, 0, 0, 0, true, false, 1, 1, "isHXok  = false"},
        {"render count fails 99 times", 1, 1, 99, 0, false, true, 100, 1, "isHXok  = true"},
        {"render count fails 100 times", 1, 1, 100, 0, false, false, 100, 1,
         "nResult1 & nResult2 != 0"},
        {"render count fails 100 times, was ready", 1, 1, 100, 0, true, true, 100, 1,
         "nResult1 & nResult2 != 0"},
        {"capture count fails 100 times, was ready", 1, 1, 0, 100, true, true, 1, 100,
         "nResult1 & nResult2 != 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        mixcore.reset();
        sdk = makeClient(programFolder());
        sdk->loadLibrary();
        if (c.readyBefore) sdk->createDeviceList();
        ASSERT_EQ(sdk->isReady(), c.readyBefore);
        mixcore.clearLog();
        const std::size_t sleepsBefore = sleeper.calls().size();
        debug.clear();

        mixcore.setCounts(c.render, c.capture);
        mixcore.failNextCounts(0, c.renderFailures);
        mixcore.failNextCounts(1, c.captureFailures);
        sdk->createDeviceList();

        EXPECT_EQ(sdk->isReady(), c.readyAfter);
        EXPECT_EQ(mixcore.count("GetDeviceCount 0 "), c.renderAttempts);
        EXPECT_EQ(mixcore.count("GetDeviceCount 1 "), c.captureAttempts);
        // A short pause before every attempt.
        const auto sleeps = sleeper.calls();
        EXPECT_EQ(sleeps.size() - sleepsBefore, c.renderAttempts + c.captureAttempts);
        EXPECT_EQ(countOf({sleeps.begin() + sleepsBefore, sleeps.end()}, 10),
                  c.renderAttempts + c.captureAttempts);
        ASSERT_FALSE(debug.lines().isEmpty());
        EXPECT_EQ(debug.lines().back().toStdString(), c.verdict);
    }
}

TEST_F(DriverSdkOnMixcore, DeviceListLogsTheCountsAndTheBuildResult) {
    sdk->loadLibrary();
    debug.clear();
    sdk->createDeviceList();
    EXPECT_EQ(debug.lines(),
              QStringList({"CreateDeviceList called ok",
                           "GetDeviceCount called ok  , Render Device Count =  1", "nResult 0",
                           "GetDeviceCount called ok  , Capture Device Count =  1", "nResult 0",
                           "isHXok  = true"}));
}

struct SelectCase {
    const char* name;
    std::uint32_t renderCount;
    std::vector<std::array<std::uint32_t, 4>> render; // from index 0
    std::array<std::uint32_t, 4> capture;
    Words renderId, captureId;
};

TEST_F(DriverSdkOnMixcore, SelectionTakesTheActiveHeadphoneAndMicrophoneDevices) {
    const Words earlierRender{{0x1, 12, 0, 1}};
    const Words earlierCapture{{0x2, 2, 1, 1}};
    const SelectCase cases[] = {
        {"the headset's two devices",
         1,
         {{0x100, 12, 0, 1}},
         {0x200, 2, 1, 1},
         Words{{0x100, 12, 0, 1}},
         Words{{0x200, 2, 1, 1}}},
        {"headphone jack not active",
         1,
         {{0x100, 12, 0, 0}},
         {0x200, 2, 1, 1},
         earlierRender,
         Words{{0x200, 2, 1, 1}}},
        {"the last active headphone jack wins",
         3,
         {{0x100, 12, 0, 1}, {0x101, 4, 0, 1}, {0x102, 12, 0, 1}},
         {0x200, 2, 1, 1},
         Words{{0x102, 12, 0, 1}},
         Words{{0x200, 2, 1, 1}}},
        {"capture device of another jack",
         1,
         {{0x100, 12, 0, 1}},
         {0x200, 3, 1, 1},
         Words{{0x100, 12, 0, 1}},
         earlierCapture},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        mixcore.reset();
        sdk = makeClient(programFolder());
        sdk->loadLibrary();
        // Ids chosen earlier, on other devices.
        mixcore.setDevice(0, 0, earlierRender.words.data());
        mixcore.setDevice(1, 0, earlierCapture.words.data());
        sdk->createDeviceList();
        sdk->selectDevices();
        ASSERT_EQ(sdk->renderId(), earlierRender);

        mixcore.setCounts(c.renderCount, 1);
        for (std::size_t i = 0; i < c.render.size(); ++i)
            mixcore.setDevice(0, static_cast<std::int32_t>(i), c.render[i].data());
        mixcore.setDevice(1, 0, c.capture.data());
        sdk->createDeviceList();
        mixcore.clearLog();
        sdk->selectDevices();

        EXPECT_EQ(sdk->renderId(), c.renderId);
        EXPECT_EQ(sdk->captureId(), c.captureId);
        EXPECT_EQ(mixcore.count("GetDeviceById 0 "), c.renderCount);
        EXPECT_EQ(mixcore.count("GetDeviceById 1 0 "), 1u);
    }
}

TEST_F(DriverSdkOnMixcore, SelectionWithoutHeadsetAsksTheLibraryNothing) {
    sdk->reload();
    headset = false;
    mixcore.clearLog();
    debug.clear();
    sdk->selectDevices();
    EXPECT_TRUE(mixcore.lines().empty());
    EXPECT_EQ(debug.lines(), QStringList{"GetDeviceById disConnect ..."});
    EXPECT_EQ(sdk->renderId(), Words{});
}

struct InitCase {
    const char* name;
    std::int32_t initResult;
    std::uint32_t render;
    std::uint32_t renderFailures;
    std::size_t builds;      // CreateDeviceList calls
    std::size_t retryPauses; // 500 ms pauses
    const char* verdict;
    bool selected; // devices chosen and defaults pass run
};

TEST_F(DriverSdkOnMixcore, FullInitialisationRetriesTheDeviceListTwice) {
    const InitCase cases[] = {
        {"ready at once", 0, 1, 0, 1, 0, "isHXok == true", true},
        {"ready at the second attempt", 0, 1, 100, 2, 1, "isHXok == true", true},
        {"never ready", 0, 2, 0, 3, 2, "isHXok == false", false},
        {"library not ready", 5, 1, 0, 0, 0, "Initialize Driver SDK Error !", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        mixcore.reset();
        sdk = makeClient(programFolder());
        sdk->loadLibrary();
        mixcore.setInitResult(c.initResult);
        mixcore.setCounts(c.render, 1);
        mixcore.failNextCounts(0, c.renderFailures);
        mixcore.clearLog();
        debug.clear();
        const auto sleepsBefore = sleeper.calls().size();

        sdk->initDriver();

        const auto all = sleeper.calls();
        EXPECT_EQ(countOf({all.begin() + sleepsBefore, all.end()}, 500), c.retryPauses);
        EXPECT_EQ(mixcore.count("CreateDeviceList"), c.builds);
        EXPECT_EQ(debug.count(c.verdict), 1);
        EXPECT_EQ(sdk->confLibReady(), c.initResult == 0);
        EXPECT_EQ(sdk->renderId() == Words({{0x100, 12, 0, 1}}), c.selected);
        // The defaults pass reads every property it looks after.
        EXPECT_EQ(mixcore.propertyCalls().size(), c.selected ? 29u : 0u);
    }
}

TEST_F(DriverSdkOnMixcore, MissingLibraryWarnsOnceAndNothingCallsIt) {
    testkit::TempFolder empty;
    sdk = makeClient(QString::fromStdString(empty.path().string()));
    sdk->reload();
    EXPECT_EQ(messages.texts, std::vector<QString>{"Missing Mixcore.dll"});
    EXPECT_EQ(debug.lines(), QStringList({"hInpOutDll == NULL", "HXI_Init == NULL"}));

    debug.clear();
    sdk->initDriver();
    sdk->selectDevices();
    sdk->setSpeakerMute(1);
    EXPECT_EQ(debug.lines(), QStringList({"HXI_Init == NULL", "Initialize Driver SDK Error !"}));
    EXPECT_FALSE(sdk->isReady());
    EXPECT_EQ(sdk->rgbI2cMode(1, 2, 3, 4), panel::DriverSdk::kNotCalled);

    // Without the headset only the connection message remains.
    headset = false;
    debug.clear();
    sdk->readSpeakerVolume();
    EXPECT_EQ(debug.lines(), QStringList({"Init_HXI_PropertyControl   disConnect ...",
                                          "Init_HXI_PropertyControl   disConnect ..."}));
    EXPECT_EQ(messages.texts.size(), 1u);
    EXPECT_TRUE(mixcore.lines().empty());
}

TEST_F(DriverSdkOnMixcore, ALibraryThatAppearsLaterIsLoadedAtTheNextAttempt) {
    testkit::TempFolder folder;
    sdk = makeClient(QString::fromStdString(folder.path().string()));
    sdk->loadLibrary();
    ASSERT_EQ(messages.texts.size(), 1u);
    // A copy of its own: the test's handle on the first one stays apart.
    ASSERT_TRUE(QFile::copy(programFolder() + "/libMixcore.so",
                            QString::fromStdString((folder.path() / "libMixcore.so").string())));
    debug.clear();
    sdk->loadLibrary();
    sdk->confLibInit();
    EXPECT_EQ(debug.lines(), QStringList({"hInpOutDll called ok", "ConfLibInit called ok"}));
    EXPECT_EQ(messages.texts.size(), 1u);
}

TEST_F(DriverSdkOnMixcore, CallsWithoutHeadsetAreSkippedAndCountAsFailed) {
    ready();
    mixcore.text(kRender, "VolumeScalarControl", -1, "0.40");
    mixcore.text(kRender, "MuteControl", "1");
    sdk->readSpeakerVolume();
    ASSERT_FLOAT_EQ(sdk->values().speakerVolume, 40.5f);
    ASSERT_EQ(sdk->lastResult(), 0);
    mixcore.clearLog();

    headset = false;
    sdk->readSpeakerVolume();
    sdk->setSpeakerMute(0);
    sdk->adjustSurroundHeadphone(1);

    EXPECT_TRUE(mixcore.lines().empty());
    // An earlier success does not make a skipped read one: nothing cached.
    EXPECT_FLOAT_EQ(sdk->values().speakerVolume, 40.5f);
    EXPECT_EQ(sdk->values().speakerMute, 1);
    EXPECT_EQ(sdk->lastResult(), 0);
    EXPECT_EQ(debug.count("Init_HXI_PropertyControl   disConnect ..."), 6);
}

TEST_F(DriverSdkOnMixcore, ReadTextsEndWithinTheBuffer) {
    ready();
    // 512 characters fill the 1024-byte buffer with no terminator; the
    // client reads the first 511 of them.
    mixcore.text(kRender, "Enable_EQ_GFX", std::string(511, ' ') + "7");
    mixcore.text(kRender, "EQ_Slider1", std::string(510, ' ') + "42");
    sdk->readEq();
    EXPECT_EQ(sdk->values().eqEnable, 0);
    EXPECT_EQ(sdk->values().eq[0], 4);
}

TEST_F(DriverSdkOnMixcore, ForwardsReachTheLibraryAndTheDestructorClosesIt) {
    ready();
    EXPECT_EQ(sdk->rgbI2cMode(1, 2, 3, 4), 0);
    EXPECT_EQ(sdk->onTimerApp(), 0);
    EXPECT_EQ(sdk->saveToMcu(), 0);
    // Pattern and colour wait for a lighting set-up the panel never makes.
    EXPECT_EQ(sdk->setPattern(1, 2), panel::DriverSdk::kNotCalled);
    EXPECT_EQ(sdk->setRgb(0, 1, 2, 3), panel::DriverSdk::kNotCalled);
    sdk.reset();
    EXPECT_EQ(mixcore.lines(), std::vector<std::string>({"RGBI2CMode 1 2 3 4 =0", "OnTimerApp =0",
                                                         "SaveToMCU =0", "ConfLibUnInit =0"}));
}

TEST_F(DriverSdkOnMixcore, UnloadedLibraryIsNotCalled) {
    ready();
    sdk->unload();
    sdk->readEq();
    EXPECT_EQ(sdk->onTimerApp(), panel::DriverSdk::kNotCalled);
    sdk.reset();
    // The test's own handle keeps the library mapped: a call through a stale
    // entry would show here.
    EXPECT_TRUE(mixcore.lines().empty());
}

// A poll-loop read and a page's write never interleave in the library.
TEST_F(DriverSdkOnMixcore, EachOperationRunsWhole) {
    ready();
    constexpr int kRounds = 200;
    std::thread poll([&] {
        for (int i = 0; i < kRounds; ++i) sdk->readSpeakerVolume();
    });
    for (int i = 0; i < kRounds; ++i) sdk->setSpeakerVolumeAll(i % 2, 0, i % 100, 0);
    poll.join();

    const auto calls = mixcore.propertyCalls();
    ASSERT_EQ(calls.size(), static_cast<std::size_t>(kRounds * 2 + kRounds * 4));
    // A setter is four calls in a row: mute read and write, volume read and write.
    int setters = 0;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].find("MuteControl - set") == std::string::npos) continue;
        ++setters;
        ASSERT_GE(i, 1u);
        ASSERT_LT(i + 2, calls.size());
        EXPECT_NE(calls[i - 1].find("MuteControl - get"), std::string::npos);
        EXPECT_NE(calls[i + 1].find("VolumeScalarControl {-1} get"), std::string::npos);
        EXPECT_NE(calls[i + 2].find("VolumeScalarControl {-1} set"), std::string::npos);
    }
    EXPECT_EQ(setters, kRounds);
}

} // namespace
} // namespace panel_test
