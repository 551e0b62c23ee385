#include "panel/pointer_settings.h"
#include "panel/profile_store.h"
#include "panel/settings_sync.h"
#include "panel/tests/panel_sim_fixture.h"
#include "testkit/temp_folder.h"

#include <numeric>

namespace {

using namespace panel_test;
using namespace panel;

class SettingsSyncOnSim : public PanelOnSim {
protected:
    // Option block bytes 0..39 filled with distinct values and valid pointer codes.
    static OptionBlock sampleBlock(std::uint8_t seed) {
        OptionBlock b{};
        for (std::size_t i = 0; i < 40; ++i) b[i] = static_cast<std::uint8_t>(seed + i);
        b[40] = 4;
        b[41] = 2;
        b[42] = 5;
        return b;
    }
    static MatrixBlock sampleMatrix(std::uint8_t seed) {
        MatrixBlock m{};
        std::iota(m.begin() + 64, m.begin() + 128, seed);
        return m;
    }
    static std::vector<std::uint8_t> codesSent() {
        std::vector<std::uint8_t> out;
        bool block = false;
        for (const auto& e : hidsim::log()) {
            if (e.op != hidsim::Op::Write) continue;
            if (block) { // a block's reports follow its header
                block = false;
                continue;
            }
            out.push_back(e.bytes[1]);
        }
        return out;
    }

    ProfileStore profiles{path("profile.ini")};
    IniPointerSettings pointer{path("pointer.ini")};
    SettingsSync sync{devices, hid, profiles, pointer};
};

TEST_F(SettingsSyncOnSim, AppliedBlocksComeBackThroughReadAll) {
    ASSERT_TRUE(profiles.setOption(2, sampleBlock(10)));
    ASSERT_TRUE(profiles.setMatrix(2, sampleMatrix(100)));
    ASSERT_TRUE(sync.applySettings(2));

    const hidsim::HeadsetState s = hidsim::state(headset);
    EXPECT_EQ(s.profile, 2);
    EXPECT_EQ(s.settings, (std::array<std::uint8_t, 4>{10, 11, 12, 13}));
    EXPECT_EQ(s.colours[6], (std::array<std::uint8_t, 3>{46, 47, 48}));
    EXPECT_EQ(s.gamingMode, 49);
    EXPECT_EQ(s.keyBlock[0], 100);

    ASSERT_TRUE(sync.readAllSettings(3));
    OptionBlock back{};
    MatrixBlock matrixBack{};
    ASSERT_TRUE(profiles.option(3, back));
    ASSERT_TRUE(profiles.matrix(3, matrixBack));
    EXPECT_EQ(back, sampleBlock(10));
    EXPECT_EQ(matrixBack, sampleMatrix(100));
}

TEST_F(SettingsSyncOnSim, MacroSlotsWithBothMarkersErasedAreSkipped) {
    MacroBlock erased{};
    erased.fill(0xFF);
    for (unsigned slot = 0; slot < kMacroSlots; ++slot) profiles.setMacro(slot, erased);
    MacroBlock half = erased;
    half[3] = 0x00;
    profiles.setMacro(4, half);
    MacroBlock other = erased;
    other[2] = 0x00;
    profiles.setMacro(9, other);
    ASSERT_TRUE(sync.applySettings(0));
    const auto macros = writes();
    std::vector<int> sentSlots;
    for (const auto& w : macros)
        if (w[1] == 0x05 && w[4] == 3 && w[3] < kMacroSlots) sentSlots.push_back(w[3]);
    EXPECT_EQ(sentSlots, (std::vector<int>{4, 9}));
    EXPECT_EQ(hidsim::state(headset).macros[4], half);
}

TEST_F(SettingsSyncOnSim, ProfilesBeyondTheLastAreRefused) {
    EXPECT_FALSE(sync.applySettings(kProfiles));
    EXPECT_FALSE(sync.readAllSettings(kProfiles));
    EXPECT_FALSE(sync.saveProfileBlocks(kProfiles));
    EXPECT_TRUE(hidsim::log().empty());
}

struct AutoSyncCase {
    const char* name;
    std::uint8_t firmwareFlag;
    std::int64_t firmwareTime, panelTime;
    bool profile0Read, currentRead;
};

TEST_F(SettingsSyncOnSim, AutoSyncTakesTheNewerSideThenAppliesAndStamps) {
    const AutoSyncCase cases[] = {
        {"equal times", 1, 5000, 5000, false, false},
        {"panel newer", 1, 5000, 6000, false, false},
        // The profile file is shared by the cases: none saves the current
        // profile before the first that should.
        {"firmware never stamped, panel newer", 0, 5000, 6000, true, false},
        {"firmware newer", 1, 6000, 5000, false, true},
        {"firmware never stamped and newer", 0, 6000, 5000, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        hidsim::HeadsetState s;
        s.syncedFlag = c.firmwareFlag;
        const auto t = static_cast<std::uint32_t>(c.firmwareTime);
        s.timeStamp = {static_cast<std::uint8_t>(t >> 24), static_cast<std::uint8_t>(t >> 16),
                       static_cast<std::uint8_t>(t >> 8), static_cast<std::uint8_t>(t)};
        s.settings = {0xA1, 0xA2, 0xA3, 0xA4};
        hidsim::setState(headset, s);
        profiles.storeTimeFlag(c.panelTime);
        for (unsigned p = 0; p < kProfiles; ++p) profiles.setOption(p, sampleBlock(0));
        const std::uint8_t current = profiles.profileId();

        ASSERT_TRUE(sync.autoSync());
        OptionBlock b0{}, bc{};
        profiles.option(0, b0);
        profiles.option(current, bc);
        EXPECT_EQ(b0[0] == 0xA1, c.profile0Read);
        EXPECT_EQ(bc[0] == 0xA1, c.currentRead);
        // The current profile went to the headset and both sides carry the new time.
        EXPECT_EQ(hidsim::state(headset).profile, current);
        EXPECT_EQ(hidsim::state(headset).timeStamp[0], 0x65);
        EXPECT_EQ(profiles.timeFlag(), clock.now.load());
        ProfileStore reread(path("profile.ini"));
        reread.load();
        EXPECT_EQ(reread.timeFlag(), clock.now.load());
        OptionBlock saved{};
        reread.option(current, saved);
        EXPECT_EQ(saved[0] == 0xA1, c.currentRead);
    }
}

// A headset that stops answering used to be read as zeros into profile 0 and
// the current profile, which were then saved.
TEST_F(SettingsSyncOnSim, AutoSyncStopsUnsavedWhenARequestFails) {
    for (unsigned p = 0; p < kProfiles; ++p) profiles.setOption(p, sampleBlock(1));
    hidsim::setFeatureGetFails(headset, true);
    EXPECT_FALSE(sync.autoSync());
    OptionBlock b{};
    profiles.option(0, b);
    EXPECT_EQ(b, sampleBlock(1));
    EXPECT_EQ(codesSent(), (std::vector<std::uint8_t>{0x80}));
    ProfileStore reread(path("profile.ini"));
    reread.load();
    OptionBlock saved{};
    reread.option(0, saved);
    EXPECT_EQ(saved, OptionBlock{});
}

TEST_F(SettingsSyncOnSim, AutoSyncDoesNothingWithoutAConnectedEntry) {
    devices.curDid = -1;
    EXPECT_FALSE(sync.autoSync());
    EXPECT_TRUE(hidsim::log().empty());
    EXPECT_EQ(sync.versionText(), "Ver -----");
}

TEST_F(SettingsSyncOnSim, VersionTextShowsMajorAndMinorInHex) {
    struct Case {
        std::uint8_t major, minor;
        const char* text;
    };
    for (const Case c : {Case{1, 5, "Ver  1.05"}, Case{0x1A, 0x0C, "Ver 1a.0c"}}) {
        SCOPED_TRACE(c.text);
        hidsim::HeadsetState s;
        s.versionMajor = c.major;
        s.versionMinor = c.minor;
        hidsim::setState(headset, s);
        sync.autoSync();
        EXPECT_EQ(sync.versionText(), c.text);
    }
}

TEST(ProfileStore, LoadCopiesAtMostABlockAndKeepsTheRest) {
    testkit::TempFolder folder;
    const QString path = pathIn(folder, "profile.ini");
    {
        QSettings ini(path, QSettings::IniFormat);
        QVariantList longList;
        for (int i = 0; i < 300; ++i) longList.append(i);
        ini.setValue("option/1", longList);
        ini.setValue("matrix/5", QVariantList{7, 8, 9});
        ini.setValue("macro/34", longList);
        ini.setValue("common/curProfile", 3);
        ini.setValue("common/timeFlag", 1700000000ull);
    }
    ProfileStore store(path);
    MatrixBlock before{};
    before.fill(0x55);
    store.setMatrix(5, before);
    store.load();
    OptionBlock option{};
    store.option(1, option);
    EXPECT_EQ(option[255], 255);
    EXPECT_EQ(option[1], 1);
    MatrixBlock matrix{};
    store.matrix(5, matrix);
    EXPECT_EQ(matrix[2], 9);
    EXPECT_EQ(matrix[3], 0x55);
    MacroBlock macro{};
    store.macro(34, macro);
    EXPECT_EQ(macro[191], 191);
    EXPECT_EQ(store.profileId(), 3);
    EXPECT_EQ(store.timeFlag(), 1700000000);
    EXPECT_FALSE(store.macro(kMacroSlots, macro));
}

TEST(ProfileStore, AMissingFileLeavesZeroBlocksAndProfileOne) {
    testkit::TempFolder folder;
    ProfileStore store(pathIn(folder, "none.ini"));
    store.load();
    OptionBlock option{};
    option.fill(1);
    store.option(0, option);
    EXPECT_EQ(option, OptionBlock{});
    EXPECT_EQ(store.profileId(), 1);
}

} // namespace
