// The QML host on a recording scene root.

#include "panel/message_box.h"
#include "panel/tests/view_fixture.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QQuickItem>
#include <QTimer>
#include <QWheelEvent>

namespace {

using namespace panel_test;
using namespace panel;

struct ZoomCase {
    QSize screen;
    float zoom;
    QSize window;
};

TEST(ViewZoom, TheSmallerScreenRatioScalesTheDesign) {
    ensureApplication();
    const ZoomCase cases[] = {
        {{1920, 1080}, 0.5f, {1750, 900}},
        {{1920, 1200}, 0.5f, {1750, 900}},
        {{3840, 2160}, 1.0f, {3500, 1800}},
        {{1366, 768}, 768 / 2160.0f, {1244, 640}},
    };
    for (const ZoomCase& c : cases) {
        SCOPED_TRACE(c.screen.width());
        ViewOptions options;
        options.source = recordingRoot();
        options.screen = c.screen;
        View view(nullptr, options);
        EXPECT_FLOAT_EQ(view.zoomRate(), c.zoom);
        EXPECT_EQ(view.size(), c.window);
        EXPECT_FLOAT_EQ(view.rootObject()->property("zoomRate").toFloat(), c.zoom);
    }
}

TEST(ViewWithoutOwner, WindowSlotsDoNothingAndProfileSlotsStayEmpty) {
    ensureApplication();
    ViewOptions options;
    options.source = recordingRoot();
    View view(nullptr, options);
    view.onHide();
    view.onClose();
    view.onXChanged(10);
    view.setProfileId(2);
    view.chkProfileId();
    EXPECT_TRUE(view.getCurrentRam(0).isEmpty());
    EXPECT_EQ(view.getProfileId(), 0);
}

TEST_F(ViewOnSim, TheSceneSeesZenAndTheViewWhenItLoads) {
    EXPECT_TRUE(host->rootObject()->property("hadContextAtLoad").toBool());
    // The device check announced the headset: the scene was initialised.
    EXPECT_TRUE(rootCalls().contains("init();"));
}

TEST_F(ViewOnSim, VerticalWheelNotchesScrollTheScene) {
    struct Case {
        QPoint angle;
        const char* expected;
    };
    const Case cases[] = {
        {{0, 120}, "scroll(1);"}, {{0, -240}, "scroll(-2);"},
        {{0, 100}, "scroll(0);"}, {{0, -119}, "scroll(0);"},
        {{120, 0}, ""},           {{240, 120}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        clearRootCalls();
        QWheelEvent event(QPointF(5, 5), QPointF(5, 5), QPoint(), c.angle, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        event.ignore();
        QCoreApplication::sendEvent(host, &event);
        EXPECT_TRUE(event.isAccepted());
        EXPECT_EQ(rootCalls(), c.expected);
    }
}

TEST_F(ViewOnSim, EngineCallsReachTheRootInOrderWithTheirArguments) {
    clearRootCalls();
    host->queueCall("onHidRead", {3});
    host->queueCall("onDriverRead_SpVolValue_LR", {30.5, 40});
    host->queueCall("onDriverRead_EqValue", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    EXPECT_EQ(rootCalls(), "onHidRead(3);onDriverRead_SpVolValue_LR(30.5,40);"
                           "onDriverRead_EqValue(1,2,3,4,5,6,7,8,9,10);");
}

TEST_F(ViewOnSim, TheSlotsAreTheScenesInterfaceInTheirOrder) {
    const char* const expected[] = {
        "onHide()",
        "onClose()",
        "onXChanged(int)",
        "onYChanged(int)",
        "saveApConfig(QVariantList)",
        "loadApConfig_lang()",
        "loadApConfig()",
        "resetApconfig()",
        "loadUiStrings(int)",
        "loadUiStrings(int,QString,int,int)",
        "renameMacroIniFile(QVariant,QVariant)",
        "createMacroIni()",
        "deleteMacroIni(QVariant)",
        "getMacroIniNames()",
        "saveMacroIni(QVariant,QStringList)",
        "loadMacroIni(QVariant)",
        "loadMacroIniConfig(QVariant)",
        "setMacroIniConfig(QVariant,QVariantList)",
        "cleanUnusedMacroId()",
        "macroIncode(QStringList)",
        "getDefaultRam(uchar)",
        "getCurrentRam(uchar)",
        "getMsgAns(QString,QString)",
        "test()",
        "getFirmwareVersion()",
        "setProfileId(uchar)",
        "getProfileId()",
        "chkProfileId()",
        "ui_setMacroKey(QVariant,QVariant,uint)",
        "ui_setButtonValue(QVariantList)",
        "ui_setOption(QVariantList)",
        "ui_setEqValue(QVariantList)",
        "ui_get_volume_speaker_master()",
        "ui_get_volume_speaker_LR()",
        "ui_get_volume_mic_master()",
        "ui_set_volume_speaker_mute_p(QVariantList)",
        "ui_set_volume_mic_mute_p(QVariantList)",
        "ui_set_volume_speaker_value_p(QVariantList)",
        "ui_set_volume_mic_value_p(QVariantList)",
        "ui_set_volume_speaker_mute(QVariantList)",
        "ui_set_volume_speaker_value(QVariantList)",
        "ui_set_volume_mic_mute(QVariantList)",
        "ui_set_volume_mic_value(QVariantList)",
        "ui_set_eq_enable(QVariantList)",
        "ui_set_eq_value(QVariantList)",
        "ui_set_eq_value_p(QVariantList)",
        "ui_set_clarity_enable(QVariantList)",
        "ui_set_clarity_level(QVariantList)",
        "ui_set_clarity_supp(QVariantList)",
        "ui_set_clarity_level_p(QVariantList)",
        "ui_set_clarity_supp_p(QVariantList)",
        "ui_set_surround_headphone(QVariantList)",
        "ui_set_enc(QVariantList)",
        "ui_set_magic_voice_enable(QVariantList)",
        "ui_set_magic_voice_mode(QVariantList)",
        "ui_set_All_led(QVariantList)",
    };
    const QMetaObject* meta = host->metaObject();
    std::vector<std::string> slotList;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod m = meta->method(i);
        if (m.methodType() == QMetaMethod::Slot && m.access() == QMetaMethod::Public)
            slotList.push_back(m.methodSignature().toStdString());
    }
    EXPECT_EQ(slotList, std::vector<std::string>(std::begin(expected), std::end(expected)));
}

TEST_F(ViewOnSim, WindowSlotsMoveAndHideTheOwner) {
    zen->move(100, 200);
    host->onXChanged(40);
    host->onYChanged(-20);
    const float z = host->zoomRate();
    EXPECT_EQ(zen->pos(), QPoint(100 + int(40 * z), 200 + int(-20 * z)));
    zen->show();
    host->onHide();
    EXPECT_FALSE(zen->isVisible());
}

TEST_F(ViewOnSim, ARestoreReadsTheVolumesLeftRightThenMasterThenMicrophone) {
    driver.clear();
    host->refreshVolumes();
    EXPECT_EQ(driver.calls(), (std::vector<std::string>{"readSpeakerVolumeLR", "readSpeakerVolume",
                                                        "readMicVolume"}));
}

TEST(ViewQuestion, ClosingTheBoxAnswersCancel) {
    ensureApplication();
    QtMessageBox boxes;
    ViewOptions options;
    options.source = recordingRoot();
    options.messages = &boxes;
    View view(nullptr, options);
    QTimer::singleShot(0, [] {
        if (QWidget* box = QApplication::activeModalWidget()) box->close();
    });
    EXPECT_FALSE(view.getMsgAns("title", "text"));
    QTimer::singleShot(0, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->button(QMessageBox::Ok)->click();
    });
    EXPECT_TRUE(view.getMsgAns("title", "text"));
}

} // namespace
