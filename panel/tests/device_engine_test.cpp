#include "panel/device_engine.h"
#include "panel/tests/engine_fakes.h"
#include "panel/tests/panel_sim_fixture.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

using namespace panel_test;
using namespace panel;

// Another device's entry, for filters of two.
DeviceEntry otherEntry() { return {"260D", "2001", "000C", "0001", "000C", "0001"}; }

class Engine : public PanelOnSim {
protected:
    void SetUp() override {
        PanelOnSim::SetUp();
        devices.clear();
        devices.curDid = -1;
        hidsim::setNoInput(headset, true);
    }
    void TearDown() override {
        engine.reset();
        PanelOnSim::TearDown();
    }

    // Stops the poll after `cycles` cycles.
    void stopAfter(int cycles) {
        driver.onPollCycle = [this, cycles](int cycle) {
            if (cycle >= cycles) devices.stopPoll = true;
        };
    }
    int readyCount() const { return ready.load(); }

    ProfileStore profiles{path("profile.ini")};
    RecordingDriver driver;
    RecordingPage page;
    std::atomic<int> ready{0};
    std::unique_ptr<DeviceEngine> engine = std::make_unique<DeviceEngine>(
        DeviceEngine::Parts{devices, hid, profiles, driver, page, sleeper, [this] { ++ready; }});
};

TEST_F(Engine, OnlyTheEntriesUpToTheTotalGetAKestrel) {
    const DeviceEntry other = otherEntry();
    struct Case {
        int total;
        std::vector<DeviceEntry> entries;
        int expectedSize;
    };
    for (const Case& c : {Case{1, {headsetEntry(), other, headsetEntry()}, 1},
                          Case{2, {headsetEntry(), other}, 2}, Case{0, {headsetEntry()}, 0}}) {
        SCOPED_TRACE(c.total);
        engine->loadDeviceFilter(writeFilter(c.total, c.entries));
        EXPECT_EQ(devices.size(), c.expectedSize);
        EXPECT_EQ(engine->apVersion(), 4);
    }
}

// Fewer than four filter strings used to be read past their end.
TEST_F(Engine, WithoutAFilterNothingConnectsAndThePresenceTestFails) {
    engine->initWorker(path("missing.ini"));
    EXPECT_EQ(engine->apVersion(), -1);
    EXPECT_EQ(devices.size(), 0);
    EXPECT_FALSE(devices.testDevice());
    EXPECT_EQ(devices.curDid.load(), -1);
    EXPECT_EQ(readyCount(), 0);
    EXPECT_TRUE(writes().empty());
}

TEST_F(Engine, ConnectPushSendsTheProfileToHeadsetAndDriver) {
    OptionBlock b{};
    b[0] = 1;    // clarity
    b[1] = 4;    // clarity level
    b[2] = 2;    // noise level
    b[3] = 1;    // surround
    b[4] = 0;    // ENC stored off: the push switches it on
    b[5] = 1;    // magic voice
    b[6] = 3;    // magic mode
    b[7] = 1;    // EQ on
    b[13] = 1;   // LEDs on
    b[14] = 2;   // LED mode
    b[15] = 9;   // brightness
    b[16] = 4;   // LED speed
    b[17] = 1;   // colour 1
    b[21] = 255; // red
    b[22] = 128; // green
    b[23] = 0;   // blue
    for (int i = 0; i < 10; ++i) b[40 + i] = static_cast<std::uint8_t>(20 + i);
    b[176] = 1; // mic mute
    profiles.setOption(1, b);
    engine->loadDeviceFilter(writeFilter(1, {headsetEntry()}));
    devices.curDid = 0;
    hidsim::clearLog();
    engine->sync(1);

    EXPECT_EQ(writes(),
              (std::vector<Bytes>{wire({0x02, 1, 1, 1, 1, 1}), wire({0x03, 2, 1, 0, 4, 0}),
                                  wire({0x04, 0, 0, 88, 0, 176, 0, 0}), wire({0x01})}));
    EXPECT_EQ(driver.calls(),
              (std::vector<std::string>{"setAaVolumeAll 1 -1 0 0", "readSpeakerVolume",
                                        "readMicVolume", "setEqAll 1 0 1 2 3 4 5 6 7 8 9",
                                        "adjustVoiceClarity 1 4 2", "adjustSurroundHeadphone 1",
                                        "setEncEnable 1", "setMagicVoice 1 3"}));
}

TEST_F(Engine, DeviceCheckConnectsPushesAnnouncesAndPolls) {
    stopAfter(2);
    engine->initWorker(writeFilter(1, {headsetEntry()}));
    EXPECT_EQ(devices.curDid.load(), 0);
    EXPECT_EQ(readyCount(), 1);
    EXPECT_EQ(driver.calls().front(), "initDriver");
    EXPECT_EQ(engine->pollCount(), 2);
    EXPECT_EQ(hidsim::openHandles(), 0) << "the button interface stays open";
}

TEST_F(Engine, EveryEntryThatConnectsIsPushedAndTheLastStays) {
    hidsim::DeviceDesc second = hidsim::headsetDescription();
    second.vendorId = 0x260D;
    second.productId = 0x2001;
    hidsim::setNoInput(hidsim::addDevice(second), true);
    stopAfter(1);
    engine->initWorker(writeFilter(2, {headsetEntry(), otherEntry()}));
    EXPECT_EQ(devices.curDid.load(), 1);
    const auto calls = driver.calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "initDriver"), 2);
}

struct ButtonCase {
    const char* name;
    Bytes report;
    std::vector<QString> expected;
};

TEST_F(Engine, OnlyASixteenByteButtonReportReachesThePage) {
    auto buttonReport = [](std::size_t size) {
        Bytes r(size, 0);
        r[0] = 1;
        r[1] = 0x10;
        return r;
    };
    DriverValues v;
    v.enc = 1; // as the connect push of an empty profile left the page
    v.eq.fill(-20);
    driver.setValues(v);
    const ButtonCase cases[] = {
        {"button press", buttonReport(16), {"onHidRead"}},
        {"65-byte report", buttonReport(65), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        page.clear();
        devices.curDid = -1;
        hidsim::pushInput(headset, hidsim::kButtonInterface, c.report);
        driver.onPollCycle = [this, n = 0](int) mutable {
            if (++n >= 2) devices.stopPoll = true;
        };
        engine->initWorker(writeFilter(1, {headsetEntry()}));
        EXPECT_EQ(page.functions(), c.expected);
        if (!c.expected.empty()) {
            EXPECT_EQ(page.calls()[0].args, (QVariantList{16}));
        }
    }
}

TEST_F(Engine, OneGroupReachesThePagePerCycleInTableOrder) {
    engine->loadDeviceFilter(writeFilter(1, {headsetEntry()}));
    devices.curDid = 0;
    engine->sync(1); // ENC 1 and the rest 0 are what the page has
    DriverValues v;
    v.enc = 1;
    v.speakerMute = 1;
    v.speakerLeft = 30;
    v.speakerRight = 50;
    v.eq[9] = 5;
    v.eqEnable = 1;
    driver.setValues(v);
    stopAfter(6);
    engine->pollLoop();
    const auto calls = page.calls();
    ASSERT_EQ(page.functions(),
              (std::vector<QString>{"onDriverRead_SpVolMute", "onDriverRead_SpVolValue_LR",
                                    "onDriverRead_EqEnable", "onDriverRead_EqValue"}));
    EXPECT_EQ(calls[0].args, (QVariantList{1}));
    EXPECT_EQ(calls[1].args, (QVariantList{30.0f, 50.0f}));
    EXPECT_EQ(calls[2].args, (QVariantList{1}));
    EXPECT_EQ(calls[3].args, (QVariantList{0, 0, 0, 0, 0, 0, 0, 0, 0, 5}));
}

TEST_F(Engine, AVolumeThatIsNotANumberIsPushedEveryCycle) {
    engine->loadDeviceFilter(writeFilter(1, {headsetEntry()}));
    devices.curDid = 0;
    engine->sync(1);
    DriverValues v;
    v.enc = 1;
    v.micVolume = std::numeric_limits<float>::quiet_NaN();
    driver.setValues(v);
    stopAfter(4);
    engine->pollLoop();
    EXPECT_EQ(page.functions(), std::vector<QString>(3, "onDriverRead_MicVolValue"));
}

// The button interface that can't be opened used to be read through a null
// handle; now the cycle is paced as a read that ran out and the interface is
// opened again next cycle.
TEST_F(Engine, AButtonInterfaceThatWontOpenIsTriedAgainEachCycle) {
    engine->loadDeviceFilter(writeFilter(1, {headsetEntry()}));
    devices.curDid = 0;
    hidsim::setOpenFails(headset, hidsim::kButtonInterface, true);
    driver.onPollCycle = [this](int cycle) {
        if (cycle == 2) hidsim::setOpenFails(headset, hidsim::kButtonInterface, false);
        if (cycle == 2) hidsim::pressButton(headset, 7);
        if (cycle == 3) devices.stopPoll = true;
    };
    engine->pollLoop();
    EXPECT_EQ(sleeper.calls(), (std::vector<unsigned>{100}));
    EXPECT_EQ(page.functions().front(), "onHidRead");
    EXPECT_EQ(hidsim::openHandles(), 0);
}

TEST_F(Engine, ANewDeviceCheckWaitsForTheRunningPoll) {
    engine->loadDeviceFilter(writeFilter(1, {headsetEntry()}));
    std::atomic<bool> firstRunning{false}, secondStarted{false};
    std::atomic<int> cyclesSinceSecond{0};
    driver.onPollCycle = [&](int) {
        firstRunning = true;
        if (secondStarted.load() && ++cyclesSinceSecond >= 30) devices.stopPoll = true;
    };
    engine->startCheckDevice();
    while (!firstRunning.load()) std::this_thread::yield();
    // The second check stops the first poll, waits for it and polls itself.
    std::thread second([&] {
        secondStarted = true;
        engine->checkDevice();
    });
    const std::thread::id secondId = second.get_id();
    second.join();
    const auto threads = driver.pollThreads();
    // Once the second poll has begun the first one never runs again.
    const auto firstOfSecond = std::find(threads.begin(), threads.end(), secondId);
    ASSERT_NE(firstOfSecond, threads.end());
    EXPECT_TRUE(std::all_of(firstOfSecond, threads.end(),
                            [&](std::thread::id id) { return id == secondId; }));
}

// The engine used to free the devices while its pool tasks used them.
TEST_F(Engine, DestroyingTheEngineStopsAndWaitsForItsTasks) {
    std::atomic<int> cycles{0};
    driver.onPollCycle = [&](int) { ++cycles; };
    engine->startInitWorker(writeFilter(1, {headsetEntry()}));
    while (cycles.load() < 3) std::this_thread::yield();
    engine.reset();
    const int after = cycles.load();
    devices.clear();
    EXPECT_EQ(cycles.load(), after);
    EXPECT_EQ(hidsim::openHandles(), 0);
}

} // namespace
