// The device page on a recording host: what it loads, what each control and
// report sends, and what RESET sends in which order.

#include "panel/tests/scene_fixture.h"

#include <cmath>

namespace {

using namespace panel_test;

// A profile: LED on, mode 2, brightness 5, speed code 30, colour 1, the seven
// colours k*10+1.., clarity on at 6/12, surround on, ENC off, magic voice on
// mode 2, EQ on preset 3 with saved positions 10..19, speaker muted and
// unlocked at 70/60, microphone at 40.
QVariantList sampleProfile() {
    std::map<int, int> b{{0, 1},   {1, 6},   {2, 12},   {3, 1},    {4, 0},   {5, 1},    {6, 2},
                         {7, 1},   {8, 3},   {13, 1},   {14, 2},   {15, 5},  {16, 30},  {17, 1},
                         {171, 1}, {172, 1}, {174, 70}, {175, 60}, {176, 0}, {179, 40}, {180, 40}};
    for (int i = 0; i < 21; ++i) b[18 + i] = (i / 3) * 10 + i % 3 + 1;
    for (int j = 0; j < 10; ++j) b[51 + 30 + j] = 10 + j;
    return optionBlock(b);
}

class DevicePage : public SceneTest {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        recorder.currentRam = sampleProfile();
        call(root, "init");
        page = item("page_device");
        recorder.clear();
    }
    QVariant pageCall(const char* function, QVariantList args = {}) {
        return call(page, function, args);
    }
    int index(const QString& control) { return call(item(control), "getCurIndex").toInt(); }
    bool selected(const QString& control) { return item(control)->property("isSelect").toBool(); }
    // The names of the recorded calls, in order.
    std::vector<QString> callNames() const {
        std::vector<QString> out;
        for (const QString& c : recorder.calls) out.push_back(c.left(c.indexOf('(')));
        return out;
    }
    QQuickItem* page = nullptr;
};

TEST_F(DevicePage, LoadsEveryControlFromTheProfile) {
    EXPECT_TRUE(selected("device_ledSwitch"));
    EXPECT_EQ(index("device_ledMode"), 1);
    EXPECT_EQ(index("device_ledBrightness"), 5);
    EXPECT_EQ(index("device_ledSpeed"), 20);
    EXPECT_EQ(item("device_ledPalette")->property("currentIndex").toInt(), 1);
    EXPECT_TRUE(selected("device_claritySwitch"));
    EXPECT_EQ(index("device_clarityLevel"), 2);
    EXPECT_EQ(index("device_claritySupp"), 12);
    EXPECT_TRUE(selected("device_surroundSwitch"));
    // ENC shows on, as connecting set it in the driver, though the profile holds off.
    EXPECT_TRUE(selected("device_encSwitch"));
    EXPECT_TRUE(selected("device_magicSwitch"));
    EXPECT_EQ(page->property("magicMode").toInt(), 2);
    EXPECT_EQ(page->property("eqPreset").toInt(), 3);
    EXPECT_EQ(index("device_eqBand0"), 10);
    EXPECT_EQ(index("device_eqBand9"), 19);
    EXPECT_TRUE(selected("device_speakerMute"));
    EXPECT_FALSE(selected("device_speakerLock"));
    EXPECT_EQ(index("device_speakerL"), 30);
    EXPECT_EQ(index("device_speakerR"), 40);
    EXPECT_EQ(index("device_micL"), 60);
    EXPECT_EQ(root->property("selectColor3").value<QColor>(), QColor("#FBA919"));
    EXPECT_EQ(root->property("selectColor1").value<QColor>(), QColor("#FBA919"));
}

TEST_F(DevicePage, LoadingAsksForTheVolumesTheLockShows) {
    call(root, "msg_LoadCurrentProfile");
    EXPECT_EQ(recorder.callsTo("ui_get"),
              (std::vector<QString>{"ui_get_volume_speaker_LR()", "ui_get_volume_mic_master()"}));
    recorder.currentRam[172] = 0;
    recorder.clear();
    call(root, "msg_LoadCurrentProfile");
    EXPECT_EQ(recorder.callsTo("ui_get_volume_speaker"),
              std::vector<QString>{"ui_get_volume_speaker_master()"});
}

TEST_F(DevicePage, ALoadWithoutAProfileChangesNothing) {
    recorder.currentRam.clear();
    call(root, "msg_LoadCurrentProfile");
    EXPECT_EQ(recorder.calls, std::vector<QString>{"getCurrentRam(0)"});
    EXPECT_TRUE(selected("device_claritySwitch"));
}

TEST_F(DevicePage, TheLightingListHas31EntriesAndTheApplyList55) {
    pageCall("set_all_led");
    pageCall("setOption");
    ASSERT_EQ(recorder.calls.size(), 2u);
    const QString colours = "1,2,3,11,12,13,21,22,23,31,32,33,41,42,43,51,52,53,61,62,63";
    EXPECT_EQ(recorder.calls[0], "ui_set_All_led([" + colours + ",1,2,5,30,1,1,1,1,1,0])");
    EXPECT_EQ(recorder.calls[1], "ui_setOption([" + colours +
                                     ",1,2,5,30,1,1,6,12,1,1,1,2,1,3,30,29,28,27,26,25,24,23,22,21,"
                                     "1,1,0,70,60,0,0,0,40,40])");
}

TEST_F(DevicePage, ResetSendsTheFactorySettingsInOrder) {
    pageCall("reset");
    const std::vector<QString> expected{"ui_set_volume_speaker_value",
                                        "ui_set_volume_speaker_value_p",
                                        "ui_set_volume_speaker_mute",
                                        "ui_set_volume_speaker_value",
                                        "ui_set_volume_mic_mute",
                                        "ui_set_All_led",
                                        "ui_set_volume_mic_value",
                                        "ui_set_eq_enable",
                                        "ui_set_eq_value",
                                        "ui_set_clarity_enable",
                                        "ui_set_All_led",
                                        "ui_set_clarity_level",
                                        "ui_set_clarity_supp",
                                        "ui_set_surround_headphone",
                                        "ui_set_All_led",
                                        "ui_set_enc",
                                        "ui_set_All_led",
                                        "ui_set_magic_voice_enable",
                                        "ui_set_All_led",
                                        "ui_set_magic_voice_mode",
                                        "ui_set_All_led",
                                        "ui_setEqValue",
                                        "ui_setEqValue",
                                        "ui_setEqValue",
                                        "ui_setEqValue",
                                        "ui_setEqValue",
                                        "ui_setEqValue",
                                        "ui_setEqValue",
                                        "ui_setEqValue",
                                        "ui_setEqValue",
                                        "ui_setEqValue",
                                        "ui_setEqValue",
                                        "ui_setEqValue"};
    EXPECT_EQ(callNames(), expected);
    // The speaker volume goes out twice: unlocked, then locked.
    EXPECT_EQ(recorder.calls[0], "ui_set_volume_speaker_value([1,0,49,49])");
    EXPECT_EQ(recorder.calls[1], "ui_set_volume_speaker_value_p([0,0,49,49])");
    EXPECT_EQ(recorder.calls[3], "ui_set_volume_speaker_value([0,0,49,49])");
    EXPECT_EQ(recorder.calls[6], "ui_set_volume_mic_value([0,0,85,85])");
    EXPECT_EQ(recorder.calls[8], "ui_set_eq_value([11,20,20,20,20,20,20,20,20,20,20])");
    EXPECT_EQ(recorder.calls.back(), "ui_setEqValue([11,20,20,20,20,20,20,20,20,20,20])");
    EXPECT_EQ(recorder.calls[21], "ui_setEqValue([0,15,18,20,30,25,20,14,8,9,10])");
    EXPECT_EQ(recorder.calls[20],
              "ui_set_All_led([255,0,0,255,255,0,0,255,0,0,255,255,0,0,255,255,0,255,"
              "255,255,255,1,3,9,10,0,0,0,1,0,0])");
}

TEST_F(DevicePage, AUsersChangeIgnoresTheCrossingReportOnce) {
    click("device_surroundSwitch");
    EXPECT_EQ(recorder.calls.at(0), "ui_set_surround_headphone([0])");
    recorder.clear();
    call(root, "onDriverRead_SurEnable", {1});
    EXPECT_TRUE(recorder.calls.empty());
    EXPECT_FALSE(selected("device_surroundSwitch"));
    call(root, "onDriverRead_SurEnable", {1});
    EXPECT_EQ(recorder.calls.at(0), "ui_set_surround_headphone([1])");
    EXPECT_TRUE(selected("device_surroundSwitch"));
}

struct ReportCase {
    const char* function;
    QVariantList args;
    std::vector<QString> calls;
};

TEST_F(DevicePage, DriverReportsAreShownAndRecorded) {
    const ReportCase cases[] = {
        {"onDriverRead_SpVolMute", {0}, {"ui_set_volume_speaker_mute_p([0])"}},
        // Unlocked: only the left/right report moves the sliders.
        {"onDriverRead_SpVolValue", {50}, {}},
        {"onDriverRead_SpVolValue_LR", {80, 20}, {"ui_set_volume_speaker_value_p([1,0,80,20])"}},
        {"onDriverRead_MicVolValue", {33}, {"ui_set_volume_mic_value_p([0,0,33,33])"}},
        {"onDriverRead_Vc",
         {1, 12, 7},
         {"ui_set_clarity_enable([1])", "ui_set_All_led", "ui_set_clarity_level_p([4])",
          "ui_set_clarity_supp_p([7])"}},
        {"onDriverRead_Mgi",
         {0, 3},
         {"ui_set_magic_voice_enable([0])", "ui_set_All_led", "ui_set_magic_voice_mode([3])"}},
        {"onDriverRead_EqEnable", {0}, {"ui_set_eq_enable([0])"}},
        {"onDriverRead_EqValue",
         {20, -20, 0, 1, 2, 3, 4, 5, 6, 7},
         {"ui_set_eq_value_p([3,40,0,20,21,22,23,24,25,26,27])"}},
        {"onDriverRead_MicVolMute", {1}, {"ui_set_volume_mic_mute_p([1])", "ui_set_All_led"}},
        {"onDriverRead_EncEnable", {1}, {"ui_set_enc([1])", "ui_set_All_led"}},
    };
    for (const ReportCase& c : cases) {
        SCOPED_TRACE(c.function);
        recorder.clear();
        call(root, c.function, c.args);
        std::vector<QString> got;
        for (const QString& s : recorder.calls)
            got.push_back(s.startsWith("ui_set_All_led") ? "ui_set_All_led" : s);
        EXPECT_EQ(got, c.calls);
    }
    EXPECT_EQ(index("device_speakerL"), 20);
    EXPECT_EQ(index("device_clarityLevel"), 0);
}

TEST_F(DevicePage, ALockedSpeakerFollowsTheMasterReport) {
    click("device_speakerLock");
    EXPECT_EQ(recorder.calls, std::vector<QString>{"ui_get_volume_speaker_master()"});
    recorder.clear();
    call(root, "onDriverRead_SpVolValue_LR", {10, 20});
    call(root, "onDriverRead_SpVolValue", {55});
    EXPECT_EQ(recorder.calls, std::vector<QString>{"ui_set_volume_speaker_value_p([0,0,55,55])"});
}

struct ButtonCase {
    int mode;
    std::vector<QString> calls;
};

TEST_F(DevicePage, HeadsetButtonsTurnTheirFeatureOver) {
    const ButtonCase cases[] = {
        {0x10, {"ui_set_enc([0])", "ui_set_All_led"}},
        {0x10, {"ui_set_enc([1])", "ui_set_All_led"}},
        {0x04, {"ui_set_surround_headphone([0])", "ui_set_All_led"}},
        {0x08, {"ui_set_volume_mic_mute([1])", "ui_set_All_led"}},
        {0x02, {}},
    };
    for (const ButtonCase& c : cases) {
        SCOPED_TRACE(c.mode);
        recorder.clear();
        call(root, "onHidRead", {c.mode});
        std::vector<QString> got;
        for (const QString& s : recorder.calls)
            got.push_back(s.startsWith("ui_set_All_led") ? "ui_set_All_led" : s);
        EXPECT_EQ(got, c.calls);
    }
    EXPECT_EQ(root->property("selectColor3").value<QColor>(), QColor(255, 51, 51));
    EXPECT_EQ(root->property("selectColor2").value<QColor>(), QColor(102, 102, 102));
}

TEST_F(DevicePage, SlidersSendTheirCodes) {
    slideTo("device_speakerL", 10, true);
    EXPECT_EQ(recorder.calls, std::vector<QString>{"ui_set_volume_speaker_value([1,0,90,60])"});
    recorder.clear();
    click("device_speakerLock");
    recorder.clear();
    // Locked: the other side follows.
    slideTo("device_speakerR", 25, true);
    EXPECT_EQ(recorder.calls, std::vector<QString>{"ui_set_volume_speaker_value([0,1,75,75])"});
    recorder.clear();
    slideTo("device_micL", 20, true);
    EXPECT_EQ(recorder.calls, std::vector<QString>{"ui_set_volume_mic_value([0,0,80,80])"});
    recorder.clear();
    slideTo("device_clarityLevel", 6, false);
    EXPECT_EQ(recorder.calls, std::vector<QString>{"ui_set_clarity_level([10])"});
    EXPECT_TRUE(page->property("click_voiceClarity").toBool());
}

TEST_F(DevicePage, APresetOpensTheEqPanelWithItsSavedBands) {
    click("device_eqPreset3");
    EXPECT_TRUE(item("device_eqPanel")->isVisible());
    EXPECT_EQ(recorder.calls,
              (std::vector<QString>{"getCurrentRam(0)",
                                    "ui_set_eq_value([3,30,29,28,27,26,25,24,23,22,21])"}));
    recorder.clear();
    slideTo("device_eqBand0", 0, true);
    EXPECT_EQ(recorder.calls,
              (std::vector<QString>{"ui_set_eq_value([3,40,29,28,27,26,25,24,23,22,21])",
                                    "ui_setEqValue([3,0,11,12,13,14,15,16,17,18,19])"}));
    recorder.clear();
    click(item("device_eqReset_area"));
    EXPECT_EQ(recorder.calls.at(1), "ui_setEqValue([3,28,14,20,12,28,10,22,7,12,19])");
    // A press on an empty area closes the panel.
    QTest::mouseClick(widget.get(), Qt::LeftButton, Qt::NoModifier, QPoint(200, 60));
    EXPECT_FALSE(item("device_eqPanel")->isVisible());
}

TEST_F(DevicePage, TheWheelScrollsTheSettingsColumnWithinItsContent) {
    QQuickItem* column = item("device_settings");
    const double contentHeight = column->property("contentHeight").toDouble();
    const double bottom = contentHeight - column->height();
    const double step = std::round(contentHeight / 8);
    ASSERT_GT(bottom, step);
    struct Step {
        int flag, steps;
        double contentY;
    };
    const Step steps[] = {{-1, -1, 0}, {0, -1, step},     {0, 1, 0},
                          {0, 3, 0},   {0, -100, bottom}, {0, 1, bottom - step}};
    for (const Step& s : steps) {
        root->setProperty("scroll_flg", s.flag);
        QMetaObject::invokeMethod(root, "scroll", Q_ARG(QVariant, s.steps));
        EXPECT_DOUBLE_EQ(column->property("contentY").toDouble(), s.contentY) << s.steps;
    }
}

// What a mode or an OFF switch leaves out is inert, and looks it; it lights
// up again when it acts.
struct InertCase {
    const char* what;
    const char* switchedOff; // a switch turned off, or none
    int ledModeIndex;        // the lighting drop-down's entry, mode - 1
    std::vector<const char*> inert, acting;
};

const InertCase kInertCases[] = {
    {"equalizer off", "device_eqSwitch", 1, {"device_eqPreset0", "device_eqPreset11"}, {}},
    {"clarity off", "device_claritySwitch", 1, {"device_clarityLevel", "device_claritySupp"}, {}},
    {"magic voice off", "device_magicSwitch", 1, {"device_magicMode0", "device_magicMode3"}, {}},
    {"lighting off",
     "device_ledSwitch",
     1,
     {"device_ledMode", "device_ledBrightness", "device_ledSpeed", "device_ledPalette"},
     {}},
    {"lighting mode 1",
     nullptr,
     0,
     {"device_ledSpeed"},
     {"device_ledMode", "device_ledBrightness", "device_ledPalette"}},
    {"lighting mode 3",
     nullptr,
     2,
     {"device_ledBrightness", "device_ledPalette"},
     {"device_ledSpeed"}},
    {"lighting mode 5",
     nullptr,
     4,
     {"device_ledBrightness", "device_ledSpeed", "device_ledPalette"},
     {"device_ledMode"}},
    {"every feature on, lighting mode 2",
     nullptr,
     1,
     {},
     {"device_eqPreset0", "device_clarityLevel", "device_magicMode0", "device_ledMode",
      "device_ledBrightness", "device_ledSpeed", "device_ledPalette"}},
};

// The opacity a control is drawn with on its page.
double drawnOpacity(QQuickItem* control, QQuickItem* page) {
    double opacity = 1;
    for (QQuickItem* i = control; i && i != page; i = i->parentItem()) opacity *= i->opacity();
    return opacity;
}

TEST_F(DevicePage, ControlsAModeLeavesOutAreDrawnDimmedAndIgnoreClicks) {
    const auto expectActing = [&](const std::vector<const char*>& controls, bool acting) {
        for (const char* name : controls) {
            QQuickItem* control = item(name);
            ASSERT_NE(control, nullptr) << name;
            EXPECT_EQ(control->isEnabled(), acting) << name;
            if (acting)
                EXPECT_DOUBLE_EQ(drawnOpacity(control, page), 1.0) << name;
            else
                EXPECT_LT(drawnOpacity(control, page), 0.5) << name;
        }
    };
    for (const InertCase& c : kInertCases) {
        SCOPED_TRACE(c.what);
        // As a profile would load them: the switches further down lie
        // outside the column's view.
        for (const char* on :
             {"device_eqSwitch", "device_claritySwitch", "device_magicSwitch", "device_ledSwitch"})
            item(on)->setProperty("isSelect", true);
        call(item("device_ledMode"), "setCurIndex", {c.ledModeIndex});
        if (c.switchedOff) item(c.switchedOff)->setProperty("isSelect", false);
        settle();
        expectActing(c.inert, false);
        expectActing(c.acting, true);
        recorder.clear();
        for (const char* name : c.inert)
            if (QString(name).startsWith("device_eqPreset")) click(name);
        EXPECT_TRUE(recorder.callsTo("ui_set_eq_value").empty());
        if (!c.switchedOff) continue;
        item(c.switchedOff)->setProperty("isSelect", true);
        settle();
        expectActing(c.inert, true);
    }
}

} // namespace
