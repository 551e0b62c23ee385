// The host's profile slots: what each stores in the current profile, what it
// sends to the driver client and the headset, and the profile file after it.

#include "panel/tests/view_fixture.h"

namespace {

using namespace panel_test;
using namespace panel;

using Slot = void (View::*)(const QVariantList&);
using Stored = std::vector<std::pair<std::size_t, int>>;

Stored bytesAt(std::size_t first, const std::vector<int>& values, Stored more = {}) {
    for (std::size_t i = 0; i < values.size(); ++i) more.push_back({first + i, values[i]});
    return more;
}

QVariantList listOf(const std::vector<int>& values) {
    QVariantList out;
    for (int v : values) out.append(v);
    return out;
}

QVariantList repeated(int value, int count) { return listOf(std::vector<int>(count, value)); }

struct LiveCase {
    const char* name;
    Slot slot;
    std::vector<int> src;
    Stored stored;
    std::string driverCall; // empty: the setter only stores
};

TEST_F(ViewOnSim, LiveSettersStoreTheirBytesThenTellTheDriver) {
    const std::vector<int> flat(10, 20), bands{0, 5, 10, 15, 20, 25, 30, 35, 40, 21};
    const LiveCase cases[] = {
        {"speaker mute, store", &View::ui_set_volume_speaker_mute_p, {1}, {{171, 1}}, ""},
        {"mic mute, store", &View::ui_set_volume_mic_mute_p, {1}, {{176, 1}}, ""},
        {"speaker value, store",
         &View::ui_set_volume_speaker_value_p,
         {1, 1, 40, 60},
         bytesAt(172, {1, 1, 40, 60}),
         ""},
        {"mic value, store",
         &View::ui_set_volume_mic_value_p,
         {0, 1, 70, 80},
         bytesAt(177, {0, 1, 70, 80}),
         ""},
        {"speaker mute", &View::ui_set_volume_speaker_mute, {0}, {{171, 0}}, "setSpeakerMute 0"},
        {"speaker value",
         &View::ui_set_volume_speaker_value,
         {1, 0, 30, 35},
         bytesAt(172, {1, 0, 30, 35}),
         "setSpeakerVolume 1 30 35"},
        {"mic mute", &View::ui_set_volume_mic_mute, {1}, {{176, 1}}, "setMicMute 1"},
        {"mic value",
         &View::ui_set_volume_mic_value,
         {0, 1, 55, 66},
         bytesAt(177, {0, 1, 55, 66}),
         "setMicVolume 0 55 66"},
        {"eq enable", &View::ui_set_eq_enable, {1}, {{7, 1}}, "setEqEnable 1"},
        {"eq flat",
         &View::ui_set_eq_value,
         {7, 20, 20, 20, 20, 20, 20, 20, 20, 20, 20},
         bytesAt(40, flat, {{8, 7}}),
         "setEqSliders 0 0 0 0 0 0 0 0 0 0"},
        {"eq bands",
         &View::ui_set_eq_value,
         {3, 0, 5, 10, 15, 20, 25, 30, 35, 40, 21},
         bytesAt(40, bands, {{8, 3}}),
         "setEqSliders -20 -15 -10 -5 0 5 10 15 20 1"},
        {"eq bands, store",
         &View::ui_set_eq_value_p,
         {7, 20, 20, 20, 20, 20, 20, 20, 20, 20, 20},
         bytesAt(40, flat, {{8, 7}}),
         ""},
        {"clarity", &View::ui_set_clarity_enable, {1}, {{0, 1}}, "setVoiceClarityEnable 1"},
        {"clarity level", &View::ui_set_clarity_level, {7}, {{1, 7}}, "setVoiceClarityLevel 7"},
        {"suppression", &View::ui_set_clarity_supp, {12}, {{2, 12}}, "setNoiseSuppressionLevel 12"},
        {"clarity level, store", &View::ui_set_clarity_level_p, {8}, {{1, 8}}, ""},
        {"suppression, store", &View::ui_set_clarity_supp_p, {9}, {{2, 9}}, ""},
        {"surround", &View::ui_set_surround_headphone, {1}, {{3, 1}}, "adjustSurroundHeadphone 1"},
        {"enc", &View::ui_set_enc, {1}, {{4, 1}}, "setEncEnable 1"},
        {"magic voice", &View::ui_set_magic_voice_enable, {1}, {{5, 1}}, "setMagicVoiceEnable 1"},
        {"magic voice mode",
         &View::ui_set_magic_voice_mode,
         {3},
         {{6, 3}},
         "setMagicVoiceSelection 3"},
        {"stored modulo 256",
         &View::ui_set_volume_speaker_mute,
         {257},
         {{171, 1}},
         "setSpeakerMute 1"},
    };
    for (const LiveCase& c : cases) {
        SCOPED_TRACE(c.name);
        driver.clear();
        View& view = *host;
        (view.*c.slot)(listOf(c.src));
        const QVariantList block = host->getCurrentRam(0);
        for (const auto& [offset, value] : c.stored) EXPECT_EQ(block[int(offset)], value) << offset;
        const auto calls = driver.calls();
        EXPECT_EQ(calls, c.driverCall.empty() ? decltype(calls){} : decltype(calls){c.driverCall});
        std::vector<int> bytes;
        for (const QVariant& b : block) bytes.push_back(b.toInt());
        EXPECT_EQ(profileFile(), "[option]\n1=" + iniList(bytes) + "\n");
    }
    EXPECT_TRUE(writes().empty()) << "a live setter spoke to the headset";
}

struct ShortCase {
    const char* name;
    Slot slot;
    int entries;
};

// A list shorter than a slot reads used to be indexed past its end.
TEST_F(ViewOnSim, AListShorterThanTheSlotReadsChangesNothing) {
    const ShortCase cases[] = {
        {"speaker mute", &View::ui_set_volume_speaker_mute, 1},
        {"speaker value", &View::ui_set_volume_speaker_value, 4},
        {"mic value, store", &View::ui_set_volume_mic_value_p, 4},
        {"eq bands", &View::ui_set_eq_value, 11},
        {"saved eq positions", &View::ui_setEqValue, 11},
        {"apply", &View::ui_setOption, 55},
        {"lighting", &View::ui_set_All_led, 31},
        {"keys", &View::ui_setButtonValue, 64},
    };
    for (const ShortCase& c : cases) {
        SCOPED_TRACE(c.name);
        View& view = *host;
        (view.*c.slot)(repeated(1, c.entries - 1));
    }
    EXPECT_EQ(host->getCurrentRam(0), repeated(0, 256));
    EXPECT_EQ(host->getCurrentRam(1), repeated(0, 256));
    EXPECT_TRUE(driver.calls().empty());
    EXPECT_TRUE(writes().empty());
    EXPECT_EQ(profileFile(), "");
}

// The device page's APPLY list: colours, LED settings, voice and EQ
// switches, EQ bands, speaker, microphone.
QVariantList applyList(int ledEnable, int ledMode) {
    std::vector<int> src(55, 0);
    src[0] = 255; // colour 0 red
    const int led[] = {ledEnable, ledMode, 9, 20, 0};
    std::copy(std::begin(led), std::end(led), src.begin() + 21);
    const int voice[] = {1, 6, 10, 1, 0, 1, 2, 1, 4};
    std::copy(std::begin(voice), std::end(voice), src.begin() + 26);
    std::fill(src.begin() + 35, src.begin() + 45, 20);
    src[35] = 25;
    const int volumes[] = {0, 1, 0, 50, 60, 1, 0, 0, 70, 70};
    std::copy(std::begin(volumes), std::end(volumes), src.begin() + 45);
    return listOf(src);
}

struct ApplyCase {
    int ledEnable;
    int storedMode;
    std::array<std::uint8_t, 3> colourBytes; // bytes 3..5 of command 0x04
};

TEST_F(ViewOnSim, ApplyStoresThePageThenPushesHeadsetAndDriver) {
    for (const ApplyCase& c : {ApplyCase{1, 3, {0, 0, 176}}, ApplyCase{0, 1, {0, 0, 0}}}) {
        SCOPED_TRACE(c.ledEnable);
        driver.clear();
        hidsim::clearLog();
        host->ui_setOption(applyList(c.ledEnable, 3));
        EXPECT_EQ(optionBytes(13, 5), (std::vector<int>{c.ledEnable, c.storedMode, 9, 20, 0}));
        EXPECT_EQ(optionBytes(0, 9), (std::vector<int>{1, 6, 10, 1, 0, 1, 2, 1, 4}));
        EXPECT_EQ(optionBytes(171, 10), (std::vector<int>{0, 1, 0, 50, 60, 1, 0, 0, 70, 70}));
        EXPECT_EQ(
            writes(),
            (std::vector<Bytes>{
                wire({0x02, 1, 1, 0, 1, 1}),
                wire({0x03, std::uint8_t(c.storedMode), 1, 0, 20, 0}),
                wire({0x04, 0, 0, c.colourBytes[0], c.colourBytes[1], c.colourBytes[2], 0, 0}),
                wire({0x01}),
            }));
        EXPECT_EQ(driver.calls(),
                  (std::vector<std::string>{
                      "setSpeakerVolumeAll 0 1 50 60", "setMicVolumeAll 1 0 70 70",
                      "setEqAll 1 5 0 0 0 0 0 0 0 0 0", "adjustVoiceClarity 1 6 10",
                      "adjustSurroundHeadphone 1", "setEncEnable 0", "setMagicVoice 1 2"}));
    }
}

TEST_F(ViewOnSim, TheLightingListSendsItsColourRedGreenBlue) {
    std::vector<int> src(31, 0);
    src[0] = 255;
    const int led[] = {1, 3, 9, 20, 0, 1, 1, 1, 0, 0};
    std::copy(std::begin(led), std::end(led), src.begin() + 21);
    host->ui_set_All_led(listOf(src));
    EXPECT_EQ(writes(),
              (std::vector<Bytes>{wire({0x02, 1, 1, 1, 0, 0}), wire({0x03, 3, 1, 0, 20, 0}),
                                  wire({0x04, 0, 0, 176, 0, 0, 0, 0}), wire({0x01})}));
    EXPECT_TRUE(driver.calls().empty());
    EXPECT_EQ(optionBytes(0, 6), (std::vector<int>{1, 0, 0, 1, 1, 0}));
}

TEST_F(ViewOnSim, AProfileSwitchReachesFileAndHeadsetAtTheNextCheck) {
    host->ui_set_enc({1});
    host->setProfileId(2);
    host->setProfileId(3);
    // The page reloads from the new profile before anything is applied.
    EXPECT_EQ(host->getCurrentRam(0)[4], 0);
    EXPECT_EQ(host->getProfileId(), 3);
    EXPECT_EQ(profileFile().find("curProfile"), std::string::npos);
    hidsim::clearLog();

    host->chkProfileId();
    host->chkProfileId();
    EXPECT_EQ(writes(), std::vector<Bytes>{wire({0x09, 3})});
    EXPECT_NE(profileFile().find("[common]\ncurProfile=3\n"), std::string::npos);

    // There are six profiles: a seventh is ignored and nothing is pending.
    host->setProfileId(6);
    host->chkProfileId();
    EXPECT_EQ(host->getProfileId(), 3);
    EXPECT_EQ(writes().size(), 1u);
}

TEST_F(ViewOnSim, RamReadsGiveWholeBlocksOfTheDefaultOrCurrentProfile) {
    host->setProfileId(0);
    host->ui_set_enc({1});
    host->setProfileId(2);
    host->ui_set_surround_headphone({1});
    struct Case {
        uchar ramId;
        int size;
    };
    for (const Case c : {Case{0, 256}, Case{1, 256}, Case{2, 192}, Case{3, 0}}) {
        SCOPED_TRACE(int(c.ramId));
        EXPECT_EQ(host->getDefaultRam(c.ramId).size(), c.size);
        EXPECT_EQ(host->getCurrentRam(c.ramId).size(), c.size);
    }
    EXPECT_EQ(host->getDefaultRam(0)[4], 1);
    EXPECT_EQ(host->getDefaultRam(0)[3], 0);
    EXPECT_EQ(host->getCurrentRam(0)[3], 1);
}

TEST_F(ViewOnSim, SavedEqPositionsGoToTheirPresetOnly) {
    host->ui_setEqValue(listOf({2, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(optionBytes(50, 1), std::vector<int>{2});
    EXPECT_EQ(optionBytes(71, 10), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    QVariantList before = host->getCurrentRam(0);
    host->ui_setEqValue(listOf({12, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9}));
    before[50] = 12;
    EXPECT_EQ(host->getCurrentRam(0), before);
    EXPECT_TRUE(driver.calls().empty());
}

TEST_F(ViewOnSim, KeyAssignmentsGoToTheHeadsetAndAreStamped) {
    std::vector<int> keys(64);
    for (int i = 0; i < 64; ++i) keys[std::size_t(i)] = i + 1;
    host->ui_setButtonValue(listOf(keys));

    const QVariantList matrix = host->getCurrentRam(1);
    EXPECT_EQ(matrix.mid(64, 64), listOf(keys));
    EXPECT_EQ(matrix[63], 0);
    Bytes block(65, 0xFF);
    for (std::size_t i = 0; i < keys.size(); ++i) block[i + 1] = std::uint8_t(keys[i]);
    const auto t = static_cast<std::uint32_t>(clock.now.load());
    EXPECT_EQ(writes(),
              (std::vector<Bytes>{wire({0x03, 0, 0, 1}), block,
                                  wire({0x15, std::uint8_t(t >> 24), std::uint8_t(t >> 16),
                                        std::uint8_t(t >> 8), std::uint8_t(t)})}));
    EXPECT_EQ(hidsim::state(headset).keyBlock[0], 1);
    std::vector<int> stored;
    for (const QVariant& b : matrix) stored.push_back(b.toInt());
    EXPECT_EQ(profileFile(), "[common]\ntimeFlag=" + std::to_string(clock.now.load()) +
                                 "\n\n[matrix]\n1=" + iniList(stored) + "\n");
}

TEST_F(ViewOnSim, TheTestButtonRestoresTheDefaultProfileFromItsBackup) {
    host->setProfileId(0);
    host->ui_set_surround_headphone({1});
    folder.write("data/profile_backup.ini", "[option]\n0=7, 8, 9\n\n[matrix]\n0=1, 2\n");
    clearRootCalls();
    host->test();
    // A shorter stored list fills only its length.
    EXPECT_EQ(optionBytes(0, 5), (std::vector<int>{7, 8, 9, 1, 0}));
    EXPECT_EQ(host->getDefaultRam(1).mid(0, 3), listOf({1, 2, 0}));
    EXPECT_NE(profileFile().find("[matrix]\n0=1, 2, 0, "), std::string::npos);
    EXPECT_NE(profileFile().find("[option]\n0=7, 8, 9, 1, 0, "), std::string::npos);
    ASSERT_FALSE(messages.texts.empty());
    EXPECT_EQ(messages.texts.back(), "已完成。");
    EXPECT_EQ(rootCalls(), "init();");
}

} // namespace
